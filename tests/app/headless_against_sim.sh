#!/usr/bin/env bash
# The tarvik program itself, without a window, against tarvik-sim: five polls
# logged, then the device falls silent for one poll.
# usage: headless_against_sim.sh TARVIK TARVIK_SIM WORKDIR
# With TARVIK_UNDER_WINE set the programs are Windows programs run by Wine,
# which ends them at once on SIGTERM; their stop request is Ctrl+C, which
# Wine makes of SIGINT.
set -euo pipefail
tarvik=$1 sim=$2 work=$3
term=TERM
[ -n "${TARVIK_UNDER_WINE:-}" ] && term=INT
mkdir -p "$work"
log="$work/headless.log" out="$work/sim.out" ctl="$work/sim.ctl"
rm -f "$log" "$out" "$ctl"
mkfifo "$ctl"

"$sim" --port 0 --family 1000 <"$ctl" >"$out" 2>&1 &
sim_pid=$!
exec 3>"$ctl"
trap 'exec 3>&-; kill -$term $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -f "$ctl"' EXIT

for _ in $(seq 50); do
    port=$(sed -n 's/.* on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "tarvik-sim did not start"; cat "$out"; exit 1; }

fail() { echo "FAIL: $*"; echo "--- log:"; cat -A "$log" | head -40; exit 1; }

"$tarvik" --headless --address 127.0.0.1 --port "$port" --interval 50 --polls 5 --log "$log" \
    >"$work/headless.out" 2>"$work/headless.err" || fail "tarvik exited with $?"
grep -q "^== Poll 5 ==" "$work/headless.out" || fail "fifth poll not printed"

# The simulator says "ok" once the fault is in force; wait at most 10 s.
echo "silent on" >&3
for _ in $(seq 100); do
    grep -qx 'ok' "$out" && break
    sleep 0.1
done
grep -qx 'ok' "$out" || { echo "tarvik-sim did not take silent on"; cat "$out"; exit 1; }
# Its one poll has no answer: exit status 1.
status=0
"$tarvik" --headless --address "127.0.0.1:$port" --interval 50 --polls 1 --log "$log" \
    >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "second run exited with $status"

# Every line ends in CR LF; no bare line feed.
[ "$(grep -c $'\r$' "$log")" -eq "$(wc -l <"$log")" ] || fail "a line without CR LF"
lines=$(wc -l <"$log")
# Two headers of 11 lines, five data lines, one NO CONNECTION line.
[ "$lines" -eq 28 ] || fail "expected 28 lines, got $lines"
[ "$(sed -n 2p "$log" | tr -d '\r')" = "ID2=RL-VXL-1000" ] || fail "identification item 2"
heading=$(sed -n 11p "$log" | tr -d '\r')
[ "$(awk -F'\t' '{print NF}' <<<"$heading")" -eq 27 ] || fail "heading is not 27 columns"
for n in 12 13 14 15 16; do
    row=$(sed -n "${n}p" "$log" | tr -d '\r')
    [ "$(awk -F'\t' '{print NF}' <<<"$row")" -eq 27 ] || fail "line $n is not 27 columns"
    [[ "$row" =~ ^[0-9]{2}\.[0-9]{2}\.[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}$'\t' ]] ||
        fail "line $n has no timestamp"
done
last=$(tail -n 1 "$log" | tr -d '\r')
[[ "$last" == *$'\t'"NO CONNECTION" ]] || fail "last line is not NO CONNECTION: $last"
echo "headless run against tarvik-sim: log of $lines lines as expected"
