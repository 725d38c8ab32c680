#!/usr/bin/env bash
# Runs a command (the test suite, the screenshot) with one Wine server kept
# alive for the given prefix from start to end, so that every program the
# command starts under Wine (cmake/wine-run.sh) joins the same server. Wine
# otherwise ends its server a moment after the last program ends, and a
# program started in that moment fails to connect ("recvmsg: Connection
# reset by peer"). The prefix is made here when missing, once, before
# anything runs in it side by side. The server, and every Windows program
# still running, is ended when the command ends, fails or is interrupted.
#
# Run it on the X display the Windows programs are to use (scripts/test
# runs it under xvfb-run): Wine's desktop process starts with the prefix,
# lives as long as the server and draws every window on that display.
# usage: wine-session.sh PREFIX COMMAND [ARGUMENT...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all

end_server() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
trap end_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# The prefix is made by a server of its own, which saves the registry when
# it ends; the lasting one starts after it.
if [ ! -f "$prefix/system.reg" ]; then
    echo "== making the Wine prefix in $prefix"
    start=$(date +%s%N)
    mkdir -p "$prefix"
    "$here/wine-run.sh" "$prefix" wineboot.exe --init >/dev/null 2>&1
    wineserver -w
    echo "== Wine prefix made in $(( ($(date +%s%N) - start) / 1000000 )) ms"
fi
wineserver -p
# Wine's own lasting processes (services, the desktop) start now, apart from
# the command's: started by a test's program they would hold its output
# open, and the test would wait for them until its time ran out.
"$here/wine-run.sh" "$prefix" wineboot.exe </dev/null >/dev/null 2>&1
# Windows unmanaged by a window manager: there is none on the virtual
# display, and Wine would wait two seconds for one at every hidden window.
if ! grep -q '"Managed"="N"' "$prefix/user.reg" 2>/dev/null; then
    "$here/wine-run.sh" "$prefix" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        </dev/null >/dev/null 2>&1
fi
"$@"
