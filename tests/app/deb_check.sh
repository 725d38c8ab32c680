#!/usr/bin/env bash
# The .deb that cpack makes from this build, under Debian's lintian: no
# error, and no program without a manual page.
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
lintian --fail-on none --info "${debs[@]}" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; echo "lintian did not run"; exit 1; }
cat "$work/lintian.log"
if grep -E '^E: |no-manual-page' "$work/lintian.log"; then
    echo "lintian: the package has errors or a program without a manual page"
    exit 1
fi
echo "lintian: no error, a manual page for every program (${debs[*]##*/})"
