#!/bin/sh
# Runs a program of the Windows build under Wine, in the given prefix (the
# build tree's own), with no debugging chatter. Wine makes the prefix on
# first use; cmake/wine-session.sh makes it once before the tests and keeps
# one Wine server for them all.
# The program gets the X display it is given (scripts/test --windows gives
# the whole run a virtual one with xvfb-run): the window program's tests
# need one, and Wine's desktop process, shared by every program of the
# prefix, draws on the display it started with.
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
# No Mono, no Gecko, and no menu entries made for the prefix's programs.
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WAYLAND_DISPLAY
exec wine "$@"
