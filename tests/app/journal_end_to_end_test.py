#!/usr/bin/env python3
"""The journal of a scripted run against tarvik-sim.

  journal_end_to_end_test.py TARVIK TARVIK_SIM WORK

The terminal console polls the simulator every 100 ms with --journal and
--format json; the script pins a rail high (a lamp latches), brings it
back, silences the device and lets it answer again, then the operator
resets, stops and switches the radio off with Set. The journal file must
hold exactly these events in order, as the console printed them.
"""
import json
import os
import re
import subprocess
import sys
import threading

EXPECTED = ["start", "lamp_latched", "no_answer", "answered", "rail_in_range", "reset",
            "stop", "set"]
TIMEOUT = 40  # seconds for the whole run; a run that hangs is ended


def fail(message):
    sys.exit("journal_end_to_end_test: " + message)


def is_event(obj):
    return "serial" in obj and "text" in obj and "time" in obj


def main(tarvik, sim_program, work):
    os.makedirs(work, exist_ok=True)
    journal = os.path.join(work, "journal.jsonl")
    if os.path.exists(journal):
        os.remove(journal)
    sim = subprocess.Popen([sim_program, "--port", "0"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    processes = [sim]
    watchdog = threading.Timer(TIMEOUT, lambda: [p.kill() for p in processes])
    watchdog.start()
    printed = []
    try:
        port = re.search(r" on 127\.0\.0\.1:(\d+),", sim.stdout.readline()).group(1)

        def sim_says(command):
            sim.stdin.write(command + "\n")
            sim.stdin.flush()
            for line in sim.stdout:
                if line.strip() == "ok":
                    return
            fail("tarvik-sim ended at " + command)

        sim_says("rail 12v 14500")
        console = subprocess.Popen(
            [tarvik, "--headless", "--address", "127.0.0.1:" + port, "--interval", "100",
             "--journal", journal, "--format", "json"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        processes.append(console)

        def then(commands, kind):
            """The operator's commands, then the console's output up to an event of `kind`."""
            console.stdin.write(commands)
            console.stdin.flush()
            for line in console.stdout:
                obj = json.loads(line)
                printed.extend([obj] if is_event(obj) else [])
                if is_event(obj) and obj["kind"] == kind:
                    return
            fail("the console ended before %s: %r" % (kind, printed))

        then("", "lamp_latched")
        sim_says("rail off")
        sim_says("silent on")
        then("", "no_answer")
        sim_says("silent off")
        then("", "rail_in_range")
        then("reset\n", "reset")
        then("stop\nradio off\nset\n", "set")
        console.stdin.write("quit\n")
        console.stdin.close()
        printed.extend(o for o in map(json.loads, console.stdout) if is_event(o))
        if console.wait(timeout=10) != 0:
            fail("the console ended with status %d" % console.returncode)
    finally:
        watchdog.cancel()
        for process in processes:
            if process.poll() is None:
                process.kill()
            process.wait()

    with open(journal, encoding="utf-8") as f:
        written = [json.loads(line) for line in f]
    kinds = [e["kind"] for e in written]
    if kinds != EXPECTED or printed != written:
        fail("the journal holds %r, expected %r; printed: %r" % (kinds, EXPECTED, printed))
    answered, last = written[EXPECTED.index("answered")], written[-1]
    if not 0 < answered["outage_s"] < TIMEOUT:
        fail("the outage lasted %r s" % answered["outage_s"])
    if (last["radio_before"], last["radio"], last["outcome"]) != (1, 0, "ok"):
        fail("the Set reads %r" % last)
    if any(e["serial"] == "" for e in written):
        fail("an event without the serial number Start read: %r" % written)
    print("journal: %s" % " ".join(kinds))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
