#!/usr/bin/env bash
# The .deb that cpack makes from this build, under Debian's lintian: no
# error, no program without a manual page, and no hardening tag even among
# the informational ones; and the icon in every size of the hicolor theme.
#   deb_check.sh CPACK_CONFIG WORK_DIR
set -euo pipefail
config=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
if ! cpack --config "$config" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
debs=("$work"/*.deb)
# --fail-on none: the exit status then says only whether lintian ran.
lintian --fail-on none --info --display-info "${debs[@]}" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; echo "lintian did not run"; exit 1; }
cat "$work/lintian.log"
if grep -E '^E: |no-manual-page|hardening-' "$work/lintian.log"; then
    echo "lintian: the package has errors, a program without a manual page or without hardening"
    exit 1
fi
dpkg-deb -c "${debs[0]}" >"$work/contents.txt"
for size in 16 32 48 64 128 256; do
    if ! grep -q "/hicolor/${size}x${size}/apps/tarvik.png$" "$work/contents.txt"; then
        echo "no ${size}x${size} icon in the package"
        exit 1
    fi
done
# Every folder of the package holds something: a link in the installed
# README to an empty folder leads nowhere.
empty=$(awk '{print $6}' "$work/contents.txt" | LC_ALL=C sort |
    awk 'dir != "" { if (index($0, dir) != 1) print dir; dir = "" }
         /\/$/ { dir = $0 }
         END { if (dir != "") print dir }')
if [ -n "$empty" ]; then
    echo "empty folders in the package:"
    echo "$empty"
    exit 1
fi
echo "lintian: no error, a manual page for every program (${debs[*]##*/})"
