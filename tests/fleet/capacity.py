#!/usr/bin/env python3
"""How much one exporter scrapes, measured in one run on this machine
(not part of the test suite; it takes several minutes).

    capacity.py TARVIK TARVIK_SIM EXPORT_DIR WORK_DIR [--tarvik-exporter BIN] [COUNT...]

Debian's snmp_exporter, and with --tarvik-exporter that one too, each
measured the same way against the same simulators, one after the other.

1. Cost of one target: datagrams the simulator receives per exporter scrape
   and per console poll, and the time of each against the same simulator,
   with answers delayed 0, 5, 20 and 600 ms (the simulator's `delay`, standing
   in for a link's round trip; no console figure at 600 ms). The console's poll time is the difference
   between headless runs of 41 and 1 polls at its shortest period (10 ms)
   divided by 40, so it is measured only where a poll outlasts the period.
2. Capacity: Prometheus scrapes COUNT targets (default 500 1000 2000 4000 8000)
   through the exporter every 15 s (timeout 15 s), spread over 20
   simulators; after four intervals it reports the targets up, the scrape
   durations of the last three intervals and the 99th percentile of the
   time between two scrapes of a target.
   Stops at the first count where scrapes miss the interval.

Everything runs on loopback ports of its own and is stopped at the end.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet_test import Prometheus, Simulator, free_port, stop, wait_for  # noqa: E402

INTERVAL_SECONDS = 15
SIMULATORS = 20


def requests_received(sim):
    with sim.lock:
        sim.lines.clear()
    sim.proc.stdin.write("status\n")
    sim.proc.stdin.flush()

    match = wait_for("tarvik-sim's status", lambda: sim._find(r"requests received (\d+)"), 10,
                     0.02)
    return int(match.group(1))


# The path of a probe, by exporter.
SNMP_EXPORTER_PATH = "/snmp?module=tarvik&"
TARVIK_EXPORTER_PATH = "/probe?"


def scrape(exporter, target, path=SNMP_EXPORTER_PATH):
    url = f"http://{exporter}{path}target={target}"
    started = time.monotonic()
    with urllib.request.urlopen(url, timeout=30) as answer:
        body = answer.read().decode()
    wall = time.monotonic() - started
    reported = next(float(line.split()[1]) for line in body.splitlines()
                    if line.startswith("snmp_scrape_duration_seconds "))
    return wall, reported


def console_seconds(tarvik, target, polls):
    started = time.monotonic()
    subprocess.run([tarvik, "--headless", "--address", target, "--interval", "10", "--polls",
                    str(polls)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=120, check=True)
    return time.monotonic() - started


def one_target(tarvik, sim, exporter, path):
    print("== one target: exporter scrape against console poll, same simulator")
    per_scrape = []
    for _ in range(2):
        before = requests_received(sim)
        scrape(exporter, sim.target, path)
        per_scrape.append(requests_received(sim) - before)
    before = requests_received(sim)
    console_seconds(tarvik, sim.target, 1)
    start_and_one = requests_received(sim) - before
    before = requests_received(sim)
    console_seconds(tarvik, sim.target, 2)
    per_poll = requests_received(sim) - before - start_and_one
    print(f"datagrams per exporter scrape: {' then '.join(map(str, per_scrape))}; "
          f"per console poll: {per_poll} "
          f"(Start adds {start_and_one - per_poll} for the identification)")
    for delay in (0, 5, 20, 600):
        sim.command(f"delay {delay}")
        walls, reported = zip(*(scrape(exporter, sim.target, path)
                                for _ in range(10 if delay < 600 else 2)))
        line = (f"delay {delay:2d} ms: scrape {statistics.median(reported) * 1000:7.1f} ms "
                f"(exporter's own figure; {statistics.median(walls) * 1000:.1f} ms over HTTP)")
        if 0 < delay < 600:
            polls = 40
            poll = (min(console_seconds(tarvik, sim.target, polls + 1) for _ in range(2)) -
                    min(console_seconds(tarvik, sim.target, 1) for _ in range(2))) / polls
            line += (f", console poll {poll * 1000:6.1f} ms, scrape/poll "
                     f"{statistics.median(reported) / poll:.1f}")
        print(line, flush=True)
    sim.command("delay 0")


def capacity(export_dir, work, sims, exporter, count, path):
    config = os.path.join(work, f"prometheus-{count}.yml")
    lines = [
        "global:",
        f"  scrape_interval: {INTERVAL_SECONDS}s",
        "scrape_configs:",
        "- job_name: tarvik",
        f"  scrape_timeout: {INTERVAL_SECONDS}s",
        "  metrics_path: " + path.split("?")[0],
    ]
    if path == SNMP_EXPORTER_PATH:
        lines += ["  params:", "    module: [tarvik]"]
    lines += ["  static_configs:"]
    # The same simulator many times over, told apart by a label of its own.
    for i in range(count):
        lines += [f"  - targets: ['{sims[i % len(sims)].target}']",
                  f"    labels: {{copy: '{i}'}}"]
    lines += [
        "  relabel_configs:",
        "  - source_labels: [__address__]",
        "    target_label: __param_target",
        "  - source_labels: [__param_target]",
        "    target_label: instance",
        "  - target_label: __address__",
        f"    replacement: {exporter}",
    ]
    with open(config, "w") as f:
        f.write("\n".join(lines) + "\n")
    address = f"127.0.0.1:{free_port()}"
    tsdb = os.path.join(work, f"tsdb-{count}")
    log = open(os.path.join(work, f"prometheus-{count}.log"), "w")
    proc = subprocess.Popen(["prometheus", "--config.file=" + config,
                             "--web.listen-address=" + address, "--storage.tsdb.path=" + tsdb],
                            stdout=log, stderr=subprocess.STDOUT)
    try:
        prom = Prometheus(address)
        wait_for("Prometheus", lambda: _answers(f"http://{address}/-/ready"), 30, 0.5)
        time.sleep(4 * INTERVAL_SECONDS + 5)

        def value(expr):
            result = prom.query(expr)
            return float(result[0]["value"][1]) if result else float("nan")
        window = f"{3 * INTERVAL_SECONDS}s"
        up = value('count(up{job="tarvik"} == 1)')
        down = value('count(up{job="tarvik"} == 0)')
        p50 = value('quantile(0.5, scrape_duration_seconds{job="tarvik"})')
        worst = value(f'max(max_over_time(scrape_duration_seconds{{job="tarvik"}}[{window}]))')
        # The time between two scrapes of a target, as Prometheus's scrape
        # loops observed it: above the interval, scrapes came late.
        with urllib.request.urlopen(f"http://{address}/metrics", timeout=10) as answer:
            own = answer.read().decode()
        gap = max((float(line.split()[-1]) for line in own.splitlines()
                   if line.startswith("prometheus_target_interval_length_seconds{") and
                   'quantile="0.99"' in line), default=float("nan"))
        down = 0 if down != down else down
        misses = down > 0 or worst >= INTERVAL_SECONDS or gap > INTERVAL_SECONDS + 0.5
        print(f"{count:5d} targets: up {up:.0f}, down {down:.0f}, scrape median "
              f"{p50 * 1000:.0f} ms, longest {worst:.2f} s, 99th percentile of the time "
              f"between two scrapes {gap:.2f} s{'  <- misses the interval' if misses else ''}",
              flush=True)
        return misses
    finally:
        stop([proc])
        log.close()
        shutil.rmtree(tsdb, ignore_errors=True)


def _answers(url):
    """Whether URL answers 200 (a server up and ready)."""
    try:
        with urllib.request.urlopen(url, timeout=2) as r:
            return r.status == 200
    except OSError:
        return False


def measure(name, command, exporter, path, tarvik, sims, export_dir, work, counts):
    log = open(os.path.join(work, name + ".log"), "w")
    proc = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT)
    try:
        wait_for(name, lambda: _answers(f"http://{exporter}/"), 30, 0.2)
        print(f"======== {name}", flush=True)
        one_target(tarvik, sims[1], exporter, path)
        print(f"== capacity: one exporter, {SIMULATORS} simulators, every "
              f"{INTERVAL_SECONDS} s", flush=True)
        for count in counts:
            if capacity(export_dir, work, sims, exporter, count, path):
                break
    finally:
        stop([proc])
        log.close()


def main(argv):
    if len(argv) < 5:
        sys.exit(__doc__)
    tarvik, sim_binary, export_dir, work = argv[1:5]
    rest = argv[5:]
    ours = None
    if rest[:1] == ["--tarvik-exporter"] and len(rest) >= 2:
        ours, rest = rest[1], rest[2:]
    counts = [int(c) for c in rest] or [500, 1000, 2000, 4000, 8000]
    export_dir = os.path.abspath(export_dir)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    procs = []
    try:
        sims = [Simulator(sim_binary, 350 if i % 2 == 0 else 1000) for i in range(SIMULATORS)]
        procs += [s.proc for s in sims]
        exporter = f"127.0.0.1:{free_port()}"
        measure("snmp_exporter",
                ["prometheus-snmp-exporter",
                 "--config.file=" + os.path.join(export_dir, "snmp.yml"),
                 "--web.listen-address=" + exporter],
                exporter, SNMP_EXPORTER_PATH, tarvik, sims, export_dir, work, counts)
        if ours:
            exporter = f"127.0.0.1:{free_port()}"
            measure("tarvik-exporter",
                    [ours, "--web.listen-address", exporter, "--allow", "127.0.0.1"],
                    exporter, TARVIK_EXPORTER_PATH, tarvik, sims, export_dir, work, counts)
        return 0
    finally:
        stop(procs)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
