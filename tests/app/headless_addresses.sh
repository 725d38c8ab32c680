#!/usr/bin/env bash
# The terminal console refuses, before anything is sent, an address that
# would reach another device than the one typed, or many devices or none:
# the resolver's old numeric forms (octal, hex, fewer than four numbers),
# the unspecified address, and a bad port. Each run names the address and
# the cause on stderr, every stderr line carries the program's name, a Set
# typed meanwhile says that nothing was sent, and tarvik-sim on 127.0.0.1,
# which each numeric form below would reach through the resolver, receives
# no request. The same address written as a dotted quad reaches it.
# usage: headless_addresses.sh TARVIK TARVIK_SIM WORKDIR
set -euo pipefail
tarvik=$1 sim=$2 work=$3
source "$(dirname "$0")/lib.sh"
# A cold Wine is slow to start.
wait_tenths=300
mkdir -p "$work"
sim_ctl="$work/sim.ctl" sim_out="$work/sim.out" err="$work/console.err"
rm -f "$sim_ctl" "$sim_out" "$err"
mkfifo "$sim_ctl"
fifos=("$sim_ctl")
shown=("$err" "$sim_out")

start_sim "$sim_ctl" "$sim_out" || fail "tarvik-sim did not start"

octal="has a leading zero, which some systems read as octal"
cases=(
    "0177.0.0.1:$port|0177 $octal"
    "127.0.0.01:$port|01 $octal"
    "127.1:$port|an IPv4 address has four numbers, not 2"
    "0x7f.0.0.1:$port|a numeric IPv4 address is four decimal numbers from 0 to 255 separated by dots"
    "0.0.0.0:$port|the unspecified address, which names no device"
    "127.0.0.1:99999|the port must be a number from 1 to 65535"
)
for case in "${cases[@]}"; do
    address=${case%%|*} cause=${case#*|}
    status=0
    printf 'set\n' | "$tarvik" --headless --address "$address" --polls 3 --interval 200 \
        >/dev/null 2>"$err" || status=$?
    [ "$status" -eq 1 ] || fail "$address: exit status $status, not 1"
    grep -qxF "tarvik: Can't resolve hostname: $address: $cause" "$err" ||
        fail "$address: the refusal is not named with its cause"
    grep -qxF "tarvik: Set failed: nothing was sent: no usable agent address" "$err" ||
        fail "$address: the Set does not say that nothing was sent"
    grep -v '^tarvik: ' "$err" | tr -d '\r' | grep -q . &&
        fail "$address: a line without the program's name"
    received=$(sim_requests "$sim_out")
    [ "$received" -eq 0 ] || fail "$address: $received requests reached the simulator"
done

"$tarvik" --headless --address "127.0.0.1:$port" --polls 1 >/dev/null 2>"$err" ||
    fail "the dotted quad did not reach the simulator"
echo "refused ${#cases[@]} addresses before sending; 127.0.0.1:$port answered"
