#!/usr/bin/env bash
# `tarvik --plot LOG --save` on a log the console wrote (by
# headless_against_sim): an SVG with a path a series, titled with the
# series' pane name, and a PNG, each of the size asked for.
# usage: plot_save.sh TARVIK LOG WORKDIR
set -euo pipefail
tarvik=$1 log=$2 work=$3
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
err="$work/save.err"
shown=("$err")
[ -s "$log" ] || fail "no log to plot at $log"

rm -f "$work/out.svg" "$work/out.png"
timeout 60 "$tarvik" --plot "$log" --save "$work/out.svg" --size 900x1300 2>"$err" ||
    fail "--save out.svg failed"
grep -q '<svg xmlns="http://www.w3.org/2000/svg" width="900" height="1300"' "$work/out.svg" ||
    fail "no SVG of 900x1300"
grep -q '<title>U +12V</title></path>' "$work/out.svg" || fail "no path of U +12V in the SVG"
timeout 60 "$tarvik" --plot "$log" --save "$work/out.png" --size 800x1200 2>"$err" ||
    fail "--save out.png failed"
[ "$(head -c 8 "$work/out.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "out.png is no PNG"
# The PNG's width and height, big-endian in its header.
[ "$(od -An -tu1 -j16 -N8 "$work/out.png" | tr -s ' ' | sed 's/^ //')" = "0 0 3 32 0 0 4 176" ] ||
    fail "out.png is not 800x1200"
echo "the trends of a log saved as SVG and PNG"
