#!/usr/bin/env python3
"""tarvik --journal-export on a journal of its own, and its rotated files.

  journal_export_test.py TARVIK WORK

The journal is found where XDG_DATA_HOME says, read oldest file first; a
torn last line is told on standard error with its file and line, and the
rest exported (status 0); a journal that is not there gives status 1.
"""
import json
import os
import shutil
import subprocess
import sys


def fail(message):
    sys.exit("journal_export_test: " + message)


def line(minute, kind):
    return json.dumps({"time": "2026-12-10T03:%02d:00.000+01:00" % minute,
                       "address": "10.0.0.5", "serial": "A1", "kind": kind,
                       "text": "event %d" % minute}) + "\n"


def main(tarvik, work):
    shutil.rmtree(work, ignore_errors=True)
    folder = os.path.join(work, "Tarvik")
    os.makedirs(folder)
    files = {"journal.2.jsonl": [0, 1], "journal.1.jsonl": [2], "journal.jsonl": [3, 4]}
    for name, minutes in files.items():
        with open(os.path.join(folder, name), "w") as f:
            f.writelines(line(m, "stop") for m in minutes)
    with open(os.path.join(folder, "journal.jsonl"), "a") as f:
        f.write('{"time":"2026-12-10T03:05')
    env = dict(os.environ, XDG_DATA_HOME=work, TZ="UTC")
    run = subprocess.run([tarvik, "--journal-export", "--json", "--from", "2026-12-10 02:01"],
                         capture_output=True, text=True, env=env, timeout=30)
    if run.returncode != 0:
        fail("status %d: %s" % (run.returncode, run.stderr))
    got = [json.loads(l)["text"] for l in run.stdout.splitlines()]
    if got != ["event 1", "event 2", "event 3", "event 4"]:
        fail("events %s" % got)
    torn = os.path.join(folder, "journal.jsonl") + " line 3: torn"
    if torn not in run.stderr:
        fail("the torn line is not told: %r" % run.stderr)
    env["XDG_DATA_HOME"] = os.path.join(work, "none")
    run = subprocess.run([tarvik, "--journal-export"], capture_output=True, text=True, env=env,
                         timeout=30)
    if run.returncode != 1 or "no journal" not in run.stderr:
        fail("without a journal: status %d: %r" % (run.returncode, run.stderr))


if __name__ == "__main__":
    main(*sys.argv[1:])
