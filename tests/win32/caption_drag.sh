#!/usr/bin/env bash
# Polling goes on while the window is dragged by its caption, under Wine on
# the display the run was given: `tarvikw.exe --demo --log FILE`, with Get
# and Start pressed, polls the demo's device every second and logs. The
# caption is held and moved for 5 s (Windows' own move loop runs all that
# time), then let go. The window must have moved, the log must have a line
# for every second of the drag, and none may be NO CONNECTION.
# usage: caption_drag.sh WINE-RUN.SH PREFIX TARVIKW.EXE WORKDIR
set -euo pipefail
run=$1 prefix=$2 exe=$3 work=$4
source "$(dirname "$0")/../app/lib.sh"
mkdir -p "$work"
log="$work/drag.log"
rm -f "$log"
shown=("$log")
export TARVIK_DEMO_AUTOSTART=1
# Wine's drive Z: is the root of the file system.
"$run" "$prefix" "$exe" --demo --log "Z:${log//\//\\}" 2>/dev/null &
program=$!
pids+=("$program")
title='^Tarvik v7310QX-2$'
window=$(timeout 60 xdotool search --sync --name "$title" | head -1) || true
[ -n "$window" ] || fail "no window titled Tarvik v7310QX-2"

# The time of each poll line, in seconds since the epoch ("dd.mm.yy HH:MM:SS").
poll_times() {
    sed -n 's/^\([0-9][0-9]\)\.\([0-9][0-9]\)\.\([0-9][0-9]\) \([0-9:]\{8\}\).*/20\3-\2-\1 \4/p' \
        "$log" | while read -r day time; do date -d "$day $time" +%s; done
}
wait_for '^[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9] ' "$log" 2

# Wine may have made the window's X window anew since it was found.
window=$(xdotool search --name "$title" | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
before="$X,$Y"
# The caption: the middle of the window's width, a few pixels below its top.
x=$((X + WIDTH / 2)) y=$((Y + 10))
xdotool mousemove --sync "$x" "$y"
pressed=$(date +%s)
xdotool mousedown 1
for step in $(seq 20); do
    xdotool mousemove "$((x + 4 * step))" "$((y + 3 * step))"
    sleep 0.25
done
xdotool mouseup 1
released=$(date +%s)
sleep 1.5  # the poll after the drag is logged

window=$(xdotool search --name "$title" | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$X,$Y" != "$before" ] || fail "the window did not move: the caption was not dragged"
xdotool key --window "$window" Escape 2>/dev/null || true
wait_end "$program" 200 || fail "the program did not end on Esc"

grep -q 'NO CONNECTION' "$log" && fail "a poll during the drag had no answer"
# Every second from the press to the release has its poll: no two poll
# lines from a second before the press on are more than 2 s apart, and the
# last is after the release.
last=""
during=0
for t in $(poll_times); do
    [ "$t" -lt $((pressed - 1)) ] && continue
    [ -z "$last" ] || [ $((t - last)) -le 2 ] || fail "no poll logged from $last to $t"
    [ "$t" -le "$released" ] && during=$((during + 1))
    last=$t
done
[ -n "$last" ] && [ "$last" -ge "$released" ] || fail "no poll logged after the drag"
[ "$during" -ge 4 ] || fail "$during polls logged during the 5 s drag"
echo "dragged from $before to $X,$Y for $((released - pressed)) s: $during polls logged meanwhile, none without answer"
