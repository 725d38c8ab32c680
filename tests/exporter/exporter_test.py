#!/usr/bin/env python3
"""tarvik-exporter as a program, beside Debian's snmp_exporter.

    exporter_test.py TARVIK_EXPORTER TARVIK_SIM SNMP_YML WORK_DIR

On loopback ports of its own: a simulator of each family, both exporters,
then checks that

- a probe of either family shows the same series, labels, types and values
  as snmp_exporter's scrape of the same device (its time held still), the
  scrape series excepted, and that promtool finds nothing in it or in
  /metrics;
- a scrape sends 6 GetRequests, then 5 (the simulator's `status`);
- a silent device answers promptly with snmp_scrape_pdus_returned 0; a 60 KB
  answer counts as an error, not a timeout, and every line the exporter
  writes names it;
- a target outside --allow is refused with 403 and nothing is sent; bad
  requests get 400;
- with --web.config.file, plain HTTP and wrong credentials are refused and
  the right ones pass over TLS;
- with a 600 ms answer delay a scrape takes under 4 s;
- with --max-targets 2, a third target gets 503 with the reason until the
  others' records are dropped after --target-idle-timeout;
- with --max-concurrent 1, a scrape that gets no turn within its scrape
  timeout gets 503 with the reason, and is counted; idle connections that
  sent half a request do not keep a scrape from answering.

Exits 77 (skipped) without Debian's snmp_exporter, promtool or openssl.
"""
import base64
import warnings
with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt  # the system's crypt(), as the exporter checks with
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fleet"))
from fleet_test import Failure, Simulator, free_port, stop, wait_for  # noqa: E402

SKIPPED = 77
SCRAPE_SERIES = re.compile(r"^(snmp_scrape_\w+|tarvik_probe_success)$")


def fetch(url, headers=None, context=None):
    """(status, body) of a GET."""
    request = urllib.request.Request(url, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=30, context=context) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()


def series(text):
    """{(name, labels): value} and {name: (type, help)} of a scrape."""
    samples, families = {}, {}
    for line in text.splitlines():
        m = re.match(r"^# (HELP|TYPE) (\S+) (.*)$", line)
        if m:
            families.setdefault(m.group(2), {})[m.group(1)] = m.group(3)
            continue
        m = re.match(r"^([a-zA-Z_:][\w:]*)(\{.*\})? (\S+)$", line)
        if not m:
            raise Failure(f"not a sample: {line!r}")
        samples[(m.group(1), m.group(2) or "")] = float(m.group(3))
    return samples, families


def device_series(text):
    samples, families = series(text)
    return ({k: v for k, v in samples.items() if not SCRAPE_SERIES.match(k[0])},
            {k: v for k, v in families.items() if not SCRAPE_SERIES.match(k)})


def promtool_clean(what, text):
    result = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True,
                            text=True, timeout=60)
    if result.returncode != 0 or result.stdout or result.stderr:
        raise Failure(f"promtool check metrics on {what}:\n{result.stdout}{result.stderr}")


def requests_received(sim):
    with sim.lock:
        sim.lines.clear()
    sim.proc.stdin.write("status\n")
    sim.proc.stdin.flush()
    match = wait_for("tarvik-sim's status", lambda: sim._find(r"requests received (\d+)"), 10,
                     0.02)
    return int(match.group(1))


class Exporter:
    def __init__(self, binary, work, name, *args):
        self.address = f"127.0.0.1:{free_port()}"
        self.log = open(os.path.join(work, name + ".log"), "w")
        self.proc = subprocess.Popen([binary, "--web.listen-address", self.address, *args],
                                     stdout=self.log, stderr=subprocess.STDOUT)

    def wait(self, scheme="http", context=None):
        def listening():
            try:
                fetch(f"{scheme}://{self.address}/", context=context)
                return True
            except (OSError, urllib.error.URLError):
                if self.proc.poll() is not None:
                    raise Failure(f"the exporter ended with status {self.proc.returncode}")
                return False
        wait_for("the exporter to listen", listening, 10, 0.05)


def compare(ours, theirs, sims):
    compared = 0
    for sim in sims:
        sim.command("freeze now")
        status, mine = fetch(f"http://{ours.address}/probe?target={sim.target}")
        if status != 200:
            raise Failure(f"probe of {sim.target}: {status} {mine}")
        _, reference = fetch(f"http://{theirs}/snmp?module=tarvik&target={sim.target}")
        (mine_samples, mine_families) = device_series(mine)
        (ref_samples, ref_families) = device_series(reference)
        if mine_samples != ref_samples or mine_families != ref_families:
            diff = sorted(set(mine_samples.items()) ^ set(ref_samples.items()))
            raise Failure(f"family {sim.family}: the series differ from snmp_exporter's: {diff} "
                          f"{set(mine_families.items()) ^ set(ref_families.items())}")
        promtool_clean(f"a probe of family {sim.family}", mine)
        compared += len(mine_samples)
        sim.command("freeze off")
    return compared


def check_requests(ours, sim):
    counts = []
    for _ in range(2):
        before = requests_received(sim)
        fetch(f"http://{ours.address}/probe?target={sim.target}")
        counts.append(requests_received(sim) - before)
    return counts


def check_refusals(ours, sim):
    before = requests_received(sim)
    cases = [
        ("target=192.0.2.1", 403),
        (f"target={sim.target.replace('127.0.0.1', '127.0.0.2')}", 403),
        ("", 400),
        (f"target={sim.target}&target=127.0.0.1", 400),
        (f"target={sim.target}&community=public", 400),
        (f"target={sim.target}&module=if_mib", 400),
        ("target=a%2Fb", 400),
        # The text before the NUL is the allowed target; port 161 would get
        # the fallback community.
        (f"target={sim.target.replace(':', '%00x:')}", 400),
        (f"target={sim.target.replace(':', '%0A:')}", 400),
    ]
    for query, want in cases:
        status, body = fetch(f"http://{ours.address}/probe?{query}")
        if status != want or not body.strip():
            raise Failure(f"/probe?{query}: {status} {body!r}, expected {want} with a reason")
    for timeout in ("soon", "1e308", "1e10", "-1", "nan"):
        status, body = fetch(f"http://{ours.address}/probe?target={sim.target}",
                             {"X-Prometheus-Scrape-Timeout-Seconds": timeout})
        if status != 400:
            raise Failure(f"a scrape timeout header of {timeout}: {status}")
    if requests_received(sim) != before:
        raise Failure("a refused probe sent requests")
    return len(cases) + 1


def check_silent(ours, sim):
    sim.command("silent on")
    started = time.monotonic()
    status, body = fetch(f"http://{ours.address}/probe?target={sim.target}",
                         {"X-Prometheus-Scrape-Timeout-Seconds": "10"})
    took = time.monotonic() - started
    sim.command("silent off")
    samples, _ = series(body)
    if status != 200 or samples.get(("snmp_scrape_pdus_returned", "")) != 0 or \
            samples.get(("tarvik_probe_success", "")) != 0 or took > 3:
        raise Failure(f"a silent device: {status} after {took:.1f} s:\n{body}")
    return took


def check_too_long(ours):
    """A 60 KB answer is an error named so, not silence; its diagnostic line
    names the program like every other line."""
    agent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    agent.bind(("127.0.0.1", 0))
    agent.settimeout(5)
    target = f"127.0.0.1:{agent.getsockname()[1]}"

    def answer():
        try:
            _, source = agent.recvfrom(65536)
            agent.sendto(b"\x30" * 60000, source)
        except OSError:
            pass
    answering = threading.Thread(target=answer)
    answering.start()
    status, body = fetch(f"http://{ours.address}/probe?target={target}")
    answering.join(10)
    agent.close()
    _, health = fetch(f"http://{ours.address}/metrics")
    if status != 200 or "tarvik_probe_success 0" not in body or \
            f'tarvik_exporter_snmp_errors_total{{target="{target}"}} 1' not in health or \
            f'tarvik_exporter_snmp_timeouts_total{{target="{target}"}} 0' not in health:
        raise Failure(f"a 60 KB answer: {status} {body!r}")


def check_delay(ours, sim):
    sim.command("delay 600")
    started = time.monotonic()
    status, body = fetch(f"http://{ours.address}/probe?target={sim.target}",
                         {"X-Prometheus-Scrape-Timeout-Seconds": "10"})
    took = time.monotonic() - started
    samples, _ = series(body)
    if status != 200 or samples.get(("tarvik_probe_success", "")) != 1 or took >= 4:
        raise Failure(f"600 ms answers: {status} after {took:.1f} s")
    # Two Prometheus servers scrape it at once: the second's turn comes with
    # too little of its 4 s left for five such answers. Busy, not down.
    got = []
    pair = [threading.Thread(target=lambda: got.append(fetch(
        f"http://{ours.address}/probe?target={sim.target}",
        {"X-Prometheus-Scrape-Timeout-Seconds": "4"}))) for _ in range(2)]
    for t in pair:
        t.start()
    for t in pair:
        t.join(30)
    sim.command("delay 0")
    if sorted(g[0] for g in got) != [200, 503] or \
            "target busy" not in next(g[1] for g in got if g[0] == 503) or \
            "tarvik_probe_success 1" not in next(g[1] for g in got if g[0] == 200):
        raise Failure(f"two scrapes at once of a device answering in 600 ms: {got}")
    return took


def check_busy(binary, work, sims):
    """One slot: a slow scrape holds it, the next waits out its timeout."""
    bounded = Exporter(binary, work, "bounded", "--allow", "127.0.0.1", "--max-concurrent", "1")
    try:
        bounded.wait()
        sims[0].command("delay 800")
        first = {}

        def slow():
            first["status"] = fetch(f"http://{bounded.address}/probe?target={sims[0].target}",
                                    {"X-Prometheus-Scrape-Timeout-Seconds": "5"})[0]
        holder = threading.Thread(target=slow)
        holder.start()
        time.sleep(0.2)
        status, body = fetch(f"http://{bounded.address}/probe?target={sims[1].target}",
                             {"X-Prometheus-Scrape-Timeout-Seconds": "1"})
        holder.join(30)
        sims[0].command("delay 0")
        _, health = fetch(f"http://{bounded.address}/metrics")
        if status != 503 or "--max-concurrent" not in body or first.get("status") != 200 or \
                'tarvik_exporter_refused_requests_total{reason="busy"} 1' not in health:
            raise Failure(f"past the bound: {status} {body!r}, the slow scrape {first}")
        # Connections that send the start of a request and no more hold
        # nothing: no thread waits on them, and the scrape answers in time.
        idle = []
        for _ in range(2 * 1 + 16):
            s = socket.create_connection(tuple(bounded.address.rsplit(":", 1)), timeout=10)
            s.sendall(b"GET /metrics HTTP/1.1\r\n")
            idle.append(s)
        time.sleep(0.2)
        started = time.monotonic()
        status, body = fetch(f"http://{bounded.address}/probe?target={sims[1].target}",
                             {"X-Prometheus-Scrape-Timeout-Seconds": "1"})
        waited = time.monotonic() - started
        for s in idle:
            s.close()
        if status != 200 or waited >= 1:
            raise Failure(f"a scrape beside 18 idle connections: {status} after {waited:.1f} s")
    finally:
        stop([bounded.proc])
        bounded.log.close()


def check_records(binary, work, sim):
    """Two records at most, dropped after 2 s without a scrape."""
    bounded = Exporter(binary, work, "records", "--allow", "127.0.0.0/8", "--max-targets", "2",
                       "--target-idle-timeout", "2")
    try:
        bounded.wait()
        port = sim.target.rsplit(":", 1)[1]
        got = [fetch(f"http://{bounded.address}/probe?target=127.0.0.{n}:{port}",
                     {"X-Prometheus-Scrape-Timeout-Seconds": "0.4"}) for n in (1, 1, 2, 3)]
        _, health = fetch(f"http://{bounded.address}/metrics")
        time.sleep(2.1)
        later = fetch(f"http://{bounded.address}/probe?target=127.0.0.3:{port}")[0]
        if [g[0] for g in got] != [200, 200, 200, 503] or "--max-targets" not in got[3][1] or \
                "tarvik_exporter_targets 2\n" not in health or \
                'reason="too_many_targets"} 1' not in health or later != 200:
            raise Failure(f"records: {got}, after the idle timeout {later}:\n{health}")
    finally:
        stop([bounded.proc])
        bounded.log.close()


def check_web_config(binary, work, sim):
    key, cert = os.path.join(work, "tls.key"), os.path.join(work, "tls.crt")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1"],
                   check=True, capture_output=True, timeout=60)
    hashed = crypt.crypt("s3cret", crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=16))
    config = os.path.join(work, "web.yml")
    with open(config, "w") as f:
        f.write(f"tls_server_config:\n  cert_file: tls.crt\n  key_file: tls.key\n"
                f"basic_auth_users:\n  prometheus: '{hashed}'\n")
    secured = Exporter(binary, work, "secured", "--allow", "127.0.0.1",
                       "--web.config.file", config)
    try:
        context = ssl.create_default_context(cafile=cert)
        context.check_hostname = False
        secured.wait("https", context)
        url = f"https://{secured.address}/probe?target={sim.target}"
        good = "Basic " + base64.b64encode(b"prometheus:s3cret").decode()
        bad = "Basic " + base64.b64encode(b"prometheus:guess").decode()
        for headers, want in (({}, 401), ({"Authorization": bad}, 401),
                              ({"Authorization": good}, 200)):
            status, body = fetch(url, headers, context)
            if status != want:
                raise Failure(f"TLS with {headers}: {status}, expected {want}")
        try:
            fetch(f"http://{secured.address}/metrics")
            raise Failure("plain HTTP was answered with TLS configured")
        except (OSError, urllib.error.URLError):
            pass
    finally:
        stop([secured.proc])
        secured.log.close()


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    binary, sim_binary, snmp_yml, work = argv[1:]
    missing = [t for t in ("prometheus-snmp-exporter", "promtool", "openssl")
               if shutil.which(t) is None]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (scripts/test installs them)")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    procs, logs = [], []
    try:
        sims = [Simulator(sim_binary, 350), Simulator(sim_binary, 1000)]
        procs += [s.proc for s in sims]
        ours = Exporter(binary, work, "tarvik-exporter", "--allow", "127.0.0.1/32")
        procs.append(ours.proc)
        logs.append(ours.log)
        theirs = f"127.0.0.1:{free_port()}"
        log = open(os.path.join(work, "snmp_exporter.log"), "w")
        logs.append(log)
        procs.append(subprocess.Popen(["prometheus-snmp-exporter", "--config.file=" + snmp_yml,
                                       "--web.listen-address=" + theirs],
                                      stdout=log, stderr=subprocess.STDOUT))
        ours.wait()
        def listening():
            try:
                return fetch(f"http://{theirs}/")[0] == 200
            except OSError:
                return False
        wait_for("snmp_exporter to listen", listening, 10, 0.05)
        counts = check_requests(ours, sims[0])
        compared = compare(ours, theirs, sims)
        if counts != [6, 5]:
            raise Failure(f"requests per scrape {counts}, expected 5 (6 with the identification)")
        refusals = check_refusals(ours, sims[0])
        silent = check_silent(ours, sims[1])
        check_too_long(ours)
        delayed = check_delay(ours, sims[1])
        _, health = fetch(f"http://{ours.address}/metrics")
        promtool_clean("/metrics", health)
        if 'tarvik_exporter_refused_requests_total{reason="forbidden"} 2' not in health:
            raise Failure(f"the refusals are not counted:\n{health}")
        check_busy(binary, work, sims)
        check_records(binary, work, sims[0])
        ours.log.flush()
        with open(os.path.join(work, "tarvik-exporter.log")) as f:
            unnamed = [line for line in f if not line.startswith("tarvik-exporter: ")]
        if unnamed:
            raise Failure(f"lines without the program's name: {unnamed}")
        check_web_config(binary, work, sims[0])
        print(f"{compared} series equal to snmp_exporter's for both families, promtool clean; "
              f"requests per scrape {counts}; {refusals} bad or forbidden probes refused with "
              f"nothing sent; a silent device answered in {silent:.2f} s; 600 ms answers: a "
              f"scrape in {delayed:.2f} s; a scrape past --max-concurrent refused with 503; TLS and "
              f"basic auth enforced")
        return 0
    except Failure as e:
        print(f"FAIL: {e}")
        for name in ("tarvik-exporter.log", "snmp_exporter.log", "bounded.log", "secured.log",
                     "records.log"):
            path = os.path.join(work, name)
            if os.path.exists(path):
                with open(path) as f:
                    print(f"--- {name} (last lines):\n" + "".join(f.readlines()[-15:]))
        return 1
    finally:
        stop(procs)
        for log in logs:
            log.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
