#!/bin/sh
# Runs a program of the Windows build under Wine, in the given prefix (the
# build tree's own), with no display and no debugging chatter. Wine makes
# the prefix on first use; scripts/test --windows makes it before the tests.
# A program that is not a Windows one runs as it is: Wine would start it
# but lose its exit status, so a failing test would pass.
# usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENT...]
set -eu
WINEPREFIX=$1
shift
case $1 in
    *.exe | *.EXE) ;;
    *) exec "$@" ;;
esac
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
