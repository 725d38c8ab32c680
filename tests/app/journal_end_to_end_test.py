#!/usr/bin/env python3
"""The journal of a scripted run against tarvik-sim.

  journal_end_to_end_test.py TARVIK TARVIK_SIM WORK

The terminal console polls the simulator every 100 ms with --journal and
--format json; the script pins a rail high (a lamp latches), brings it
back, silences the device and lets it answer again, then the operator
resets, stops and switches the radio off with Set. The journal file must
hold exactly these events in order, the same as the console printed, and
the Set its switch before and after.
"""
import json
import os
import re
import subprocess
import sys
import threading

EXPECTED = ["start", "lamp_latched", "no_answer", "answered", "rail_in_range", "reset",
            "stop", "set"]
TIMEOUT = 40  # seconds for the whole run


def is_event(obj):
    """Whether an object the console printed is a journal event."""
    return "serial" in obj and "text" in obj and "time" in obj


def fail(message):
    sys.exit("journal_end_to_end_test: " + message)


def main(tarvik, sim_program, work):
    os.makedirs(work, exist_ok=True)
    journal = os.path.join(work, "journal.jsonl")
    for stale in (journal, journal + ".lock"):
        if os.path.exists(stale):
            os.remove(stale)
    sim = subprocess.Popen([sim_program, "--port", "0"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    console = None
    # A run that hangs is ended: the reads below then see the end of output.
    def end_all():
        for process in (console, sim):
            if process and process.poll() is None:
                process.kill()
    watchdog = threading.Timer(TIMEOUT, end_all)
    watchdog.start()
    printed = []
    try:
        match = re.search(r" on 127\.0\.0\.1:(\d+),", sim.stdout.readline())
        if not match:
            fail("tarvik-sim gave no port")

        def sim_says(command):
            sim.stdin.write(command + "\n")
            sim.stdin.flush()
            while True:
                line = sim.stdout.readline()
                if not line:
                    fail("tarvik-sim ended at: " + command)
                if line.strip() == "ok":
                    return

        sim_says("rail 12v 14500")
        console = subprocess.Popen(
            [tarvik, "--headless", "--address", "127.0.0.1:" + match.group(1),
             "--interval", "100", "--journal", journal, "--format", "json"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            text=True)

        def wait_for(kind):
            """Reads the console's objects until a journal event of `kind`."""
            while True:
                line = console.stdout.readline()
                if not line:
                    fail("the console ended before %s; journal so far: %r" % (kind, printed))
                obj = json.loads(line)
                if is_event(obj):
                    printed.append(obj)
                    if obj["kind"] == kind:
                        return

        def operator(commands):
            console.stdin.write(commands)
            console.stdin.flush()

        wait_for("lamp_latched")
        sim_says("rail off")
        sim_says("silent on")
        wait_for("no_answer")
        sim_says("silent off")
        wait_for("rail_in_range")
        operator("reset\n")
        wait_for("reset")
        operator("stop\nradio off\nset\n")
        wait_for("set")
        operator("quit\n")
        console.stdin.close()
        printed.extend(o for o in map(json.loads, console.stdout) if is_event(o))
        if console.wait(timeout=10) != 0:
            fail("the console ended with status %d" % console.returncode)
    finally:
        watchdog.cancel()
        end_all()
        for process in (console, sim):
            if process:
                process.wait()

    with open(journal, encoding="utf-8") as f:
        written = [json.loads(line) for line in f]
    kinds = [e["kind"] for e in written]
    if kinds != EXPECTED:
        fail("the journal holds %r, expected %r" % (kinds, EXPECTED))
    if [e["kind"] for e in printed] != kinds:
        fail("the console printed %r" % printed)
    answered = written[EXPECTED.index("answered")]
    if not 0 < answered["outage_s"] < TIMEOUT:
        fail("the outage lasted %r s" % answered["outage_s"])
    written_set = written[-1]
    if (written_set["radio_before"], written_set["radio"], written_set["outcome"]) != (1, 0, "ok"):
        fail("the Set reads %r" % written_set)
    if any(e["serial"] == "" for e in written[1:]):
        fail("an event after Start's read has no serial number: %r" % written)
    print("journal: %s" % " ".join(kinds))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
