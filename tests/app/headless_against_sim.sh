#!/usr/bin/env bash
# The tarvik program itself, without a window, against tarvik-sim: five polls
# logged, then the device falls silent for one poll.
# usage: headless_against_sim.sh TARVIK TARVIK_SIM WORKDIR
# With TARVIK_UNDER_WINE set the programs are Windows programs run by Wine,
# which ends them at once on SIGTERM; their stop request is Ctrl+C, which
# Wine makes of SIGINT.
set -euo pipefail
tarvik=$1 sim=$2 work=$3
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
log="$work/headless.log" out="$work/sim.out" ctl="$work/sim.ctl"
rm -f "$log" "$out" "$ctl"
mkfifo "$ctl"
fifos=("$ctl")
shown=("$log" "$out")

start_sim "$ctl" "$out" --family 1000 || fail "tarvik-sim did not start"

"$tarvik" --headless --address 127.0.0.1 --port "$port" --interval 50 --polls 5 --log "$log" \
    >"$work/headless.out" 2>"$work/headless.err" || fail "tarvik exited with $?"
grep -q "^== Poll 5 ==" "$work/headless.out" || fail "fifth poll not printed"

# Standard output that cannot be written ends the console with status 1, as
# SIGPIPE would: closed, or a pipe whose reader has gone while SIGPIPE is
# ignored. (Wine's standard handles are its own; not there.)
if [ -z "${TARVIK_UNDER_WINE:-}" ]; then
    run_lost() { timeout 10 "$tarvik" --headless --address 127.0.0.1 --port "$port" --interval 50; }
    for how in closed pipe; do
        status=0
        case $how in
            closed) (trap '' PIPE && run_lost >&- 2>"$work/lost.err") || status=$? ;;
            pipe) (trap '' PIPE && run_lost 2>"$work/lost.err" | true) || status=$? ;;
        esac
        [ "$status" -eq 1 ] || fail "standard output $how: exit status $status, not 1"
        grep -q "^tarvik: standard output: " "$work/lost.err" || fail "standard output $how: not told"
    done
fi

# The simulator says "ok" once the fault is in force.
echo "silent on" >&3
wait_for '^ok$' "$out"
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
