#!/usr/bin/env python3
"""Sustained scrapes per second of each exporter, side by side, measured by
a load side of its own (Prometheus saturates first). Not part of the test
suite: it takes several minutes.

    load.py TARVIK_EXPORTER SCRAPE_LOAD SNMP_YML WORK_DIR
            [--devices N] [--seconds S] [--delays MS,MS] [--only NAME]

SCRAPE_LOAD (tests/fleet/scrape_load.cpp) is the load side in one thread:
N simulated devices (default 200) on loopback ports of their own, answering
after each delay, and one client connection a device that scrapes it again
as soon as its last scrape answered, so no device is ever scraped twice at
once. Each exporter in turn, Debian's snmp_exporter then tarvik-exporter,
runs alone on CPU 0 (taskset); the load side runs on the other CPUs. For
each answer delay (default 20 and 600 ms): one scrape of every device first
(tarvik-exporter reads the identification then), then S seconds (default
30; twice that at delays of 100 ms or more) of load. It prints, per exporter
and delay, the good scrapes a second (HTTP 200, and for tarvik-exporter
tarvik_probe_success 1), the other answers, the median and 99th percentile
of the scrape time, and the share of its CPU the exporter used. --only NAME
measures one of them.
"""
import os
import shutil
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet_test import free_port, stop, wait_for  # noqa: E402


def answers(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as r:
            return r.status == 200
    except OSError:
        return False


def main(argv):
    args = argv[1:]
    options = {"--devices": "200", "--seconds": "30", "--delays": "20,600", "--only": ""}
    while len(args) > 4 and args[-2] in options:
        options[args[-2]] = args[-1]
        args = args[:-2]
    if len(args) != 4:
        sys.exit(__doc__)
    ours, load_binary, snmp_yml, work = args
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    cpus = sorted(os.sched_getaffinity(0))
    others = set(cpus[1:]) or set(cpus)
    devices = options["--devices"]
    print(f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}: {devices} devices, "
          f"each exporter alone on CPU {cpus[0]}, {os.cpu_count()} CPUs", flush=True)
    exporters = [
        ("snmp_exporter", "/snmp?module=tarvik&",
         lambda a: ["prometheus-snmp-exporter", "--config.file=" + snmp_yml,
                    "--web.listen-address=" + a]),
        ("tarvik-exporter", "/probe?",
         lambda a: [ours, "--web.listen-address", a, "--allow", "127.0.0.1"]),
    ]
    print("| exporter | delay | measured |")
    print("|---|---|---|")
    for name, path, command in exporters:
        if options["--only"] not in ("", name):
            continue
        port = free_port()
        log = open(os.path.join(work, name + ".log"), "w")
        proc = subprocess.Popen(["taskset", "-c", str(cpus[0])] + command(f"127.0.0.1:{port}"),
                                stdout=log, stderr=subprocess.STDOUT)
        try:
            wait_for(name, lambda: answers(f"http://127.0.0.1:{port}/"), 30, 0.2)
            for delay in (int(d) for d in options["--delays"].split(",")):
                seconds = int(options["--seconds"]) * (2 if delay >= 100 else 1)
                run = subprocess.run(
                    ["taskset", "-c", ",".join(map(str, others)), load_binary,
                     f"127.0.0.1:{port}", path, "--devices", devices, "--delay", str(delay),
                     "--seconds", str(seconds), "--pid", str(proc.pid)],
                    capture_output=True, text=True, timeout=seconds + 300, check=True)
                print(f"| {name} | {delay} ms | {run.stdout.strip()} |", flush=True)
        finally:
            stop([proc])
            log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
