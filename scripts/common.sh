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

# build PRESET DIR: configures DIR from the preset (its own binary folder
# given again, or another one) and builds it.
build() {
    local preset=$1 dir=$2
    cmake -S "$ROOT" --preset "$preset" -B "$dir" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}
