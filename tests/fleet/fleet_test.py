#!/usr/bin/env python3
"""Many links, end to end: Debian's snmp_exporter and Prometheus with the
generated files, against simulated transceivers of both families, one of them on IPv6
loopback where the machine has it.

    fleet_test.py TARVIK TARVIK_SIM EXPORT_DIR WORK_DIR [TARVIK_EXPORTER]

With TARVIK_EXPORTER, the same through tarvik-exporter in place of
snmp_exporter, with its example job (prometheus-tarvik-exporter.yml).

Validates the files with promtool and the exporter's --dry-run, then starts
on loopback ports of its own: the simulators, the exporter, Prometheus
(scrape and evaluation every 2 s, with its own copy of the alerts whose
`for:` is one interval), Alertmanager and a webhook receiver. It checks that

- promtool check metrics finds no problem in a scrape of either family;

- every recorded series exists for every target of its family and equals
  what the console (tarvik --headless) shows for the same simulator, the
  simulators' time held still ("freeze now") so both read the same values;
- every PromQL expression of the dashboard is accepted and returns data,
  and each graph shows one quantity, in the unit of its axis;
- a rail pinned above its limit fires the rail alert for that instance and
  rail only, a silent simulator fires the link alert for its instance only,
  each with its severity, and both resolve once the faults are gone;
- the rail alert reaches the webhook as one notification that carries the
  device and the rail;
- every alert's runbook_url names a section of the README.

Every wait is bounded; everything started is stopped at the end. Exits 77
(skipped) when the Debian packages are not installed (scripts/test
installs them).
"""
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

SIMULATORS = 20  # half of each family
INTERVAL = "2s"
JOB = "tarvik"
INSTALLED_FOLDER = "/usr/share/tarvik/prometheus/"
EXAMPLE_TARGETS = "    - 192.0.2.10\n    - 192.0.2.11:1161\n"
EXAMPLE_EXPORTER = "127.0.0.1:9116"
TARVIK_EXAMPLE = "prometheus-tarvik-exporter.yml"
TARVIK_EXAMPLE_EXPORTER = "127.0.0.1:9195"
EXAMPLE_ALERTMANAGER = "127.0.0.1:9093"
SHIPPED_HOLD = "for: 30s"
RAIL_ALERT = "TarvikSupplyOutOfRange"
SKIPPED = 77


class Failure(Exception):
    pass


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_DGRAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def wait_for(what, check, timeout, step=0.25):
    """Calls check() until it returns a true value, at most `timeout` s."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = check()
        if last:
            return last
        time.sleep(step)
    raise Failure(f"timed out after {timeout} s waiting for {what}")


class Simulator:
    """One tarvik-sim, its control commands on stdin, its replies read."""

    def __init__(self, binary, family, bind="127.0.0.1"):
        self.family = family
        self.proc = subprocess.Popen([binary, "--bind", bind, "--port", "0",
                                      "--family", str(family)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, bufsize=1)
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()
        # An IPv6 target in the one form snmp_exporter 0.21 takes: [ADDRESS]:PORT.
        host = f"[{bind}]" if ":" in bind else bind
        match = wait_for("tarvik-sim's port",
                         lambda: self._find(" on " + re.escape(host) + r":(\d+),"), 10, 0.02)
        self.port = int(match.group(1))
        self.target = f"{host}:{self.port}"

    def _read(self):
        for line in self.proc.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def _find(self, pattern):
        with self.lock:
            for line in self.lines:
                m = re.search(pattern, line)
                if m:
                    return m
        return None

    def command(self, line):
        """Sends a control command and waits for its "ok"."""
        with self.lock:
            before = self.lines.count("ok")
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

        def taken():
            with self.lock:
                return self.lines.count("ok") > before
        wait_for(f"tarvik-sim to take '{line}'", taken, 10, 0.02)


class Prometheus:
    def __init__(self, address):
        self.base = f"http://{address}"

    def get(self, path, **params):
        url = self.base + path + ("?" + urllib.parse.urlencode(params) if params else "")
        try:
            with urllib.request.urlopen(url, timeout=10) as answer:
                return json.load(answer)
        except urllib.error.HTTPError as e:
            body = e.read().decode(errors="replace")
            raise Failure(f"{path} {params}: HTTP {e.code}: {body}") from None

    def query(self, expr):
        answer = self.get("/api/v1/query", query=expr)
        if answer.get("status") != "success":
            raise Failure(f"query {expr!r}: {answer}")
        return answer["data"]["result"]

    def by_instance(self, expr):
        return {r["metric"]["instance"]: r for r in self.query(expr)}


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, timeout=60, **kw)


def validate(export_dir, work, example_name="prometheus.yml"):
    """promtool and the exporter's own check of the generated files, and
    the README sections their runbook links name."""
    rules = [os.path.join(export_dir, f) for f in ("tarvik-rules.yml", "tarvik-alerts.yml")]
    checks = [["promtool", "check", "rules", *rules],
              ["prometheus-snmp-exporter", "--dry-run",
               "--config.file=" + os.path.join(export_dir, "snmp.yml")]]
    # The example job names the rule files where the .deb installs them.
    with open(os.path.join(export_dir, example_name)) as f:
        example = f.read()
    local = os.path.join(work, "example-prometheus.yml")
    with open(local, "w") as f:
        f.write(example.replace(INSTALLED_FOLDER, export_dir + "/"))
    checks.append(["promtool", "check", "config", local])
    for cmd in checks:
        result = run(cmd)
        if result.returncode != 0:
            raise Failure(f"{' '.join(cmd)} failed:\n{result.stdout}{result.stderr}")
    with open(os.path.join(export_dir, "tarvik-alerts.yml")) as f:
        alert_rules = f.read()
    with open(os.path.join(export_dir, "..", "..", "README.md")) as f:
        readme = f.read()
    anchors = {re.sub(r"[^a-z0-9_ -]", "", m.group(1).lower()).replace(" ", "-")
               for m in re.finditer(r"^#+ (.*?)\s*$", readme, re.M)}
    links = re.findall(r"runbook_url: 'README\.md#(.*)'", alert_rules)
    if len(links) != alert_rules.count("- alert: ") or not set(links) <= anchors:
        raise Failure(f"runbook anchors {sorted(set(links) - anchors)} have no README heading "
                      f"(or an alert has none)")
    return example, alert_rules, readme


def short_hold(alert_rules, work):
    """The test's copy of the alerts: held one interval, not the shipped
    30 s, so that they fire within seconds."""
    if SHIPPED_HOLD not in alert_rules:
        raise Failure(f"the alerts have no {SHIPPED_HOLD!r}")
    path = os.path.join(work, "tarvik-alerts.yml")
    with open(path, "w") as f:
        f.write(alert_rules.replace(SHIPPED_HOLD, f"for: {INTERVAL}"))
    return path


def lint_scrapes(exporter, sims, path=f"/snmp?module={JOB}&"):
    """promtool check metrics on the exporter's answer for either family."""
    for family in (350, 1000):
        target = next(s.target for s in sims if s.family == family)
        url = f"http://{exporter}{path}target={urllib.parse.quote(target)}"
        with urllib.request.urlopen(url, timeout=10) as answer:
            scrape = answer.read().decode()
        result = subprocess.run(["promtool", "check", "metrics"], input=scrape,
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0 or result.stdout or result.stderr or "tarvik_snmp_" not in scrape:
            raise Failure(f"promtool check metrics on family {family}'s scrape:\n"
                          f"{result.stdout}{result.stderr}")


def prometheus_config(example, export_dir, targets, exporter, alerts, alertmanager,
                      example_exporter=EXAMPLE_EXPORTER):
    """The shipped example job, pointed at these targets, this exporter and
    Alertmanager, and the test's alerts, with short intervals so that the
    test takes seconds, not minutes."""
    replacements = [
        (INSTALLED_FOLDER + "tarvik-alerts.yml", alerts),
        ("scrape_interval: 15s", f"scrape_interval: {INTERVAL}"),
        ("evaluation_interval: 15s", f"evaluation_interval: {INTERVAL}"),
        ("scrape_timeout: 10s", f"scrape_timeout: {INTERVAL}"),
        (INSTALLED_FOLDER, export_dir + "/"),
        # YAML reads an unquoted [::1]:PORT as a list.
        (EXAMPLE_TARGETS, "".join(f"    - '{t}'\n" if t.startswith("[") else f"    - {t}\n"
                                  for t in targets)),
        (example_exporter, exporter),
        (EXAMPLE_ALERTMANAGER, alertmanager),
    ]
    for old, new in replacements:
        if old not in example:
            raise Failure(f"the example prometheus.yml has no {old!r}")
        example = example.replace(old, new)
    return example


# ---- The console's panes -------------------------------------------------

def console_panes(tarvik, target):
    result = run([tarvik, "--headless", "--address", target, "--polls", "1"])
    if result.returncode != 0 or "== Poll 1 ==" not in result.stdout:
        raise Failure(f"tarvik --headless against {target}:\n{result.stdout}{result.stderr}")
    return result.stdout


def pane_value(panes, label):
    """The text after "LABEL<tabs>= " (or "LABEL=") on its line."""
    m = re.search(r"^" + re.escape(label) + r"\s*=\s*(.*?)\s*$", panes, re.M)
    if not m:
        raise Failure(f"no '{label}' in the console's panes:\n{panes}")
    return m.group(1)


def identification(panes):
    lines = panes.split("-- Identification --\n", 1)[1].split("\n")
    return lines[:8]


RAILS = ["+24V", "+12V", "+9V", "-12V", "+5V", "+3.3V", "+5VSB"]


def comparisons(family):
    """(recorded series, pane label, how the pane shows the value); the
    pane's own format applied to Prometheus's value must give the pane's
    text."""
    rows = [(f'tarvik_temperature_celsius{{sensor="{n}"}}', f"Temperature Sensor {n}",
             lambda v: f"{v:.1f} deg") for n in (1, 2, 3)]
    rows += [
        ("tarvik_receiver_voltage_volts", "Ureceiver", lambda v: f"{v:.1f} V"),
        ("tarvik_transmitter_voltage_volts", "Utransmitter", lambda v: f"{v:.1f} V"),
        ("tarvik_agc_voltage_volts", "Voltage AGC", lambda v: f"{v:.2f} V"),
        ("tarvik_attenuation_decibels", "Attenuation", lambda v: f"{v:.1f} dB"),
        ("tarvik_supply_current_amperes", "Total Consumtion", lambda v: f"{round(v * 1000)} mA"),
        ('tarvik_packets_per_second{direction="phy_to_radio"}', "PHY->Radio packets per sec.",
         lambda v: f"{v:.0f}"),
        ('tarvik_packets_per_second{direction="radio_to_phy"}', "Radio->PHY packets per sec.",
         lambda v: f"{v:.0f}"),
        ("tarvik_fec_failures_total", "FEC fails total", lambda v: f"{v:.0f}"),
        ('tarvik_link_rate_bits_per_second{direction="up"}', "UpLink",
         lambda v: f"{round(v / 1e6)}Mbps"),
        ('tarvik_link_rate_bits_per_second{direction="down"}', "DownLink",
         lambda v: f"{round(v / 1e6)}Mbps"),
        ('tarvik_switch_state{name="radio", switch="1"}', "Radio", None),
        ('tarvik_switch_state{name="heater", switch="3"}', "Heater", None),
    ]
    rows += [(f'tarvik_supply_voltage_volts{{rail="{r}"}}', f"U {r}", lambda v: f"{v:.1f} V")
             for r in RAILS]
    if family == 350:
        rows += [
            ("tarvik_rx_mse_decibels", "MSE dB", lambda v: f"{v:.1f}"),
            ('tarvik_dropped_packets_total{direction="phy_to_radio"}',
             "Drop PHY->R packets total", lambda v: f"{v:.0f}"),
            ('tarvik_dropped_packets_total{direction="radio_to_phy"}',
             "Drop R->PHY packets total", lambda v: f"{v:.0f}"),
            ("tarvik_frequency_offset_hertz", "Frequency Offset MHz", lambda v: f"{v / 1e6:.6f}"),
        ]
    else:
        rows += [
            ("tarvik_rx_locked", "Receiver", lambda v: {1: "Lock", 0: "NoLock"}.get(v, str(v))),
            ("tarvik_rx_quality_good", "Quality", lambda v: {1: "Good", 0: "Bad"}.get(v, str(v))),
            ("tarvik_rx_modem_status", "Status", lambda v: f"{v:.0f}"),
        ]
    return rows


def switch_shown(panes, name):
    m = re.search(r"^Radio: (on|off)\s+Heater: (on|off)\s*$", panes, re.M)
    if not m:
        raise Failure(f"no Radio/Heater line in the console's panes:\n{panes}")
    return m.group(1) if name == "Radio" else m.group(2)


def compare_with_console(prom, tarvik, sims):
    compared = 0
    for sim in sims:
        panes = console_panes(tarvik, sim.target)
        sel = f'instance="{sim.target}"'
        family = prom.query(f"tarvik_device_family_info{{{sel}}}")
        if [r["metric"]["family"] for r in family] != [str(sim.family)]:
            raise Failure(f"{sim.target}: family {family}, the simulator is {sim.family}")
        for series, label, shown in comparisons(sim.family):
            name, _, matchers = series.partition("{")
            matchers = matchers.rstrip("}")
            expr = f"{name}{{{sel}{', ' + matchers if matchers else ''}}}"
            result = prom.query(expr)
            if len(result) != 1:
                raise Failure(f"{expr}: {len(result)} series, expected 1")
            value = float(result[0]["value"][1])
            value = int(value) if value == int(value) else value
            if shown is None:
                want = switch_shown(panes, label)
                got = {1: "on", 0: "off"}.get(value, str(value))
            else:
                want = pane_value(panes, label)
                got = shown(value)
            if got != want:
                raise Failure(f"{sim.target} family {sim.family}: {expr} = {value} shows as "
                              f"'{got}', the console shows '{want}'")
            compared += 1
        info = prom.query(f"tarvik_device_info{{{sel}}}")
        if len(info) != 1 or info[0]["metric"].get("family") != str(sim.family):
            raise Failure(f"{sim.target}: device info {info}, expected one of family {sim.family}")
        shown_items = identification(panes)
        for item in range(1, 8):
            got = info[0]["metric"].get(f"id{item}", "")
            if got != shown_items[item - 1]:
                raise Failure(f"{sim.target}: identification item {item} is {got!r}, the "
                              f"console shows {shown_items[item - 1]!r}")
            compared += 1
        ratio = prom.query(f"tarvik_packet_error_ratio{{{sel}}}")
        if len(ratio) != 1 or not 0 <= float(ratio[0]["value"][1]) <= 1:
            raise Failure(f"{sim.target}: packet error ratio {ratio}")
    return compared


def check_every_recorded_series(prom, sims):
    """Each recording rule gives one series per target of its family."""
    families = {sim.target: str(sim.family) for sim in sims}
    checked = 0
    for group in prom.get("/api/v1/rules", type="record")["data"]["groups"]:
        for rule in group["rules"]:
            matchers = ", ".join(f'{k}="{v}"' for k, v in sorted(rule.get("labels", {}).items()))
            expr = f"{rule['name']}{{{matchers}}}"
            family = re.search(r'family="(\d+)"', rule["query"])
            want = {t for t, f in families.items() if family is None or f == family.group(1)}
            got = sorted(r["metric"]["instance"] for r in prom.query(expr))
            if got != sorted(want):
                raise Failure(f"{expr}: series for {got}, expected one for each of {sorted(want)}")
            checked += 1
    if checked == 0:
        raise Failure("Prometheus loaded no recording rules")
    return checked


# Identification item 2 against the family the console decodes from it: a
# code counts from the second character on and within the 99 characters the
# console keeps; the last one decides; none leaves the family it starts with.
FAMILY_TEXTS = [
    ("RL-KTR-350", "350"),
    ("RL-VXL-1000", "1000"),
    ("VXL-1000", "350"),
    ("xVXLxKTR", "350"),
    ("xKTRxVXL", "1000"),
    ("no code", "350"),
    ("x\nVXL", "1000"),
    ("x" * 96 + "VXL", "1000"),
    ("x" * 97 + "VXL", "350"),
]


def check_family_rule(prom):
    """The recorded family rule, applied to item texts the simulators do not
    send, decodes them as the console does."""
    rule = next(r for g in prom.get("/api/v1/rules", type="record")["data"]["groups"]
                for r in g["rules"] if r["name"] == "tarvik_device_family_info")
    for text, family in FAMILY_TEXTS:
        promql_text = json.dumps(text)  # a PromQL string: "\n" for a line break
        item = f'label_replace(vector(1), "tarvik_snmp_id_item_2", {promql_text}, "", "")'
        expr = re.sub(r'(?<!")\btarvik_snmp_id_item_2\b(?!")', lambda _: item, rule["query"])
        got = [r["metric"].get("family") for r in prom.query(expr)]
        if got != [family]:
            raise Failure(f"item 2 {text!r}: family {got}, the console decodes {family}")
    return len(FAMILY_TEXTS)


# The unit of each quantity the dashboard draws, by the series' name: a
# graph's every series must be of its axis's unit. Counters are drawn only
# as rates.
UNITS = [
    (r"^rate\(\w+_total\b", "cps"),
    (r"^\w+_celsius\b", "celsius"),
    (r"^\w+_volts\b", "volt"),
    (r"^\w+_decibels\b", "dB"),
    (r"^\w+_amperes\b", "amp"),
    (r"^\w+_hertz\b", "hertz"),
    (r"^\w+_bits_per_second\b", "bps"),
    (r"^\w+_packets_per_second\b", "pps"),
    (r"^\w+_seconds\b", "s"),
    (r"^\w+_ratio\b", "percentunit"),
    (r"^tarvik_rx_(locked|quality_good)\b", "bool_yes_no"),
    (r"^(snmp_scrape_packets_sent|tarvik_link_state)\b", "none"),
]


def unit_of(expr):
    units = [unit for pattern, unit in UNITS if re.match(pattern, expr)]
    return units[0] if units else None


def check_dashboard(prom, export_dir):
    with open(os.path.join(export_dir, "tarvik-dashboard.json")) as f:
        dashboard = json.load(f)
    variables = {v["name"]: v for v in dashboard["templating"]["list"]}
    if variables.get("datasource", {}).get("type") != "datasource" or "instance" not in variables:
        raise Failure("the dashboard has no datasource and instance variables")
    if "__inputs" in dashboard:
        raise Failure("the dashboard has __inputs; file provisioning takes none")
    rows = [p.get("repeat") for p in dashboard["panels"] if p["type"] == "row"]
    if [p["type"] for p in dashboard["panels"][:3]] != ["row", "table", "state-timeline"] or \
            rows != [None, "instance"]:
        raise Failure("the dashboard does not open with the fleet overview row, then a row "
                      f"repeated per link: rows {rows}")
    for p in dashboard["panels"]:
        if p["type"] not in ("timeseries", "state-timeline"):
            continue
        axis = p["fieldConfig"]["defaults"].get("unit")
        units = {t["expr"]: unit_of(t["expr"]) for t in p["targets"]}
        overridden = [o for o in p["fieldConfig"]["overrides"]
                      if any(q["id"] == "unit" for q in o["properties"])]
        if set(units.values()) != {axis} or overridden:
            raise Failure(f"panel {p['title']!r} on a {axis!r} axis draws {units}"
                          f"{' and overrides units' if overridden else ''}")
    exprs = [t["expr"] for p in dashboard["panels"] for t in p.get("targets", [])]
    for expr in exprs:
        concrete = expr.replace("$instance", ".*").replace("$__rate_interval", "1m")
        if not prom.query(concrete):
            raise Failure(f"the dashboard's {expr!r} returns no data")
    return len(exprs)


def alerts(prom):
    return [((a["labels"]["alertname"], a["labels"].get("instance"), a["labels"].get("rail"),
              a["labels"].get("severity")), a["state"])
            for a in prom.get("/api/v1/alerts")["data"]["alerts"]]


class Webhook:
    """Alertmanager's webhook receiver: keeps every notification posted."""

    def __init__(self):
        self.notes = []
        self.lock = threading.Lock()
        hook = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                with hook.lock:
                    hook.notes.append(json.loads(body))
                self.send_response(200)
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def of(self, alertname):
        with self.lock:
            return [n for n in self.notes if n["groupLabels"].get("alertname") == alertname
                    and n["status"] == "firing"]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def readme_route(readme, url):
    """The README's Alertmanager route, its receivers' URLs pointed at the
    test's webhook and its first wait shortened."""
    m = re.search(r"^```\n(route:\n.*?)^```", readme, re.M | re.S)
    if not m:
        raise Failure("the README shows no Alertmanager route")
    config, urls = m.group(1), re.findall(r"url: (\S+)", m.group(1))
    if "group_wait: 30s" not in config or not urls:
        raise Failure(f"the README's route has no group_wait or webhook:\n{config}")
    for old in urls:
        config = config.replace(old, url)
    return config.replace("group_wait: 30s", "group_wait: 1s")


def check_alerts(prom, sims, webhook):
    rail_sim = next(s for s in sims if s.family == 350)
    silent_sim = next(s for s in sims if s.family == 1000)
    if alerts(prom):
        raise Failure(f"alerts before any fault: {alerts(prom)}")
    rail_sim.command("rail 12v 14500")
    silent_sim.command("silent on")
    expected = {(RAIL_ALERT, rail_sim.target, "+12V", "warning"),
                ("TarvikLinkLost", silent_sim.target, None, "critical")}
    started = time.monotonic()

    def both_firing():
        now = alerts(prom)
        if {labels for labels, _ in now} - expected:
            raise Failure(f"alerts beyond the two faults: {now}")
        return {labels for labels, state in now if state == "firing"} == expected
    wait_for("the rail and link alerts to fire", both_firing, 60, 0.5)
    fired = time.monotonic() - started
    # The overview's state of every link: 2 lost, 1 a lamp lit, 0 ok.
    want = {s.target: 0.0 for s in sims}
    want.update({rail_sim.target: 1.0, silent_sim.target: 2.0})
    wait_for("the overview's link states", lambda: want == {
        r["metric"]["instance"]: float(r["value"][1]) for r in prom.query("tarvik_link_state")},
        10, 0.5)
    notes = wait_for("the rail alert at the webhook", lambda: webhook.of(RAIL_ALERT), 30, 0.2)
    rail_sim.command("rail off")
    silent_sim.command("silent off")
    wait_for("the alerts to resolve", lambda: not alerts(prom), 60, 0.5)
    notes = webhook.of(RAIL_ALERT)
    carried = [{k: a["labels"].get(k) for k in ("instance", "rail")}
               for n in notes for a in n["alerts"]]
    if len(notes) != 1 or carried != [{"instance": rail_sim.target, "rail": "+12V"}]:
        raise Failure(f"the rail alert reached the webhook as {len(notes)} notifications "
                      f"carrying {carried}, expected one for {rail_sim.target} +12V")
    return fired


def stop(procs):
    for p in procs:
        if p.poll() is None:
            p.terminate()
    for p in procs:
        try:
            p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(timeout=10)


def main(argv):
    if len(argv) not in (5, 6):
        sys.exit(__doc__)
    tarvik, sim_binary, export_dir, work = argv[1:5]
    ours = argv[5] if len(argv) == 6 else None
    export_dir = os.path.abspath(export_dir)
    missing = [t for t in ("prometheus", "promtool", "prometheus-snmp-exporter",
                           "prometheus-alertmanager")
               if shutil.which(t) is None]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (scripts/test installs them)")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    begun = time.monotonic()
    procs = []
    sims = []
    logs = []
    webhook = Webhook()
    try:
        example, alert_rules, readme = validate(
            export_dir, work, TARVIK_EXAMPLE if ours else "prometheus.yml")
        test_alerts = short_hold(alert_rules, work)
        # The last one on IPv6 loopback, where the machine has one.
        ipv6 = ipv6_loopback()
        if not ipv6:
            print("no IPv6 loopback (::1) here: every simulator on 127.0.0.1")
        for i in range(SIMULATORS):
            bind = "::1" if ipv6 and i == SIMULATORS - 1 else "127.0.0.1"
            sims.append(Simulator(sim_binary, 350 if i % 2 == 0 else 1000, bind))
        procs += [s.proc for s in sims]

        exporter = f"127.0.0.1:{free_port()}"
        log = open(os.path.join(work, "exporter.log"), "w")
        logs.append(log)
        if ours:
            command = [ours, "--web.listen-address", exporter, "--allow", "127.0.0.1",
                       "--allow", "::1"]
        else:
            command = ["prometheus-snmp-exporter",
                       "--config.file=" + os.path.join(export_dir, "snmp.yml"),
                       "--web.listen-address=" + exporter]
        procs.append(subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT))

        alertmanager = f"127.0.0.1:{free_port()}"
        am_config = os.path.join(work, "alertmanager.yml")
        with open(am_config, "w") as f:
            f.write(readme_route(readme, webhook.url))
        log = open(os.path.join(work, "alertmanager.log"), "w")
        logs.append(log)
        procs.append(subprocess.Popen(
            ["prometheus-alertmanager", "--config.file=" + am_config,
             "--web.listen-address=" + alertmanager, "--cluster.listen-address=",
             "--storage.path=" + os.path.join(work, "alertmanager")],
            stdout=log, stderr=subprocess.STDOUT))

        config = os.path.join(work, "prometheus.yml")
        with open(config, "w") as f:
            f.write(prometheus_config(example, export_dir, [s.target for s in sims], exporter,
                                      test_alerts, alertmanager,
                                      TARVIK_EXAMPLE_EXPORTER if ours else EXAMPLE_EXPORTER))
        address = f"127.0.0.1:{free_port()}"
        log = open(os.path.join(work, "prometheus.log"), "w")
        logs.append(log)
        procs.append(subprocess.Popen(
            ["prometheus", "--config.file=" + config, "--web.listen-address=" + address,
             "--storage.tsdb.path=" + os.path.join(work, "tsdb")],
            stdout=log, stderr=subprocess.STDOUT))
        prom = Prometheus(address)

        def all_up():
            try:
                up = prom.query(f'up{{job="{JOB}"}} == 1')
                pdus = prom.query("snmp_scrape_pdus_returned > 0")
                recorded = prom.query("tarvik_temperature_celsius")
            except (OSError, Failure):
                return False
            return len(up) == SIMULATORS and len(pdus) == SIMULATORS and \
                len(recorded) == 3 * SIMULATORS
        wait_for("every target scraped and recorded", all_up, 60, 0.5)
        lint_scrapes(exporter, sims, "/probe?" if ours else f"/snmp?module={JOB}&")

        # Hold every simulator's values, then wait for a scrape of every
        # target that began after that and a rule evaluation after it.
        for sim in sims:
            sim.command("freeze now")
        held = time.time()
        scraped = wait_for(
            "a scrape of every target after the hold",
            lambda: (lambda t: min(t) > held and max(t))(
                [float(r["value"][1]) for r in prom.query("timestamp(tarvik_snmp_humidity)")]
                or [0]), 30, 0.5)
        wait_for("a rule evaluation after those scrapes",
                 lambda: min(float(r["value"][1])
                             for r in prom.query("timestamp(tarvik_temperature_celsius)")) > scraped,
                 30, 0.5)
        series = check_every_recorded_series(prom, sims)
        compared = compare_with_console(prom, tarvik, sims)
        texts = check_family_rule(prom)
        exprs = check_dashboard(prom, export_dir)
        fired = check_alerts(prom, sims, webhook)
        on_ipv6 = [s.target for s in sims if s.target.startswith("[")]
        print(f"{'tarvik-exporter' if ours else 'snmp_exporter'}: {SIMULATORS} simulators ({len(on_ipv6)} on IPv6 {' '.join(on_ipv6)}): "
              f"{series} recording rules present for every target, "
              f"{compared} values equal to the console's panes, {texts} item 2 texts decoded "
              f"as the console does, both families' scrapes lint-clean, {exprs} dashboard queries "
              f"with data and one unit a graph, rail and link alerts fired after {fired:.0f} s, "
              f"the rail's reached the webhook once, and both resolved; "
              f"{time.monotonic() - begun:.0f} s in all")
        return 0
    except Failure as e:
        print(f"FAIL: {e}")
        for name in ("exporter.log", "prometheus.log", "alertmanager.log"):
            path = os.path.join(work, name)
            if os.path.exists(path):
                with open(path) as f:
                    print(f"--- {name} (last lines):\n" + "".join(f.readlines()[-15:]))
        return 1
    finally:
        stop(procs)
        webhook.stop()
        for log in logs:
            log.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
