#!/usr/bin/env bash
# The window program end to end, under Wine on the display the run was given:
# `tarvikw.exe --demo` with Get and Start pressed opens the main window,
# and Esc closes it, ends the program and writes the demo's address to the
# history in %APPDATA%\Tarvik.
# usage: window_program.sh WINE-RUN.SH PREFIX TARVIKW.EXE
set -euo pipefail
run=$1 prefix=$2 exe=$3
source "$(dirname "$0")/../app/lib.sh"
export TARVIK_DEMO_AUTOSTART=1
ini="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Tarvik/tarvikw-demo.INI"
rm -f "$ini"
# What the program and Wine say, shown if the test fails.
errors=$(mktemp)
trap 'end_test; rm -f "$errors"' EXIT
shown=("$errors")
"$run" "$prefix" "$exe" --demo 2>"$errors" &
program=$!
pids+=("$program")
window=$(timeout 60 xdotool search --sync --name '^Tarvik v7310QX-2$' | head -1) || true
[ -n "$window" ] || fail "no window titled Tarvik v7310QX-2"
sleep 2  # a few polls
# Wine may have made the window's X window anew meanwhile: find it again
# for the key.
for _ in 1 2 3 4 5; do
    window=$(xdotool search --name '^Tarvik v7310QX-2$' | tail -n 1) || true
    [ -n "$window" ] && xdotool key --window "$window" Escape 2>/dev/null && break
    sleep 0.2
done
wait_end "$program" 200 || fail "the program did not end on Esc"
shown=("$ini" "$errors")
grep -q '^ip0=127.0.0.1' "$ini" || fail "no ip0=127.0.0.1 in $ini"
echo "window shown, closed by Esc, history written"
