#!/usr/bin/env python3
"""Checks every #include of the layers' sources against the layer table.

    layer      may include, besides itself
    snmp/      the standard library and system headers only
    process/   the standard library and system headers only
    device/    snmp/, process/
    charts/    device/, snmp/, process/
    logbook/   charts/, device/, snmp/, process/
    monitor/   logbook/, charts/, device/, snmp/, process/
    sim/       logbook/, charts/, device/, snmp/, process/
    headless/  monitor/, logbook/, charts/, device/, snmp/, process/
    fleet/     device/, snmp/, process/
    exporter/  fleet/, monitor/, logbook/, charts/, device/, snmp/, process/
    ui/        monitor/, logbook/, charts/, device/, snmp/, process/, res/ and Qt
    win32/     monitor/, logbook/, charts/, device/, snmp/, process/, res/
    res/       the standard library and system headers only
    app/       anything (not checked)

Only process/ installs the handler of SIGINT and SIGTERM (Ctrl+C on
Windows): every program shares that one handler and its stop flag.

An include whose first folder is one of the project's is a project header,
in quotes or angle brackets alike, and must be named from the source root
("snmp/ber.h"). Any other include in angle brackets is a system or library
header: Qt (<Q...>) only where Qt is allowed, GoogleTest and Google Benchmark
in no layer. The standard library and the system's own headers may be
included everywhere.

    check_layers.py SOURCE_ROOT

Prints one line per broken rule, naming the file, its line and the include,
and exits with status 1 when there is any.
"""
import pathlib
import re
import sys

PROJECT_FOLDERS = {"snmp", "process", "device", "charts", "logbook", "monitor", "sim", "headless", "fleet",
                   "exporter", "ui", "win32", "res", "app", "tests", "fuzz", "bench"}
MAY_INCLUDE = {
    "snmp": {"snmp"},
    "process": {"process"},
    "device": {"device", "snmp", "process"},
    "charts": {"charts", "device", "snmp", "process"},
    "logbook": {"logbook", "charts", "device", "snmp", "process"},
    "monitor": {"monitor", "logbook", "charts", "device", "snmp", "process"},
    "sim": {"sim", "logbook", "charts", "device", "snmp", "process"},
    "headless": {"headless", "monitor", "logbook", "charts", "device", "snmp", "process"},
    "fleet": {"fleet", "device", "snmp", "process"},
    "exporter": {"exporter", "fleet", "monitor", "logbook", "charts", "device", "snmp", "process"},
    "ui": {"ui", "monitor", "logbook", "charts", "device", "snmp", "process", "res"},
    "win32": {"win32", "monitor", "logbook", "charts", "device", "snmp", "process", "res"},
    "res": set(),
}
QT_ALLOWED = {"ui"}
TEST_LIBRARIES = {"gtest", "gmock", "benchmark"}
SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]*)[>"]')
STOP_HANDLER = re.compile(r"\b(sigaction|signal)\s*\(\s*SIG(INT|TERM)\b|\bSetConsoleCtrlHandler\s*\(")


def why_not(layer, bracket, header):
    """The broken rule, or None when `layer` may include `header`."""
    folder = header.split("/", 1)[0] if "/" in header else ""
    allowed = MAY_INCLUDE[layer]
    if folder in PROJECT_FOLDERS:
        if folder not in allowed:
            may = [f"{f}/" for f in sorted(allowed)] + ["the standard library", "system headers"]
            if layer in QT_ALLOWED:
                may.append("Qt")
            return f"{layer}/ may not include {folder}/ (allowed: {', '.join(may)})"
        return None
    if bracket == '"':
        return f'a project header is named from the source root, as "{layer}/..."'
    if header.startswith("Q") and layer not in QT_ALLOWED:
        return f"{layer}/ may not include Qt"
    if folder in TEST_LIBRARIES:
        return f"{layer}/ may not include {folder}/, a test or benchmark library"
    return None


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: check_layers.py SOURCE_ROOT")
    root = pathlib.Path(argv[1])
    broken = 0
    checked = 0
    for layer in sorted(MAY_INCLUDE):
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in SUFFIXES or not path.is_file():
                continue
            checked += 1
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    if layer != "process" and STOP_HANDLER.search(line):
                        print(f"{path.relative_to(root)}:{number}: installs a stop handler: "
                              "only process/ does")
                        broken += 1
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    bracket, header = match.groups()
                    why = why_not(layer, bracket, header)
                    if why:
                        shown = f"<{header}>" if bracket == "<" else f'"{header}"'
                        print(f"{path.relative_to(root)}:{number}: includes {shown}: {why}")
                        broken += 1
    if checked == 0:
        print(f"no layer sources under {root}")
        return 1
    if broken:
        print(f"{broken} line(s) break the layer rules")
        return 1
    print(f"layers: {checked} files, every include allowed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
