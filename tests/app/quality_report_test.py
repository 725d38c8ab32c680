#!/usr/bin/env python3
"""The link quality report of a scripted run against tarvik-sim.

  quality_report_test.py TARVIK TARVIK_SIM WORK

The terminal console polls the simulator every 100 ms and logs; a script
makes errored seconds, a burst long enough for unavailable time, and a
silence. `tarvik --report --json` of the log must count what the script
made, within a second at each edge (a command falls inside a second), and
its CSV and table forms must hold the same totals.
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import time

# (seconds from the start, the simulator's command)
SCRIPT = [
    (3, "errors 3"),
    (8, "errors 0"),
    (10, "burst 14"),
    (36, "silent on"),
    (39, "silent off"),
]
END = 44
ERRORED = 5        # 8 - 3 seconds of three FEC failures each
UNAVAILABLE = 14   # the burst
SILENT = 3


def fail(message):
    sys.exit("quality_report_test: " + message)


def main(tarvik, sim_program, work):
    os.makedirs(work, exist_ok=True)
    log = os.path.join(work, "run.log")
    if os.path.exists(log):
        os.remove(log)
    sim = subprocess.Popen([sim_program, "--port", "0"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    console = None
    try:
        match = re.search(r" on 127\.0\.0\.1:(\d+),", sim.stdout.readline())
        if not match:
            fail("tarvik-sim gave no port")
        console = subprocess.Popen(
            [tarvik, "--headless", "--address", "127.0.0.1:" + match.group(1),
             "--interval", "100", "--log", log, "--format", "line"],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            text=True)
        start = time.monotonic()
        for at, command in SCRIPT + [(END, None)]:
            time.sleep(max(0.0, start + at - time.monotonic()))
            if command:
                sim.stdin.write(command + "\n")
                sim.stdin.flush()
        console.stdin.write("quit\n")
        console.stdin.flush()
        console.wait(timeout=10)
    finally:
        for process in (console, sim):
            if process and process.poll() is None:
                process.kill()
                process.wait()

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
    background = (END + 5) // 5
    checks = [
        ("uas", UNAVAILABLE - 1, UNAVAILABLE + 1),
        ("ses", 0, 1),
        ("es", ERRORED - 1, ERRORED + 1 + background),
        ("unknown", SILENT, SILENT + 5),
    ]
    for key, low, high in checks:
        if not low <= total[key] <= high:
            fail("%s is %d, expected %d..%d: %r" % (key, total[key], low, high, total))
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
    print("quality report: %r" % total)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
