#!/usr/bin/env bash
# One scripted run of the terminal console against tarvik-sim, whose clock
# is stopped so every reading is fixed: the panes printed, the alarm lines
# and the log must equal the files in golden/ byte for byte, for the Linux
# and the Windows build alike. Only what differs from run to run is
# replaced first: the log's timestamps, the status lines' times and the
# simulator's port.
# usage: headless_golden.sh TARVIK TARVIK_SIM WORKDIR GOLDEN_DIR
# With TARVIK_GOLDEN_UPDATE=1 the files in GOLDEN_DIR are written instead.
# With TARVIK_UNDER_WINE set to the Wine prefix the programs run under
# Wine, where Ctrl+C (SIGINT) is their stop request.
# Also: the console writes no settings file, and the simulator ends cleanly
# on SIGINT (Ctrl+C) while it waits for a command.
set -euo pipefail
tarvik=$1 sim=$2 work=$3 golden=$4
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
ctl="$work/sim.ctl" sim_out="$work/sim.out" commands="$work/commands"
rm -rf "$ctl" "$sim_out" "${work:?}"/run.* "${work:?}/home"
mkfifo "$ctl"
fifos=("$ctl")
# The console's settings would go here (or into the Wine prefix's profile).
mkdir -p "$work/home/.config"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

start_sim "$ctl" "$sim_out" --family 350 || fail "tarvik-sim did not start"
shown=("$sim_out")

# Gives the simulator COMMAND and waits until it has said `ok` to it.
oks=0
sim_says() {
    printf '%s\n' "$1" >&3
    oks=$((oks + 1))
    wait_for '^ok$' "$sim_out" "$oks"
}

# Ten minutes after switch-on, with the heater on and one rail out of its
# limits, so a lamp is lit and an alarm line printed.
sim_says "freeze 600"
sim_says "switch 3 on"
sim_says "rail 12v 14500"

# Every command is there from the start, so each runs before the next tick
# and the output's order is fixed.
printf 'get\nradio off\nset\nreset\nkey Field unit 7\nhelp\n' >"$commands"
"$tarvik" --headless --address 127.0.0.1 --port "$port" --interval 100 --polls 3 \
    --log "$work/run.log" <"$commands" >"$work/run.out" 2>"$work/run.err" ||
    fail "tarvik exited with $?"

# A device that falls silent: one NO CONNECTION line, and its alarm.
sim_says "silent on"
# Its one poll has no answer: exit status 1.
status=0
"$tarvik" --headless --address "127.0.0.1:$port" --interval 100 --polls 1 --log "$work/run.log" \
    </dev/null >>"$work/run.out" 2>>"$work/run.err" || status=$?
[ "$status" -eq 1 ] || fail "second run exited with $status"

# The simulator, waiting for its next command, ends within a second of
# SIGINT, with status 0.
stop_within_a_second INT "$sim_pid"

# No settings file anywhere the console could have put one.
written=$(find "$work/home" -type f)
if [ -n "${TARVIK_UNDER_WINE:-}" ]; then
    # Settings files by their name: other tests running beside this one
    # make tarvik-* files in Temp, and the journal is meant to be written.
    written+=$(find "$TARVIK_UNDER_WINE/drive_c" -iname 'tarvik*.ini' -newer "$commands")
fi
[ -z "$written" ] || fail "the console wrote settings: $written"

stamp='[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
sed "s/^$stamp\t/DD.MM.YY HH:MM:SS\t/" "$work/run.log" >"$work/run.log.masked"
# The journal's Start names the log by its path in the build tree.
sed -e "s/127\.0\.0\.1:$port/127.0.0.1:PORT/g" -e "s|$work/|WORK/|g" "$work/run.err" \
    >"$work/run.err.masked"
# The status lines name the time of the last answer, and the port; today's
# error performance shows once the polls pass a second's end, which they
# may or may not at 100 ms.
sed -e "/^Status: /s/[0-9][0-9]:[0-9][0-9]:[0-9][0-9]/HH:MM:SS/g" \
    -e "/^Status: /s/ · today: [0-9]* ES · [0-9]* SES · [0-9]* UAS$//" \
    -e "s/127\.0\.0\.1:$port/127.0.0.1:PORT/g" "$work/run.out" >"$work/run.out.masked"

if [ "${TARVIK_GOLDEN_UPDATE:-}" = 1 ]; then
    cp "$work/run.out.masked" "$golden/headless_run.out"
    cp "$work/run.err.masked" "$golden/headless_run.err"
    cp "$work/run.log.masked" "$golden/headless_run.log"
    echo "golden files written to $golden"
    exit 0
fi

status=0
for f in out err log; do
    got="$work/run.$f.masked"
    if ! cmp -s "$golden/headless_run.$f" "$got"; then
        echo "FAIL: the $f differs from golden/headless_run.$f:"
        diff -u <(cat -A "$golden/headless_run.$f") <(cat -A "$got") | head -40 || true
        status=1
    fi
done
[ "$status" -eq 0 ] || exit 1
echo "headless run against tarvik-sim: panes, alarms and log equal the golden files"
