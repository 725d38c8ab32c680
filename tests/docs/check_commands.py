#!/usr/bin/env python3
"""Every command line of the programs that the README and docs/ show, run.

  check_commands.py SOURCE_DIR TARVIK TARVIK_SIM [TARVIK_EXPORTER]

A command is a line of a fenced block, or an inline code span of three
words or more (two, `tarvik --headless`, name a mode in running text),
that starts with a program's name (or its path in the build tree). Its optional parts
([...]) are left out, the first of alternatives (a|b) is taken, and the
placeholders (HOST, LOG, MS, ...) become real values: a loopback port that
never answers, a log the console wrote, files in a folder of the test's
own. Servers listen on loopback ports of their own. Each runs for at most
two seconds with no display and nothing on standard input; what fails is a
command line that the program refuses (status 2, or its usage printed): a
page that shows a command that does not run.
"""
import os
import re
import shlex
import socket
import subprocess
import sys
import tempfile

RUN_SECONDS = 2
PROGRAMS = ("tarvik", "tarvik-sim", "tarvik-exporter")
FENCE = re.compile(r"^\s*```")
SPAN = re.compile(r"`([^`\n]+)`")


def program_of(word):
    name = os.path.basename(word)
    return name if name in PROGRAMS else None


def command_text(line):
    """The command at the start of `line`: a comment or a description
    after three blanks is cut off."""
    line = re.sub(r"^\$ ", "", line.strip())
    line = re.split(r"\s#\s|\s{3,}", line)[0]
    return line.strip()


def commands_in(text):
    commands = []
    fenced = False
    for line in text.splitlines():
        if FENCE.match(line):
            fenced = not fenced
            continue
        if fenced:
            words = line.split()
            if words and program_of(re.sub(r"^\$$", "", words[0]) or words[-1]):
                commands.append(command_text(line))
            elif commands and re.match(r"^\s+\[", line) and program_of(commands[-1].split()[0]):
                commands[-1] += " " + command_text(line)  # a synopsis runs on
            continue
        for span in SPAN.findall(line):
            words = span.split()
            if len(words) > 2 and program_of(words[0]):
                commands.append(span.strip())
    return commands


def without_options(command):
    """Optional parts ([...], nested too) and "..." left out."""
    previous = None
    while previous != command:
        previous = command
        command = re.sub(r"\[[^\[\]]*\]", "", command)
    return command.replace("...", " ")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Values:
    """What the placeholders become, by the option before them."""

    def __init__(self, work, silent_port, log):
        self.work = work
        self.agent = "127.0.0.1:%d" % silent_port
        self.silent_port = str(silent_port)
        self.log = log
        self.allow = os.path.join(work, "targets")
        with open(self.allow, "w") as f:
            f.write("127.0.0.1\n")

    def value(self, program, option, word):
        if option == "--address" or re.match(r"^(HOST|\d+\.\d+\.\d+\.\d+)(:\w+)?$", word):
            return self.agent
        by_option = {
            "--port": "0" if program == "tarvik-sim" else self.silent_port,
            "--bind": "127.0.0.1",
            "--polls": "1",
            "--interval": "100",
            "--community": "public",
            "--log": os.path.join(self.work, "new.log"),
            "--journal": os.path.join(self.work, "journal.jsonl"),
            "--plot": self.log,
            "--export": self.log,
            "--out": os.path.join(self.work, "out.csv"),
            "--save": os.path.join(self.work, "out.svg"),
            "--size": "800x600",
            "--span": "1h",
            "--from": "2026-12-09 10:40",
            "--to": "2026-12-09 11:40",
            "--allow": "127.0.0.0/8",
            "--targets-file": self.allow,
            "--community-file": self.allow,
            "--max-concurrent": "2",
            "--identification-interval": "60",
        }
        return by_option.get(option, word)


def runnable(command, values, binaries):
    """The argument list of `command` with real values, or None for a
    command of a program not under test."""
    words = shlex.split(without_options(command))
    program = program_of(words[0])
    if program not in binaries:
        return None
    args = []
    for word in words[1:]:
        word = word.split("|")[0] if "|" in word else word
        option = args[-1] if args and args[-1].startswith("--") else None
        args.append(word if word.startswith("--") else values.value(program, option, word))
    # Servers on loopback ports of their own, never a well-known one.
    if program == "tarvik-sim" and "--port" not in args and "--version" not in args:
        args += ["--port", "0"]
    if program == "tarvik-exporter":
        if "--web.listen-address" in args:
            at = args.index("--web.listen-address")
            del args[at:at + 2]
        args += ["--web.listen-address", "127.0.0.1:%d" % free_port()]
    return [binaries[program]] + args


def run(args, work):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    process = subprocess.Popen(args, cwd=work, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        _, err = process.communicate(timeout=RUN_SECONDS)
    except subprocess.TimeoutExpired:
        process.terminate()  # it runs: the command line was taken
        try:
            _, err = process.communicate(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            _, err = process.communicate()
        return None
    return (process.returncode, err)


def main(source, tarvik, sim, exporter=None):
    binaries = {"tarvik": tarvik, "tarvik-sim": sim}
    if exporter:
        binaries["tarvik-exporter"] = exporter
    pages = [os.path.join(source, "README.md")]
    docs = os.path.join(source, "docs")
    pages += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith(".md"))
    silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    silent.bind(("127.0.0.1", 0))
    faults, ran = [], 0
    try:
        with tempfile.TemporaryDirectory() as work:
            log = os.path.join(work, "run.log")
            sim_run = subprocess.Popen([sim, "--port", "0"], stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                       text=True)
            try:
                port = re.search(r":(\d+),", sim_run.stdout.readline()).group(1)
                subprocess.run([tarvik, "--headless", "--address", "127.0.0.1:" + port,
                                "--interval", "100", "--polls", "3", "--log", log],
                               capture_output=True, timeout=30)
            finally:
                sim_run.kill()
                sim_run.wait()
            values = Values(work, silent.getsockname()[1], log)
            for page in pages:
                with open(page, encoding="utf-8") as f:
                    commands = commands_in(f.read())
                for command in commands:
                    args = runnable(command, values, binaries)
                    if args is None:
                        continue
                    ran += 1
                    result = run(args, work)
                    if result and (result[0] == 2 or "usage:" in result[1]):
                        faults.append("%s: `%s` (run as %s) is refused: status %d: %s" % (
                            os.path.relpath(page, source), command, shlex.join(args[1:]),
                            result[0], result[1].strip().splitlines()[0]))
    finally:
        silent.close()
    if faults:
        sys.exit("commands in the pages that do not run:\n  " + "\n  ".join(faults))
    print("%d commands in the README and docs/ run" % ran)


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    main(*sys.argv[1:])
