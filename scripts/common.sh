# Shared by the set-up scripts: installs the Debian packages a script needs
# when any is missing, and configures and builds one build tree from its
# preset in CMakePresets.json.
# shellcheck shell=bash
# shellcheck disable=SC2034  # the package lists are read by the scripts that source this

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

# Every build: the compiler and CMake.
BUILD_PACKAGES=(cmake g++ make pkg-config)
# The default and asan trees: the Qt window and the test programs.
WINDOW_PACKAGES=(qt6-base-dev qt6-charts-dev libqt6opengl6-dev)
GTEST_PACKAGES=(libgtest-dev libgmock-dev)
# Every Linux tree: tarvik-exporter's HTTP server and TLS (libmicrohttpd,
# with GnuTLS), the web configuration file's YAML, and crypt() for its
# bcrypt hashes.
EXPORTER_PACKAGES=(libmicrohttpd-dev libyaml-dev libcrypt-dev)
# Running the suite: the interop tests' independent SNMP implementation,
# the locales a number-format test builds its decimal-comma locale with,
# and the message bus the notification tests run a private one of.
TEST_RUN_PACKAGES=(python3 python3-pysnmp4 locales dbus)
# The end-to-end test of the Prometheus files: Debian's Prometheus (with
# promtool), snmp_exporter and Alertmanager.
FLEET_PACKAGES=(prometheus prometheus-snmp-exporter prometheus-alertmanager)
# The MIB's checks: smilint, the SMIv2 base modules it imports (erlang-snmp is
# the package that ships them as text), and YAML for comparing the exporter
# generator's module with snmp.yml.
MIB_PACKAGES=(smitools erlang-snmp python3-yaml)
# The .deb's check: cpack's dependency scan (dpkg-shlibdeps) and lintian.
DEB_CHECK_PACKAGES=(dpkg-dev lintian)
# The asan and fuzz trees: clang and its sanitizer and libFuzzer runtimes.
CLANG_PACKAGES=(clang libclang-rt-14-dev)
# scripts/test --windows: the mingw-w64 cross compiler (posix threads, for
# std::thread) and its windres, Wine to run what it builds on a virtual X
# display, GoogleTest's sources to build for Windows, a window finder for the
# window's tests, and Python for the checks of the programs and the zip.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64 binutils-mingw-w64-x86-64 wine wine64
                  xvfb xauth xdotool googletest python3)
# scripts/bench: Google Benchmark, and Python for the comparison it prints.
BENCH_PACKAGES=(libbenchmark-dev python3)
# scripts/screenshot: a virtual X display, a window lister and a grabber.
SCREENSHOT_PACKAGES=(xvfb xauth x11-utils imagemagick)
# scripts/screenshot --windows: with the Windows build's, a window finder.
WINDOWS_SCREENSHOT_PACKAGES=(xvfb xauth xdotool imagemagick)
# scripts/key-delay: a virtual X display, a key typist for the fields, and
# Python's X library for the keys it times and the pictures of the field.
KEY_DELAY_PACKAGES=(xvfb xauth xdotool python3 python3-xlib)
# scripts/check-format.
FORMAT_PACKAGES=(clang-format)

# install_packages PACKAGE...: installs those not yet installed.
install_packages() {
    local missing=() p
    for p in "$@"; do
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

# build PRESET [TARGET...]: configures the preset's tree and builds it, each
# step through the preset; with TARGETs, only those and what they link, built
# exactly as the whole tree builds them, so a later build of the tree reuses
# them. BINARY_DIR is then the tree, as CMake resolved the preset's binaryDir
# (the one place it is written). Each step says what it does before the wait.
build() {
    local preset=$1 out
    shift
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    echo "== configuring (preset $preset)"
    out=$(cd "$ROOT" && cmake --preset "$preset") || {
        printf '%s\n' "$out"
        return 1
    }
    BINARY_DIR=$(sed -n 's/^-- Build files have been written to: //p' <<<"$out" | tail -n 1)
    [ -n "$BINARY_DIR" ] || {
        printf '%s\n' "$out"
        echo "cmake --preset $preset named no build tree" >&2
        return 1
    }
    echo "== building ${*:-everything} in ${BINARY_DIR#"$ROOT"/}/, $JOBS jobs at a time"
    (cd "$ROOT" && cmake --build --preset "$preset" -j "$JOBS" "${targets[@]}")
}

# run_tests PRESET JOBS [ARGUMENT...]: the tree's suite, JOBS tests at a
# time, through the test preset (its environment and output options).
run_tests() {
    local preset=$1 jobs=$2
    shift 2
    (cd "$ROOT" && ctest --preset "$preset" -j "$jobs" "$@")
}

# cache_value NAME: the value of NAME in the cache of the tree last built.
cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$BINARY_DIR/CMakeCache.txt"
}
