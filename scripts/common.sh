# Shared by the set-up scripts: installs the Debian packages the build needs
# when any is missing, and configures and builds one build tree.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

PACKAGES=(
    cmake g++ make pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    python3 python3-pysnmp4 locales
    qt6-base-dev xvfb xauth x11-utils imagemagick dpkg-dev
)

install_packages() {
    local missing=() p
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "== installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -DTARVIK_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}
