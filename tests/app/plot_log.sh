#!/usr/bin/env bash
# `tarvik --plot` on a log the console wrote (by headless_against_sim), with
# a spoiled line added: the line is reported and the window stays up showing
# the rest; a file that cannot be opened, or is not a regular file, ends the
# program with status 1. With --save the charts go to an SVG or PNG file of
# the size asked for, and no window opens.
# usage: plot_log.sh TARVIK LOG WORKDIR
set -euo pipefail
tarvik=$1 source_log=$2 work=$3
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
log="$work/spoiled run.log" err="$work/plot.err"
shown=("$err")

[ -s "$source_log" ] || { echo "no log to plot at $source_log"; exit 1; }
{ cat "$source_log"; printf 'not a line of the log\r\n'; } >"$log"
lines=$(wc -l <"$log")

export QT_QPA_PLATFORM=offscreen
# The log is read and its problems reported before the window opens; the
# window then stays up until it is closed.
"$tarvik" --plot "$log" 2>"$err" &
plot=$!
pids+=("$plot")
wait_for "^tarvik: $log: line $lines: " "$err"
if wait_end "$plot" 15; then
    status=0
    wait "$plot" || status=$?
    fail "the trends window did not stay up (status $status)"
fi
kill "$plot"
wait "$plot" || true
[ "$(grep -c "^tarvik: " "$err")" -eq 1 ] || fail "more reports than the one spoiled line"

status=0
"$tarvik" --plot "$work/no such.log" 2>"$err" || status=$?
[ "$status" -eq 1 ] || fail "a missing log gave status $status"
grep -q "^tarvik: cannot open $work/no such.log" "$err" || fail "no report of the missing log"
# Anything but a regular file is refused at once; a FIFO would block.
mkfifo "$work/fifo"
for kind in "$work:a directory" "$work/fifo:a FIFO" "/dev/zero:a device"; do
    target=${kind%%:*} what=${kind#*:}
    status=0
    timeout 5 "$tarvik" --plot "$target" 2>"$err" || status=$?
    [ "$status" -eq 1 ] || fail "$what gave status $status"
    grep -q "^tarvik: cannot open $target: not a regular file ($what)" "$err" ||
        fail "no clear report of $what"
done
rm -f "$work/fifo"

timeout 20 "$tarvik" --plot "$log" --save "$work/out.svg" --size 900x1300 2>"$err" ||
    fail "--save out.svg failed: $(cat "$err")"
grep -q '<svg xmlns="http://www.w3.org/2000/svg" width="900" height="1300"' "$work/out.svg" ||
    fail "no SVG of 900x1300"
grep -q '<title>U +12V</title></path>' "$work/out.svg" || fail "no path of U +12V in the SVG"
timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tarvik" --plot "$log" \
    --save "$work/out.png" --size 800x1600 2>"$err" || fail "--save out.png failed: $(cat "$err")"
[ "$(head -c 8 "$work/out.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "out.png is no PNG"
status=0
"$tarvik" --plot "$log" --save "$work/no such folder/out.svg" 2>"$err" || status=$?
[ "$status" -eq 1 ] || fail "an unwritable --save gave status $status"
echo "plot of a written log: the spoiled line reported, the window up, saved as SVG and PNG"
