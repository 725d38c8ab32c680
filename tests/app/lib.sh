# Shared by the shell tests that run tarvik and tarvik-sim (tests/app/*.sh,
# tests/win32/window_program.sh): failing with the files that explain it,
# waiting on a file or a process rather than for a fixed time, the
# simulator's start and its port, and ending everything the test started.
# Source it after setting `sim` (the simulator program) where it is used.
# shellcheck shell=bash

# The stop request a test sends: SIGTERM, or, under Wine (TARVIK_UNDER_WINE
# set), which ends a program at once on SIGTERM, Ctrl+C, which Wine makes of
# SIGINT.
term=TERM
[ -n "${TARVIK_UNDER_WINE:-}" ] && term=INT

# How long wait_for and start_sim wait at most, in tenths of a second.
wait_tenths=100

# Files whose end fail() shows; each test names its own.
shown=()

# fail MESSAGE: reports MESSAGE and the end of each file in `shown`, and ends
# the test with status 1.
fail() {
    echo "FAIL: $*"
    local f
    for f in "${shown[@]}"; do
        echo "--- $f:"
        [ -f "$f" ] && tail -n 30 "$f"
    done
    exit 1
}

# Processes the test started and FIFOs it made: on exit the descriptors 3 to 5
# (the tests' writers into FIFOs) are closed, each process is sent the stop
# request, killed if it still runs 2 s later, and waited for, and the FIFOs
# are removed.
pids=()
fifos=()
end_test() {
    exec 3>&- 4>&- 5>&-
    local pid
    for pid in "${pids[@]}"; do
        kill "-$term" "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait_end "$pid" 20 || kill -KILL "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    [ ${#fifos[@]} -eq 0 ] || rm -f "${fifos[@]}"
}
trap end_test EXIT

# count PATTERN FILE: how many lines of FILE match PATTERN.
count() { grep -c -- "$1" "$2" || true; }
# The lines of FILE (the console's stderr) other than its journal's events.
not_journal() { grep -vc '^tarvik: journal: ' "$1" || true; }

# wait_for PATTERN FILE [N]: waits until FILE has at least N (default 1) lines
# matching PATTERN; fails after wait_tenths.
wait_for() {
    local pattern=$1 file=$2 n=${3:-1}
    for _ in $(seq "$wait_tenths"); do
        [ "$(count "$pattern" "$file")" -ge "$n" ] && return 0
        sleep 0.1
    done
    fail "no '$pattern' (x$n) in $file"
}

# wait_end PID TENTHS: waits at most TENTHS tenths of a second for PID to end;
# status 1 when it still runs.
wait_end() {
    local pid=$1 tenths=$2
    for _ in $(seq "$tenths"); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$pid" 2>/dev/null
}

# stop_within_a_second SIGNAL PID: sends SIGNAL to PID (a child of the test),
# which must end within a second with status 0.
stop_within_a_second() {
    local signal=$1 pid=$2
    kill "-$signal" "$pid"
    wait_end "$pid" 10 || fail "still running 1 s after SIG$signal"
    wait "$pid" || fail "exit status $? after SIG$signal"
}

# sim_port OUTPUT: the port tarvik-sim said it answers on (IPv4 or IPv6
# loopback) in OUTPUT, or nothing before it has.
sim_port() {
    sed -n 's/.* on \(127\.0\.0\.1\|\[::1\]\):\([0-9]*\),.*/\2/p' "$1" 2>/dev/null | head -n 1
}

# start_sim INPUT OUTPUT [OPTION...]: starts tarvik-sim on a port of its own
# with its commands from INPUT (a FIFO is then opened as descriptor 3, the
# test's writer) and everything it prints in OUTPUT; sets sim_pid, and port
# once the simulator has said it. Status 1 when the simulator ended without
# saying it; fails when it says nothing within wait_tenths.
start_sim() {
    local input=$1 output=$2
    shift 2
    # shellcheck disable=SC2154  # sim: set by the test that sources this
    "$sim" --port 0 "$@" <"$input" >"$output" 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    [ -p "$input" ] && exec 3>"$input"
    for _ in $(seq "$wait_tenths"); do
        port=$(sim_port "$output")
        [ -n "$port" ] && return 0
        kill -0 "$sim_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    fail "tarvik-sim did not say its port"
}

# sim_status OUTPUT WORD: the line that starts with WORD in the simulator's
# next `status` (written into OUTPUT; its last line is the request count).
sim_status() {
    local before
    before=$(count '^requests received' "$1")
    echo status >&3
    wait_for '^requests received' "$1" $((before + 1))
    grep "^$2" "$1" | tail -n 1
}

# sim_requests OUTPUT: the simulator's request count, from its next `status`.
sim_requests() {
    sim_status "$1" 'requests received' | sed 's/^requests received \([0-9]*\),.*/\1/'
}
