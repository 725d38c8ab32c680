#!/usr/bin/env bash
# The terminal console against tarvik-sim on IPv6 loopback, named in the
# bracketed form: five polls and a Set, checked by the simulator's status;
# then an address of a bad form, named on stderr.
# usage: headless_ipv6.sh TARVIK TARVIK_SIM WORKDIR
# Exits 77 (skipped) where the machine has no IPv6 loopback.
set -euo pipefail
tarvik=$1 sim=$2 work=$3
term=TERM
[ -n "${TARVIK_UNDER_WINE:-}" ] && term=INT
mkdir -p "$work"
sim_ctl="$work/sim.ctl" sim_out="$work/sim.out"
commands="$work/console.cmd" out="$work/console.out" err="$work/console.err"
rm -f "$sim_ctl" "$sim_out" "$commands" "$out" "$err"
mkfifo "$sim_ctl" "$commands"

pids=()
cleanup() {
    exec 3>&- 4>&-
    for pid in "${pids[@]}"; do
        kill "-$term" "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -f "$sim_ctl" "$commands"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$out" "$err" "$sim_out"; do
        echo "--- $f:"
        [ -f "$f" ] && tail -n 30 "$f"
    done
    exit 1
}

count() { grep -c -- "$1" "$2" || true; }

# Waits at most 30 s (a cold Wine is slow to start) until FILE has at least N
# lines matching PATTERN.
wait_for() {
    local pattern=$1 file=$2 n=${3:-1}
    for _ in $(seq 300); do
        [ "$(count "$pattern" "$file")" -ge "$n" ] && return 0
        sleep 0.1
    done
    fail "no '$pattern' (x$n) in $file"
}

"$sim" --bind ::1 --port 0 --family 1000 <"$sim_ctl" >"$sim_out" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
exec 3>"$sim_ctl"
for _ in $(seq 300); do
    grep -q ' on \[::1\]:[0-9]*,' "$sim_out" && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        grep -Eq '^tarvik-sim: (socket|bind)' "$sim_out" || fail "tarvik-sim did not start"
        echo "SKIP: no IPv6 loopback (::1) here: $(cat "$sim_out")"
        exit 77
    fi
    sleep 0.1
done
port=$(sed -n 's/.* on \[::1\]:\([0-9]*\),.*/\1/p' "$sim_out")
[ -n "$port" ] || fail "tarvik-sim did not say its port"

# The simulator's switches and request count, from its next `status`.
sim_status() {
    local before
    before=$(count '^requests received' "$sim_out")
    echo status >&3
    wait_for '^requests received' "$sim_out" $((before + 1))
    grep "^$1" "$sim_out" | tail -n 1
}

echo 'switch 3 off' >&3
[[ "$(sim_status switches:)" == "switches: "?" "?" 0 "* ]] || fail "heater not switched off"

"$tarvik" --headless --address "[::1]:$port" --interval 50 <"$commands" >"$out" 2>"$err" &
console=$!
pids+=("$console")
exec 4>"$commands"
wait_for '^== Poll 5 ==' "$out"
printf 'heater on\nset\n' >&4
wait_for '^== set ==' "$out"
[[ "$(sim_status switches:)" == "switches: "?" "?" 1 "* ]] || fail "the Set did not reach the heater"
received=$(sim_status 'requests received' | sed 's/^requests received \([0-9]*\),.*/\1/')
# The identification of Start, then five status requests a poll, and the Set.
[ "$received" -ge 27 ] || fail "only $received requests reached the simulator"
[ -s "$err" ] && fail "the console reported trouble"

# A bad form: the box's text, named, and nothing sent.
"$tarvik" --headless --address "[::1]:0" --polls 1 </dev/null >/dev/null 2>"$work/bad.err" ||
    fail "the bad-form run exited with $?"
grep -qxF "tarvik: Can't resolve hostname: [::1]:0" "$work/bad.err" ||
    fail "the bad form is not named: $(cat "$work/bad.err")"
echo "terminal console against tarvik-sim on [::1]:$port: $received requests, Set taken"
