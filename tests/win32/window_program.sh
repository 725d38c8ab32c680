#!/bin/sh
# The window program end to end, under Wine on the display the run was given:
# `tarvikw.exe --demo` with Get and Start pressed opens the main window,
# and Esc closes it, ends the program and writes the demo's address to the
# history in %APPDATA%\Tarvik.
# usage: window_program.sh WINE-RUN.SH PREFIX TARVIKW.EXE
set -eu
run=$1
prefix=$2
exe=$3
export TARVIK_DEMO_AUTOSTART=1
ini="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Tarvik/tarvikw-demo.INI"
rm -f "$ini"
"$run" "$prefix" "$exe" --demo 2>/dev/null &
program=$!
stop() {
    kill "$program" 2>/dev/null || true
}
trap stop EXIT
window=$(timeout 60 xdotool search --sync --name '^Tarvik v7310QX-2$' | head -1)
[ -n "$window" ] || { echo "no window titled Tarvik v7310QX-2"; exit 1; }
sleep 2  # a few polls
xdotool key --window "$window" Escape
waited=0
while kill -0 "$program" 2>/dev/null; do
    [ $waited -lt 200 ] || { echo "the program did not end on Esc"; exit 1; }
    sleep 0.1
    waited=$((waited + 1))
done
grep -q '^ip0=127.0.0.1' "$ini" || { echo "no ip0=127.0.0.1 in $ini"; cat "$ini" 2>/dev/null; exit 1; }
echo "window shown, closed by Esc, history written"
