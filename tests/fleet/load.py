#!/usr/bin/env python3
"""Sustained scrapes per second of each exporter, side by side, measured by
a load client of its own (Prometheus saturates first). Not part of the test
suite: it takes several minutes.

    load.py TARVIK_EXPORTER TARVIK_SIM SNMP_YML WORK_DIR
            [--simulators N] [--seconds S] [--delays MS,MS] [--only NAME]

N simulators (default 200) on loopback ports of their own stand for N
devices. Each exporter in turn, Debian's snmp_exporter then
tarvik-exporter, runs alone on CPU 0 (taskset); the simulators and this
client run on the other CPUs. For each answer delay (default 20 and 600 ms,
the simulators' `delay`): one scrape of every device first (tarvik-exporter
reads the identification then), then for S seconds (default 30; twice that
at delays of 100 ms or more) one client connection a device scrapes it
again as soon as its last scrape answered, so no device is ever scraped
twice at once. It prints, per exporter and delay, the good scrapes a second
(HTTP 200, and for tarvik-exporter tarvik_probe_success 1), the other
answers, the median and 99th percentile of the scrape time, and the share
of its CPU the exporter used. --only NAME measures one of them.
"""
import asyncio
import os
import shutil
import statistics
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet_test import Simulator, free_port, stop, wait_for  # noqa: E402


def cpu_seconds(pid):
    """User and system time of a process so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def answers(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as r:
            return r.status == 200
    except OSError:
        return False


async def read_body(reader, head):
    """The body after HEAD: Content-Length octets, or chunks (Go's server
    sends a long answer so)."""
    fields = {line.split(b":")[0].strip().lower(): line.split(b":", 1)[1].strip()
              for line in head.split(b"\r\n")[1:] if b":" in line}
    if b"content-length" in fields:
        return await reader.readexactly(int(fields[b"content-length"]))
    body = b""
    while True:
        size = int((await reader.readuntil(b"\r\n")).split(b";")[0], 16)
        body += await reader.readexactly(size + 2)
        if size == 0:
            return body


async def scrape_loop(host, port, path, target, until, times, outcomes, once):
    reader, writer = await asyncio.open_connection(host, port)
    try:
        while True:
            started = time.monotonic()
            writer.write(f"GET {path}target={target} HTTP/1.1\r\nHost: {host}\r\n"
                         "X-Prometheus-Scrape-Timeout-Seconds: 60\r\n\r\n".encode())
            head = await reader.readuntil(b"\r\n\r\n")
            body = await read_body(reader, head)
            took = time.monotonic() - started
            good = head.startswith(b"HTTP/1.1 200") and b"tarvik_probe_success 0" not in body
            if not once:
                times.append(took)
                outcomes["good" if good else "other"] += 1
            if once or time.monotonic() >= until:
                return
    finally:
        writer.close()


async def load(host, port, path, targets, seconds, once=False):
    times, outcomes = [], {"good": 0, "other": 0}
    until = time.monotonic() + seconds
    await asyncio.gather(*(scrape_loop(host, port, path, t, until, times, outcomes, once)
                           for t in targets))
    return times, outcomes


def main(argv):
    args = argv[1:]
    options = {"--simulators": "200", "--seconds": "30", "--delays": "20,600", "--only": ""}
    while len(args) > 4 and args[-2] in options:
        options[args[-2]] = args[-1]
        args = args[:-2]
    if len(args) != 4:
        sys.exit(__doc__)
    ours, sim_binary, snmp_yml, work = args
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    cpus = sorted(os.sched_getaffinity(0))
    others = set(cpus[1:]) or set(cpus)
    os.sched_setaffinity(0, others)  # this client, and the simulators it starts
    procs = []
    try:
        sims = [Simulator(sim_binary, 350 if i % 2 == 0 else 1000)
                for i in range(int(options["--simulators"]))]
        procs += [s.proc for s in sims]
        targets = [s.target for s in sims]
        print(f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}: {len(sims)} simulators, "
              f"each exporter alone on CPU {cpus[0]}, {os.cpu_count()} CPUs", flush=True)
        exporters = [
            ("snmp_exporter", "/snmp?module=tarvik&",
             lambda a: ["prometheus-snmp-exporter", "--config.file=" + snmp_yml,
                        "--web.listen-address=" + a]),
            ("tarvik-exporter", "/probe?",
             lambda a: [ours, "--web.listen-address", a, "--allow", "127.0.0.1"]),
        ]
        print("| exporter | delay | scrapes/s | other answers | median | p99 | its CPU |")
        print("|---|---|---|---|---|---|---|")
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
                    for sim in sims:
                        sim.command(f"delay {delay}")
                    seconds = int(options["--seconds"]) * (2 if delay >= 100 else 1)
                    asyncio.run(load("127.0.0.1", port, path, targets, 0, once=True))
                    cpu_before = cpu_seconds(proc.pid)
                    times, outcomes = asyncio.run(load("127.0.0.1", port, path, targets, seconds))
                    cpu = (cpu_seconds(proc.pid) - cpu_before) / seconds
                    times.sort()
                    p99 = times[min(len(times) - 1, int(len(times) * 0.99))] if times else 0
                    median = statistics.median(times) if times else 0
                    print(f"| {name} | {delay} ms | {outcomes['good'] / seconds:.0f} | "
                          f"{outcomes['other']} | {median * 1000:.0f} ms | {p99 * 1000:.0f} ms | "
                          f"{cpu * 100:.0f} % |", flush=True)
            finally:
                stop([proc])
                log.close()
        return 0
    finally:
        stop(procs)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
