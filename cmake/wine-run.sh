#!/bin/sh
# Runs a program of the Windows build under Wine, in the given prefix (the
# build tree's own), with no display and no debugging chatter. Wine makes
# the prefix on first use; scripts/test --windows makes it before the tests.
# usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENT...]
set -eu
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
