#!/usr/bin/env python3
"""tarvik-exporter against hostile clients on the same network.

    hostile_test.py TARVIK_EXPORTER TARVIK_SIM WORK_DIR

On loopback ports of its own, one simulator and one exporter (--allow
127.0.0.0/8); then, each case bounded in time:

- backlog: 200 connects at once are all accepted in under 0.9 s (a SYN
  dropped from a full backlog is sent again after 1 s);
- header flood: 4 connections each send up to 200 MB of 8 KB header lines;
  the exporter's resident set stays under 64 MB;
- trickle: 600 connections each send a request one octet every 3 s; a scrape
  beside them answers within its scrape timeout, and so does /metrics;
- deadline from the connect: 30 scrapes of silent devices sent at once,
  each with a 1 s scrape timeout, are all answered within 1.3 s of their
  connect (time spent waiting to be accepted counts);
- idle reconnects: 600 connections that never send and connect again when
  closed cost the exporter under a tenth of a core;
- many targets: 100,000 probes of distinct addresses; the resident set
  stays under 64 MB, the records stop at --max-targets (503 beyond them).
"""
import asyncio
import os
import selectors
import socket
import subprocess
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fleet"))
from fleet_test import Failure, Simulator, free_port, stop, wait_for  # noqa: E402

MOST_RSS_KB = 64 * 1024
# A trickling client sends an octet this often.
DRIP_SECONDS = 3


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failure("no VmRSS")


def fetch(url, headers=None, timeout=30):
    request = urllib.request.Request(url, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=timeout) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()


def header_flood(host, port, pid):
    line = b"X-Flood: " + b"a" * 8000 + b"\r\n"
    sent = [0] * 4

    def flood(n):
        deadline = time.monotonic() + 20
        try:
            with socket.create_connection((host, port), timeout=5) as s:
                s.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\n")
                while sent[n] < 200 * 1024 * 1024 and time.monotonic() < deadline:
                    s.sendall(line)
                    sent[n] += len(line)
        except OSError:
            pass  # the server closed it: what it should do
    floods = [threading.Thread(target=flood, args=(n,)) for n in range(4)]
    for t in floods:
        t.start()
    for t in floods:
        t.join(30)
    rss = resident_kb(pid)
    if rss >= MOST_RSS_KB:
        raise Failure(f"header flood: resident set {rss} kB after {sum(sent)} octets sent")
    return sum(sent), rss


def connect_burst(host, port):
    """200 connects sent at once are all accepted without a SYN sent again
    (after 1 s): the listen backlog holds them."""
    started = time.monotonic()
    pending = {}
    with selectors.DefaultSelector() as waiting:
        for _ in range(200):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.setblocking(False)
            s.connect_ex((host, port))
            pending[s] = None
            waiting.register(s, selectors.EVENT_WRITE)
        slowest = 0.0
        while pending and time.monotonic() - started < 5:
            for key, _ in waiting.select(timeout=0.1):
                waiting.unregister(key.fileobj)
                pending.pop(key.fileobj)
                slowest = time.monotonic() - started
                key.fileobj.close()
    for s in pending:
        s.close()
    if pending or slowest >= 0.9:
        raise Failure(f"200 connects at once: {len(pending)} not accepted, the slowest in "
                      f"{slowest:.2f} s")
    return slowest


def trickle(address, host, port, target):
    connections = []
    done = threading.Event()

    def drip():
        while not done.wait(DRIP_SECONDS):
            for s in list(connections):
                try:
                    s.sendall(b"E")
                except OSError:
                    pass
    dripping = threading.Thread(target=drip)
    dripping.start()
    try:
        # One at a time, each given a moment to be accepted, so that every
        # one reaches the server (a burst would overflow a short backlog).
        for _ in range(600):
            s = socket.create_connection((host, port), timeout=5)
            s.sendall(b"G")
            connections.append(s)
            time.sleep(0.005)
        time.sleep(1.5)
        started = time.monotonic()
        try:
            status, body = fetch(f"http://{address}/probe?target={target}",
                                 {"X-Prometheus-Scrape-Timeout-Seconds": "3"}, timeout=10)
            took = time.monotonic() - started
            metrics, _ = fetch(f"http://{address}/metrics", timeout=10)
        except OSError as e:
            raise Failure(f"beside 600 trickling connections, no answer: {e}")
        if status != 200 or "tarvik_probe_success 1" not in body or took >= 3 or metrics != 200:
            raise Failure(f"beside 600 trickling connections: {status} after {took:.2f} s, "
                          f"/metrics {metrics}")
        return took
    finally:
        done.set()
        dripping.join(10)
        for s in connections:
            s.close()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def burst_deadlines(address, host, port):
    """Scrapes of devices that never answer, all sent at once: each answer
    comes within its scrape timeout of its connect, plus the margin the
    exporter keeps for itself."""
    holes = []
    for _ in range(30):
        hole = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        hole.bind(("127.0.0.1", 0))
        holes.append(hole)
    took = [None] * len(holes)

    def scrape(n):
        started = time.monotonic()
        try:
            with socket.create_connection((host, port), timeout=5) as s:
                s.sendall(f"GET /probe?target=127.0.0.1:{holes[n].getsockname()[1]} HTTP/1.1\r\n"
                          "Host: x\r\nX-Prometheus-Scrape-Timeout-Seconds: 1\r\n"
                          "Connection: close\r\n\r\n".encode())
                if s.recv(12).startswith(b"HTTP/1.1"):
                    took[n] = time.monotonic() - started
        except OSError:
            pass
    scrapes = [threading.Thread(target=scrape, args=(n,)) for n in range(len(holes))]
    try:
        for t in scrapes:
            t.start()
        for t in scrapes:
            t.join(10)
    finally:
        for hole in holes:
            hole.close()
    if None in took or max(took) >= 1.3:
        raise Failure(f"30 scrapes at once with 1 s each: answered after {took} s")
    return max(took)


def idle_reconnects(host, port, pid):
    """600 connections that send nothing and connect again whenever the
    exporter closes one: what the exporter's CPU spends on them in 3 s."""
    done = time.monotonic() + 3
    idle = []
    with selectors.DefaultSelector() as watching:
        def connect():
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.setblocking(False)
            s.connect_ex((host, port))
            watching.register(s, selectors.EVENT_READ)
            idle.append(s)
        for _ in range(600):
            connect()
        before = cpu_seconds(pid)
        while time.monotonic() < done:
            for key, _ in watching.select(timeout=0.1):
                # Readable: closed by the exporter (or refused); reconnect.
                watching.unregister(key.fileobj)
                key.fileobj.close()
                idle.remove(key.fileobj)
                connect()
        spent = cpu_seconds(pid) - before
    for s in idle:
        s.close()
    if spent >= 0.3:
        raise Failure(f"600 idle reconnecting connections: {spent:.2f} s of CPU in 3 s")
    return spent


async def many_targets(host, port, count, connections):
    statuses = {}
    next_target = iter(range(count))

    async def client():
        reader, writer = await asyncio.open_connection(host, port)
        try:
            for n in next_target:
                target = f"127.{1 + n // 65536}.{n // 256 % 256}.{n % 256}:161"
                writer.write(f"GET /probe?target={target} HTTP/1.1\r\nHost: x\r\n"
                             "X-Prometheus-Scrape-Timeout-Seconds: 0.1\r\n\r\n".encode())
                head = await reader.readuntil(b"\r\n\r\n")
                status = int(head.split(b" ", 2)[1])
                length = 0
                for line in head.split(b"\r\n"):
                    if line.lower().startswith(b"content-length:"):
                        length = int(line.split(b":")[1])
                await reader.readexactly(length)
                statuses[status] = statuses.get(status, 0) + 1
        finally:
            writer.close()
    await asyncio.wait_for(asyncio.gather(*(client() for _ in range(connections))), 150)
    return statuses


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    binary, sim_binary, work = argv[1:]
    os.makedirs(work, exist_ok=True)
    procs = []
    log = open(os.path.join(work, "hostile.log"), "w")
    try:
        sim = Simulator(sim_binary, 350)
        procs.append(sim.proc)
        port = free_port()
        address = f"127.0.0.1:{port}"
        exporter = subprocess.Popen([binary, "--web.listen-address", address,
                                     "--allow", "127.0.0.0/8"], stdout=log,
                                    stderr=subprocess.STDOUT)
        procs.append(exporter)

        def listening():
            try:
                return fetch(f"http://{address}/", timeout=2)[0] == 200
            except OSError:
                return False
        wait_for("the exporter to listen", listening, 10, 0.05)
        burst = connect_burst("127.0.0.1", port)
        flooded, flood_rss = header_flood("127.0.0.1", port, exporter.pid)
        took = trickle(address, "127.0.0.1", port, sim.target)
        burst_took = burst_deadlines(address, "127.0.0.1", port)
        idle_cpu = idle_reconnects("127.0.0.1", port, exporter.pid)
        started = time.monotonic()
        statuses = asyncio.run(many_targets("127.0.0.1", port, 100000, 64))
        many_took = time.monotonic() - started
        rss = resident_kb(exporter.pid)
        _, health = fetch(f"http://{address}/metrics")
        # A probe whose 0.05 s went by before it was read is refused too.
        if set(statuses) - {200, 503} or sum(statuses.values()) != 100000 or \
                rss >= MOST_RSS_KB or "tarvik_exporter_targets 10000\n" not in health:
            raise Failure(f"100,000 targets: {statuses}, resident set {rss} kB")
        print(f"200 connects at once, the slowest in {burst:.3f} s; "
              f"header flood of {flooded // 1024} kB: resident set {flood_rss} kB; a scrape "
              f"beside 600 trickling connections in {took:.2f} s; 30 silent scrapes at once "
              f"answered within {burst_took:.2f} s of their connects; 600 idle reconnecting "
              f"connections cost {idle_cpu:.2f} s of CPU in 3 s; 100,000 targets in "
              f"{many_took:.1f} s: {statuses}, resident set {rss} kB")
        return 0
    except Failure as e:
        print(f"FAIL: {e}")
        log.flush()
        with open(os.path.join(work, "hostile.log")) as f:
            print("--- the exporter's log (last lines):\n" + "".join(f.readlines()[-15:]))
        return 1
    finally:
        stop(procs)
        log.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
