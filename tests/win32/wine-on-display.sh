#!/bin/sh
# Runs a Windows program under Wine on the display xvfb-run gave it, in the
# given prefix (made on first use), and stops that prefix's wineserver
# afterwards, before xvfb-run takes the display away.
# usage: wine-on-display.sh PREFIX PROGRAM.exe [ARGUMENT...]
set -eu
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
status=0
wine "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
