#!/usr/bin/env bash
# The terminal console against tarvik-sim on IPv6 loopback, named in the
# bracketed form: five polls and a Set, checked by the simulator's status;
# then an address of a bad form, named on stderr.
# usage: headless_ipv6.sh TARVIK TARVIK_SIM WORKDIR
# Exits 77 (skipped) where the machine has no IPv6 loopback.
set -euo pipefail
tarvik=$1 sim=$2 work=$3
source "$(dirname "$0")/lib.sh"
# A cold Wine is slow to start.
wait_tenths=300
mkdir -p "$work"
sim_ctl="$work/sim.ctl" sim_out="$work/sim.out"
commands="$work/console.cmd" out="$work/console.out" err="$work/console.err"
rm -f "$sim_ctl" "$sim_out" "$commands" "$out" "$err"
mkfifo "$sim_ctl" "$commands"
fifos=("$sim_ctl" "$commands")
shown=("$out" "$err" "$sim_out")

if ! start_sim "$sim_ctl" "$sim_out" --bind ::1 --family 1000; then
    grep -Eq '^tarvik-sim: (socket|bind)' "$sim_out" || fail "tarvik-sim did not start"
    echo "SKIP: no IPv6 loopback (::1) here: $(cat "$sim_out")"
    exit 77
fi
grep -q ' on \[::1\]:[0-9]*,' "$sim_out" || fail "tarvik-sim is not on [::1]"

echo 'switch 3 off' >&3
[[ "$(sim_status "$sim_out" switches:)" == "switches: "?" "?" 0 "* ]] || fail "heater not switched off"

"$tarvik" --headless --address "[::1]:$port" --interval 50 <"$commands" >"$out" 2>"$err" &
console=$!
pids+=("$console")
exec 4>"$commands"
wait_for '^== Poll 5 ==' "$out"
# Polling stops first: a poll between the tick and the Set would read the
# box back from the device.
printf 'stop\nheater on\nset\n' >&4
wait_for '^== set ==' "$out"
[[ "$(sim_status "$sim_out" switches:)" == "switches: "?" "?" 1 "* ]] || fail "the Set did not reach the heater"
received=$(sim_requests "$sim_out")
# The identification of Start, then five status requests a poll, and the Set.
[ "$received" -ge 27 ] || fail "only $received requests reached the simulator"
[ "$(not_journal "$err")" -eq 0 ] || fail "the console reported trouble"

# A bad form: the box's text, named, and nothing sent.
# No poll is answered, so the status is 1.
status=0
"$tarvik" --headless --address "[::1]:0" --polls 1 </dev/null >/dev/null 2>"$work/bad.err" ||
    status=$?
[ "$status" -eq 1 ] || fail "the bad-form run exited with $status, not 1"
grep -qxF "tarvik: Can't resolve hostname: [::1]:0: the port must be a number from 1 to 65535" \
    "$work/bad.err" ||
    fail "the bad form is not named: $(cat "$work/bad.err")"
echo "terminal console against tarvik-sim on [::1]:$port: $received requests, Set taken"
