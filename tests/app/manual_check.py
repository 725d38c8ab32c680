#!/usr/bin/env python3
"""A program's manual page against what the program itself lists.

  manual_check.py PAGE PROGRAM help|terminal

Every option (--name) in `PROGRAM --help` is in PAGE, and every option in
PAGE is in `--help`. The same both ways for the commands: those `--help`
lists (help), or those the terminal console lists for its `help` command
(terminal: `PROGRAM --demo` without a display, on its own simulated
transceiver on loopback), against the items of PAGE's commands section;
a command's other names ("quit, exit") count as commands too.

The page's exit statuses against what the program does: every status that
the page lists comes out of one of the program's runs below, and every run
ends in a status that the page lists.
"""
import concurrent.futures
import os
import re
import socket
import subprocess
import tempfile
import sys
import threading

OPTION = re.compile(r"--[a-z][a-z0-9-]*")
# "  silent on|off   ...", "  quit, exit   ...": two spaces, then the
# command's names.
COMMAND_LINE = re.compile(r"^  ([a-z][a-z0-9-]*(?:, [a-z][a-z0-9-]*)*)(\s|$)")
# A page's item: the names, then what they take.
PAGE_ITEM = re.compile(r"^([a-z][a-z0-9-]*(?:\s*,\s*[a-z][a-z0-9-]*)*)")


def help_text(program):
    run = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        sys.exit("%s --help: exit %d" % (program, run.returncode))
    return run.stdout


def names(text):
    return {name.strip() for name in text.split(",")}


def commands_in(lines):
    return set().union(*(names(m.group(1)) for m in map(COMMAND_LINE.match, lines) if m))


def terminal_commands(program):
    """The command list the terminal console prints for `help`."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    console = subprocess.Popen([program, "--demo"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                               env=env)
    watchdog = threading.Timer(30, console.kill)
    watchdog.start()
    listed = []
    try:
        console.stdin.write("help\n")
        console.stdin.flush()
        in_list = False
        for line in console.stdout:
            if line.startswith("Commands, one a line"):
                in_list = True
            elif in_list and COMMAND_LINE.match(line):
                listed.append(line)
            elif in_list:
                break
    finally:
        watchdog.cancel()
        console.terminate()
        try:
            console.wait(timeout=10)
        except subprocess.TimeoutExpired:
            console.kill()
            console.wait()
    if not listed:
        sys.exit("%s --demo printed no command list for help" % program)
    return commands_in(listed)


def page_options(roff):
    return set(OPTION.findall(roff.replace("\\-", "-")))


def page_commands(roff):
    """The first word of every .TP item in the section whose title ends in
    COMMANDS."""
    lines = roff.replace("\\-", "-").splitlines()
    commands, in_section = set(), False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            in_section = line.rstrip().endswith("COMMANDS")
        elif in_section and line.startswith(".TP") and i + 1 < len(lines):
            item = re.sub(r"^\.[A-Z]+\s+", "", lines[i + 1])
            item = re.sub(r"\\f.", "", item).replace('"', "").strip()
            match = PAGE_ITEM.match(item)
            if match:
                commands |= names(match.group(1))
    return commands


def page_statuses(roff):
    """The numbers of the .TP items in the EXIT STATUS section."""
    statuses, in_section = set(), False
    lines = roff.splitlines()
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            in_section = line.rstrip() == ".SH EXIT STATUS"
        elif in_section and line.startswith(".TP") and i + 1 < len(lines):
            match = re.match(r"^\.B\s+(\d+)", lines[i + 1])
            if match:
                statuses.add(int(match.group(1)))
    return statuses


def layout_faults(roff, program):
    """Each form in SYNOPSIS on a line of its own (.br before every one
    but the first), and each option in OPTIONS an item of its own (.TP
    before it), not run on into the text before it."""
    faults, section, previous = [], "", ""
    for line in roff.splitlines():
        if line.startswith(".SH"):
            section = line[3:].strip()
        elif section == "SYNOPSIS" and line.split()[:2] == [".B", program]:
            if previous not in ("", ".br") and not previous.startswith(".SH"):
                faults.append("SYNOPSIS runs %r on after %r" % (line, previous))
        elif section == "OPTIONS" and re.match(r"^\.BI? \\-\\-", line):
            if previous not in (".TP", ".TQ"):
                faults.append("OPTIONS item %r has no .TP before it" % line)
        previous = line
    return faults


def status_runs(name, work):
    """(arguments, standard input) of runs that end in each exit status."""
    # A loopback port that never answers, for a last poll without answer.
    silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    silent.bind(("127.0.0.1", 0))
    silent_address = "127.0.0.1:%d" % silent.getsockname()[1]
    busy = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    busy.bind(("127.0.0.1", 0))
    log = os.path.join(work, "empty.log")
    open(log, "w").close()
    runs = {
        "tarvik": [
            (["--help"], ""),
            (["--version"], ""),
            (["--export", log, "--out", os.path.join(work, "out.csv")], ""),
            (["--headless", "--address", silent_address], "quit\n"),
            (["--headless", "--address", silent_address, "--polls", "1"], ""),
            (["--export", os.path.join(work, "missing.log")], ""),
            (["--export", log, "--out", os.path.join(work, "no-folder", "out.csv")], ""),
            (["--no-such-option"], ""),
            (["--headless"], ""),
        ],
        "tarvik-sim": [
            (["--help"], ""),
            (["--port", "0"], "quit\n"),
            (["--port", str(busy.getsockname()[1])], ""),
            (["--family", "42"], ""),
        ],
    }
    return runs.get(name, []), (silent, busy)


def run_statuses(program, work):
    runs, sockets = status_runs(os.path.basename(program).split(".")[0], work)
    produced = {}

    def status(run):
        args, stdin = run
        return subprocess.run([program] + args, input=stdin, capture_output=True, text=True,
                              timeout=30).returncode

    # At once: two of the runs wait out a silent device's two seconds twice.
    try:
        with concurrent.futures.ThreadPoolExecutor(len(runs) or 1) as pool:
            for (args, _), returncode in zip(runs, pool.map(status, runs)):
                produced.setdefault(returncode, " ".join(args))
    finally:
        for s in sockets:
            s.close()
    return produced


def compare(what, program_side, page_side, faults):
    for name in sorted(program_side - page_side):
        faults.append("%s %s is listed by the program but not in the page" % (what, name))
    for name in sorted(page_side - program_side):
        faults.append("%s %s is in the page but not listed by the program" % (what, name))


def main(page, program, source):
    with open(page) as f:
        roff = f.read()
    usage = help_text(program)
    if source == "help":
        commands = commands_in(usage.splitlines())
    elif source == "terminal":
        commands = terminal_commands(program)
    else:
        sys.exit(__doc__)
    # --help is an option whether or not its own text names it: it just
    # answered with that text.
    options = set(OPTION.findall(usage)) | {"--help"}
    faults = layout_faults(roff, os.path.basename(program).split(".")[0])
    compare("option", options, page_options(roff), faults)
    compare("command", commands, page_commands(roff), faults)
    with tempfile.TemporaryDirectory() as work:
        produced = run_statuses(program, work)
    documented = page_statuses(roff)
    for status in sorted(set(produced) - documented):
        faults.append("exit status %d (%s) is not in the page" % (status, produced[status]))
    for status in sorted(documented - set(produced)):
        faults.append("exit status %d is in the page but no run here produces it" % status)
    if faults:
        sys.exit("%s against %s:\n  %s" % (page, program, "\n  ".join(faults)))
    print("%s: %d options, %d commands, exit statuses %s, as the program has them" % (
        os.path.basename(page), len(page_options(roff)), len(commands),
        sorted(documented)))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
