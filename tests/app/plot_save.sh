#!/usr/bin/env bash
# `tarvik --plot LOG --save` on a log the console wrote (by
# headless_against_sim): an SVG with a path a series, titled with the
# series' pane name, and a PNG, each of the size asked for; under names of
# plain ASCII and under names beyond it (Linux: through Qt, with no display) (which Windows must be handed as
# UTF-16, not in its ANSI code page).
# usage: plot_save.sh TARVIK LOG WORKDIR
set -euo pipefail
tarvik=$1 log=$2 work=$3
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
err="$work/save.err"
shown=("$err")
[ -s "$log" ] || fail "no log to plot at $log"
# The names reach the program, and its files the disk, as UTF-8.
export LC_ALL=C.UTF-8

for name in out 'Mätlogg-ñ-日本'; do
    in="$work/$name.tsv"
    cp "$log" "$in"
    rm -f "$work/$name.svg" "$work/$name.png"
    timeout 60 "$tarvik" --plot "$in" --save "$work/$name.svg" --size 900x1300 2>"$err" ||
        fail "$name: --save $name.svg failed"
    grep -q '<svg xmlns="http://www.w3.org/2000/svg" width="900" height="1300"' \
        "$work/$name.svg" || fail "$name: no SVG of 900x1300"
    grep -q '<title>U +12V</title></path>' "$work/$name.svg" ||
        fail "$name: no path of U +12V in the SVG"
    timeout 60 "$tarvik" --plot "$in" --save "$work/$name.png" --size 800x1200 2>"$err" ||
        fail "$name: --save $name.png failed"
    [ "$(head -c 8 "$work/$name.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "$name.png is no PNG"
    # The PNG's width and height, big-endian in its header.
    [ "$(od -An -tu1 -j16 -N8 "$work/$name.png" | tr -s ' ' | sed 's/^ //')" = \
        "0 0 3 32 0 0 4 176" ] || fail "$name.png is not 800x1200"
    # A file was asked for: the toolkit's own notes are not shown. (Wine
    # has notes of its own.)
    [ -n "${TARVIK_UNDER_WINE:-}" ] || [ ! -s "$err" ] || fail "$name.png: the run printed"
done
# Without --size: the size the usage gives, 1200x1400.
timeout 60 "$tarvik" --plot "$log" --save "$work/default.png" 2>"$err" || fail "default.png failed"
[ "$(od -An -tu1 -j16 -N8 "$work/default.png" | tr -s ' ' | sed 's/^ //')" = \
    "0 0 4 176 0 0 5 120" ] || fail "default.png is not 1200x1400"
echo "the trends of a log saved as SVG and PNG, under ASCII and non-ASCII names"
