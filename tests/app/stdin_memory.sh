#!/usr/bin/env bash
# Standard input faster than the programs take it stays out of their memory:
# tarvik with `yes help` piped in and tarvik-sim reading /dev/zero (one
# endless line), side by side for SECONDS, each below 64 MB resident at
# every look. Meant for the Windows build under Wine, whose reader is a
# thread of its own that once buffered everything it could read.
# usage: stdin_memory.sh TARVIK TARVIK_SIM WORKDIR [SECONDS]
set -euo pipefail
tarvik=$1 sim=$2 work=$3 seconds=${4:-20}
source "$(dirname "$0")/lib.sh"
wait_tenths=200
limit_kb=$((64 * 1024))
mkdir -p "$work"
cd "$work"
rm -f sim.out tarvik.err
shown=(sim.out tarvik.err)

# The largest resident size, in kB, of PID and the processes under it
# (under Wine the program may run in a child of the process started).
resident_kb() {
    local largest=0 rss p i=0
    local all=("$1")
    while [ "$i" -lt "${#all[@]}" ]; do
        for p in $(ps -o pid= --ppid "${all[$i]}" 2>/dev/null); do
            all+=("$p")
        done
        i=$((i + 1))
    done
    for p in "${all[@]}"; do
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$p/status" 2>/dev/null || true)
        [ -n "$rss" ] && [ "$rss" -gt "$largest" ] && largest=$rss
    done
    echo "$largest"
}

start_sim /dev/zero sim.out || fail "tarvik-sim did not start"

{ yes help || true; } | "$tarvik" --headless --address "127.0.0.1:$port" --interval 100 \
    >/dev/null 2>tarvik.err &
tarvik_pid=$!
pids+=("$tarvik_pid")

peak_tarvik=0 peak_sim=0
end=$((SECONDS + seconds))
while [ "$SECONDS" -lt "$end" ]; do
    kill -0 "$tarvik_pid" 2>/dev/null || fail "tarvik ended"
    kill -0 "$sim_pid" 2>/dev/null || fail "tarvik-sim ended"
    t=$(resident_kb "$tarvik_pid") s=$(resident_kb "$sim_pid")
    [ "$t" -gt "$peak_tarvik" ] && peak_tarvik=$t
    [ "$s" -gt "$peak_sim" ] && peak_sim=$s
    [ "$peak_tarvik" -lt "$limit_kb" ] || fail "tarvik resident at $peak_tarvik kB"
    [ "$peak_sim" -lt "$limit_kb" ] || fail "tarvik-sim resident at $peak_sim kB"
    sleep 0.5
done
[ "$peak_tarvik" -gt 0 ] && [ "$peak_sim" -gt 0 ] || fail "no resident size found"
grep -q 'line too long' sim.out || fail "tarvik-sim did not report its endless line"
echo "peak resident over $seconds s: tarvik $peak_tarvik kB, tarvik-sim $peak_sim kB (limit $limit_kb kB)"
