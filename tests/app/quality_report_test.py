#!/usr/bin/env python3
"""The link quality report of scripted runs against tarvik-sim.

  quality_report_test.py TARVIK TARVIK_SIM WORK

Two runs at once, each a simulator and a terminal console that polls it
every 100 ms and logs: in one, a script makes errored seconds, then a
silence; in the other, a burst long enough for unavailable time. `tarvik
--report --json` of each log must count what its script made, within a
second at each edge (a command falls inside a second), and its CSV and
table forms must hold the same totals.
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import time

# Each run: its name, (seconds from the start, the simulator's command), its
# end, and the seconds it must count: errored, unavailable, unknown. The
# burst's run ends more than 10 s after the burst, so that unavailable time
# has ended (10 seconds that are not severely errored).
RUNS = [
    ("errors", [(1, "errors 3"), (6, "errors 0"), (8, "silent on"), (11, "silent off")], 14,
     {"es": 5, "uas": 0, "unknown": 3}),
    ("burst", [(1, "burst 13")], 27, {"es": 0, "uas": 13, "unknown": 0}),
]


def fail(message):
    sys.exit("quality_report_test: " + message)


def start_run(tarvik, sim_program, work, name):
    """A simulator and a console that polls and logs it; (sim, console, log)."""
    log = os.path.join(work, name + ".log")
    if os.path.exists(log):
        os.remove(log)
    sim = subprocess.Popen([sim_program, "--port", "0"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    match = re.search(r" on 127\.0\.0\.1:(\d+),", sim.stdout.readline())
    if not match:
        sim.kill()
        sim.wait()
        fail("tarvik-sim gave no port")
    console = subprocess.Popen(
        [tarvik, "--headless", "--address", "127.0.0.1:" + match.group(1),
         "--interval", "100", "--log", log, "--format", "line"],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        text=True)
    return sim, console, log


def check_report(tarvik, log, end, expected):
    def report(*form):
        run = subprocess.run([tarvik, "--report", log] + list(form), capture_output=True,
                             text=True, timeout=60)
        if run.returncode != 0:
            fail("--report %s: status %d: %s" % (form, run.returncode, run.stderr))
        return run.stdout

    objects = [json.loads(line) for line in report("--json").splitlines()]
    totals = [o for o in objects if o["kind"] == "total"]
    if len(totals) != 1:
        fail("one device, one total expected: %r" % objects)
    total = totals[0]
    # The simulator's usual 0.2 failures a second add an errored second in five.
    background = (end + 5) // 5
    checks = [
        ("uas", expected["uas"] - 1, expected["uas"] + 1),
        ("ses", 0, 1),
        ("es", expected["es"] - 1, expected["es"] + 1 + background),
        ("unknown", expected["unknown"], expected["unknown"] + 5),
    ]
    for key, low, high in checks:
        if not low <= total[key] <= high:
            fail("%s: %s is %d, expected %d..%d: %r" % (log, key, total[key], low, high, total))
    known = total["seconds"] - total["unknown"]
    if abs(total["availability"] - (known - total["uas"]) / known) > 1e-6:
        fail("availability %r does not follow from the seconds" % total)
    rows = list(csv.DictReader(io.StringIO(report("--csv"), newline="")))
    csv_total = [r for r in rows if r["kind"] == "total"][0]
    for key in ("es", "ses", "bbe", "uas", "unknown"):
        if int(csv_total[key]) != total[key]:
            fail("the CSV's %s is %s, the JSON's %d" % (key, csv_total[key], total[key]))
    table = report()
    if not re.search(r"^total\s+%d\s+%d\s+%d\s+%d\s+%d\s" % (
            total["es"], total["ses"], total["bbe"], total["uas"], total["unknown"]),
            table, re.M):
        fail("the table's totals differ:\n" + table)
    return total


def main(tarvik, sim_program, work):
    os.makedirs(work, exist_ok=True)
    started = []
    try:
        for name, _, _, _ in RUNS:
            started.append(start_run(tarvik, sim_program, work, name))
        # Every run's commands and its end, in the order of their times.
        steps = sorted((at, i, command) for i, (_, script, end, _) in enumerate(RUNS)
                       for at, command in script + [(end, None)])
        start = time.monotonic()
        for at, i, command in steps:
            time.sleep(max(0.0, start + at - time.monotonic()))
            sim, console, _ = started[i]
            stream = sim.stdin if command else console.stdin
            stream.write((command or "quit") + "\n")
            stream.flush()
            if not command:
                # Reported while the other run goes on.
                console.wait(timeout=10)
                name, _, end, expected = RUNS[i]
                print("quality report of the %s run: %r" %
                      (name, check_report(tarvik, started[i][2], end, expected)))
    finally:
        for sim, console, _ in started:
            for process in (console, sim):
                if process.poll() is None:
                    process.kill()
                    process.wait()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
