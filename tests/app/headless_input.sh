#!/usr/bin/env bash
# What tarvik takes on its standard input, against tarvik-sim: an overlong
# line runs no part of itself (the simulator's request count shows that no
# Set and no key went out), a flood of commands holds no poll up, unknown
# commands are echoed short and escaped, quit ends the run with status 0,
# the exit status of --polls N tells whether the last poll was answered, and
# a message names the host or file it is about.
# usage: headless_input.sh TARVIK TARVIK_SIM WORKDIR
# TARVIK_UNDER_WINE is set when the programs are Windows programs run by Wine.
set -euo pipefail
tarvik=$1 sim=$2 work=$3
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
cd "$work"
rm -f sim.ctl sim.out ./*.err ./*.out ./*.log
mkfifo sim.ctl
fifos=("$work/sim.ctl")
shown=(long.err flood.err echo.err quit.err names.err plot.err silent.err sim.out)

start_sim sim.ctl sim.out || fail "tarvik-sim did not start"
address=127.0.0.1:$port
# A run that does not end by itself fails after 20 s (60 s under Wine, whose
# programs can take long to start on a loaded machine).
limit=20
[ -n "${TARVIK_UNDER_WINE:-}" ] && limit=60
run() { timeout "$limit" "$tarvik" --headless --address "$address" "$@"; }

# An overlong line, however it ends, sends nothing: neither the "set" after
# 4096 x nor the "set" that a key of 4092 x pushes past the limit. Start
# asks once for the identification, then 5 requests a poll.
x4096=$(head -c 4096 /dev/zero | tr '\0' x)
before=$(sim_requests sim.out)
printf '%sset\nkey %sset\nquit\n' "$x4096" "${x4096:4}" | run --interval 100 >long.out 2>long.err ||
    fail "overlong lines: exit status $?"
polls=$(count '^== Poll' long.out)
[ "$(sim_requests sim.out)" -eq $((before + 1 + 5 * polls)) ] || fail "a request beyond the polls went out"
[ "$(sim_status sim.out switches)" = 'switches: 1 0 0 0 0 0, key ""' ] || fail "the device changed"
[ "$(count 'tarvik: line too long (over 4096 bytes), ignored' long.err)" -eq 1 ] ||
    fail "not one line-too-long report"
grep -q 'unknown command' long.err && fail "a piece of an overlong line ran"

# A flood of commands holds no poll up: the five polls come and the run ends.
{ yes help || true; } | run --interval 100 --polls 5 >flood.out 2>flood.err ||
    fail "flood: exit status $?"
grep -qx '== Poll 5 ==' flood.out || fail "flood: no fifth poll"

# Unknown commands: escaped, cut to 40 octets, a run of them once with its
# count; no escape octet reaches the terminal.
garbage=$'\e[2J'$(head -c 100 /dev/zero | tr '\0' y)
echo_line="tarvik: unknown command: \\x1B[2J$(head -c 36 /dev/zero | tr '\0' y)..."
{ yes "$garbage" | head -n 2000 || true; } | run --interval 100 --polls 3 >echo.out 2>echo.err ||
    fail "echo: exit status $?"
grep -q $'\e' echo.err && fail "an escape octet was echoed"
[ "$(count 'unknown command' echo.err)" -eq "$(grep -cxF -- "$echo_line" echo.err)" ] ||
    fail "an echo not escaped and cut"
grep -q '^tarvik: (the line above came [0-9]* more times)$' echo.err || fail "no count of a run"
[ "$(wc -l <echo.err)" -le 8 ] || fail "more than two lines a poll"

# quit ends the run, the log complete: its header and one line a poll.
printf 'quit\n' | run --log quit.log >quit.out 2>quit.err || fail "quit: exit status $?"
[ "$(count '^== Poll' quit.out)" -eq 1 ] || fail "quit: not one poll"
[ -s quit.log ] || fail "quit: no log"

# Names in messages, escaped; and the exit status of --polls: 1 when the last
# poll had no answer.
status=0
run --polls 1 --log "$work/no/such"$'\e'"[31m.log" </dev/null >names.out 2>names.err ||
    status=$?
[ "$status" -eq 0 ] || fail "an answered poll gave exit status $status"
# Windows takes no control characters in file names at all.
reason="No such file or directory"
[ -n "${TARVIK_UNDER_WINE:-}" ] && reason="Invalid argument"
grep -qxF "tarvik: Can't open log file: $work/no/such\\x1B[31m.log: $reason" names.err ||
    fail "the log file is not named"
status=0
"$tarvik" --plot "$work/no"$'\e'"[31m.log" >plot.out 2>plot.err || status=$?
[ "$status" -eq 1 ] || fail "a missing log to plot gave exit status $status"
[[ "$(head -n 1 plot.err)" == "tarvik: cannot open $work/no\\x1B[31m.log: "* ]] ||
    fail "the log to plot is not named"
echo "silent on" >&3
status=0
run --polls 1 </dev/null >silent.out 2>silent.err || status=$?
[ "$status" -eq 1 ] || fail "a poll without answer gave exit status $status"
echo "silent off" >&3

echo "standard input and exit status against tarvik-sim: all checks passed"
