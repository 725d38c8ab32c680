#!/bin/sh
# Runs a Windows program under Wine on the display xvfb-run gave it, in the
# given prefix (made on first use), and stops that prefix's wineserver
# afterwards, before xvfb-run takes the display away.
# usage: wine-on-display.sh PREFIX PROGRAM.exe [ARGUMENT...]
set -eu
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
# Windows unmanaged by a window manager: there is none on the virtual
# display, and Wine would wait two seconds for one at every hidden window.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
status=0
wine "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
