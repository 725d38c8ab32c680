#!/usr/bin/env python3
"""The log of real runs against tarvik-sim, exported, and the terminal's
line and JSON forms.

  export_formats_test.py TARVIK TARVIK_SIM WORK

One log gets three header blocks: a family 350 run, a family 1000 run, and
a run against a port that never answers. `tarvik --export` of it must load
in Python's csv reader with the right type in every cell (and as JSON Lines
object by object); `--format json` must parse line by line and `--format
line` must print a heading and one line per poll.
"""
import csv
import datetime
import json
import os
import re
import socket
import subprocess
import sys

TIMEOUT = 60


def start_sim(sim, family):
    process = subprocess.Popen([sim, "--port", "0", "--family", family],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
    line = process.stdout.readline()
    match = re.search(r" on 127\.0\.0\.1:(\d+),", line)
    if not match:
        process.kill()
        sys.exit("tarvik-sim said: %r" % line)
    return process, "127.0.0.1:" + match.group(1)


def run(args, stdin=""):
    return subprocess.run(args, input=stdin, capture_output=True, text=True, timeout=TIMEOUT)


def check(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def main(tarvik, sim, work):
    os.makedirs(work, exist_ok=True)
    log = os.path.join(work, "mixed.log")
    if os.path.exists(log):
        os.remove(log)
    sims = []
    silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    silent.bind(("127.0.0.1", 0))
    try:
        outputs = {}
        for family, form in (("350", "json"), ("1000", "line")):
            process, address = start_sim(sim, family)
            sims.append(process)
            got = run([tarvik, "--headless", "--address", address, "--interval", "100",
                       "--polls", "3", "--log", log, "--format", form], "help\nset\n")
            check(got.returncode == 0, "%s run: status %d: %s" % (form, got.returncode,
                                                                   got.stderr))
            outputs[form] = got.stdout
        got = run([tarvik, "--headless", "--address",
                   "127.0.0.1:%d" % silent.getsockname()[1], "--polls", "1", "--log", log])
        check(got.returncode == 1, "unanswered run: status %d" % got.returncode)
        # A silent device: no identification, and a Set that says why it
        # was not written.
        got = run([tarvik, "--headless", "--address",
                   "127.0.0.1:%d" % silent.getsockname()[1], "--polls", "2", "--interval", "100",
                   "--format", "line"], "set\n")
        outputs["silent"] = got.stdout
    finally:
        silent.close()
        for process in sims:
            process.kill()
            process.wait()

    # --format json: every line an object; three polls, a device and the
    # answer to `help` among them.
    objects = [json.loads(line) for line in outputs["json"].splitlines()]
    kinds = [o["kind"] for o in objects]
    check(kinds.count("poll") == 3 and kinds.count("device") == 1 and
          kinds.count("command") == 2, "json kinds: %s" % kinds)
    check({"kind": "command", "command": "set", "text": "", "ok": True} in objects,
          "json set outcome: %s" % objects)
    poll = next(o for o in objects if o["kind"] == "poll")
    check(poll["answered"] is True and poll["supply_minus_12v_V"] < 0 and
          isinstance(poll["total_current_mA"], int), "json poll: %s" % poll)
    # --format line: a heading, then one line per poll, nothing trailing.
    lines = [l for l in outputs["line"].splitlines() if l and not l.startswith(" ")]
    polls = [l for l in lines if re.match(r"^\d\d:\d\d:\d\d yes ", l)]
    check(len(polls) == 3, "line form: %s" % lines)
    check(all(l == l.rstrip() for l in outputs["line"].splitlines()), "trailing blanks")
    check(sum(l.startswith("time ") for l in lines) == 1, "line form heading: %s" % lines)
    check("set: ok" in lines, "line form set outcome: %s" % lines)
    silent = outputs["silent"].splitlines()
    check(silent[:2] == ["-- Identification --", "(no answer)"] and
          "set: Set refused: this device's switches have not been read yet; Start, and Set once"
          " a poll has answered" in silent, "silent device in the line form: %s" % silent)

    # The CSV export, loaded by a CSV reader with the right types.
    csv_path = os.path.join(work, "mixed.csv")
    got = run([tarvik, "--export", log, "--out", csv_path])
    check(got.returncode == 0 and got.stderr == "", "export: %d %s" % (got.returncode,
                                                                       got.stderr))
    with open(csv_path, newline="") as f:
        rows = list(csv.DictReader(f))
    check([r["section"] for r in rows] == ["1"] * 3 + ["2"] * 3 + ["3"],
          "sections: %s" % [r["section"] for r in rows])
    check([r["family"] for r in rows] == ["350"] * 3 + ["1000"] * 3 + [""], "families")
    check(rows[-1]["answered"] == "false" and
          all(rows[-1][k] == "" for k in rows[0] if k.endswith("_V")), "unanswered row")
    whole = ("total_current_mA", "humidity", "fec_failures", "radio_switch")
    for row in rows[:-1]:
        check(row["answered"] == "true", "answered")
        datetime.datetime.fromisoformat(row["time"])
        check(re.search(r"[+-]\d\d:\d\d$", row["time"]), "offset in %s" % row["time"])
        check(float(row["supply_minus_12v_V"]) < 0, "-12 V rail signed")
        for key in whole:
            int(row[key])
        family350 = row["family"] == "350"
        check((row["mse_dB"] != "") == family350 and (row["modem_status"] != "") ==
              (not family350), "absent columns are empty: %s" % row)
        for key, value in row.items():
            if key not in ("section", "time", "answered", "family") and \
                    not key.startswith("id") and value != "":
                float(value)
    check(rows[0]["id2"].find("KTR") >= 0 and rows[3]["id2"].find("VXL") >= 0, "ids")

    # A table written over its own log is refused, the log left whole.
    size = os.path.getsize(log)
    got = run([tarvik, "--export", log, "--out", log])
    check(got.returncode == 1 and os.path.getsize(log) == size, "export over the log itself")

    # The JSON Lines export: one device object per header block.
    got = run([tarvik, "--export", log, "--json"])
    objects = [json.loads(line) for line in got.stdout.splitlines()]
    check([o["kind"] for o in objects].count("device") == 3 and
          [o["kind"] for o in objects].count("poll") == 7, "json export")
    print("export and terminal forms: %d rows, %d objects" % (len(rows), len(objects)))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
