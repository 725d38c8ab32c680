#!/usr/bin/env bash
# The operator's commands on tarvik's standard input, against tarvik-sim:
# Set after a poll without answer writes only what the operator changed,
# Set before any answered poll is refused,
# unknown commands, the key, the end of input, a stop signal in the middle
# of an answer wait, a log that cannot be written, and the alarm lines.
# usage: headless_commands.sh TARVIK TARVIK_SIM WORKDIR
# With TARVIK_UNDER_WINE set the programs are Windows programs run by Wine:
# SIGTERM ends them at once (Windows has no such request), so Ctrl+C, which
# Wine makes of SIGINT, stands in for it, and there is no /dev/full.
set -euo pipefail
tarvik=$1 sim=$2 work=$3
source "$(dirname "$0")/lib.sh"
mkdir -p "$work"
sim_ctl="$work/sim.ctl" sim_out="$work/sim.out"
commands="$work/console.cmd" out="$work/console.out" err="$work/console.err"
alarm_commands="$work/alarm.cmd" alarm_out="$work/alarm.out" alarm_err="$work/alarm.err"
unread_commands="$work/unread.cmd" unread_out="$work/unread.out" unread_err="$work/unread.err"
rm -f "$sim_ctl" "$sim_out" "$commands" "$out" "$err" "$alarm_commands" "$alarm_out" "$alarm_err" \
    "$unread_commands" "$unread_out" "$unread_err"
mkfifo "$sim_ctl" "$commands" "$alarm_commands" "$unread_commands"
fifos=("$sim_ctl" "$commands" "$alarm_commands" "$unread_commands")
shown=("$out" "$err" "$sim_out")

# The block printed under the last heading HEADING.
last_block() {
    awk -v h="== $1 ==" '$0 == h { block = ""; on = 1; next }
                         /^== / { on = 0 } on { block = block $0 "\n" }
                         END { printf "%s", block }' "$out"
}

# The device's six switches as the simulator's next `status` shows them.
sim_switches() {
    sim_status "$sim_out" switches: | sed 's/^switches: \([0-9 ]*\),.*/\1/'
}

# Waits until the simulator has received more than BEFORE requests: once it
# is silent, the console is then waiting for the answer.
wait_request() {
    local before=$1
    for _ in $(seq "$wait_tenths"); do
        [ "$(sim_requests "$sim_out")" -gt "$before" ] && return 0
        sleep 0.05
    done
    fail "no request reached tarvik-sim"
}

start_sim "$sim_ctl" "$sim_out" --family 1000 || fail "tarvik-sim did not start"

# Radio on, heater off, and two switches the console has no box for.
printf 'switch 1 on\nswitch 2 on\nswitch 3 off\nswitch 4 on\n' >&3
[ "$(sim_switches)" = "1 1 0 1 0 0" ] || fail "switches not set up"

"$tarvik" --headless --address "127.0.0.1:$port" --interval 100 <"$commands" >"$out" 2>"$err" &
console=$!
pids+=("$console")
exec 4>"$commands"
wait_for '^== Poll 2 ==' "$out"
last_block "Poll 2" | grep -qx 'Radio: on  Heater: off' || fail "boxes after a poll"

# Unknown or malformed lines: one line each on stderr, nothing run.
printf 'radio maybe\n\nset now\nreset\n' >&4
wait_for '^== reset ==' "$out"
[ "$(grep -cx 'tarvik: unknown command: radio maybe' "$err")" -eq 1 ] || fail "radio maybe"
[ "$(grep -cx 'tarvik: unknown command: set now' "$err")" -eq 1 ] || fail "set now"
[ "$(not_journal "$err")" -eq 2 ] || fail "stderr has more than the two lines"
[ "$(count '^== set ==' "$out")" -eq 0 ] || fail "a malformed set ran"

# The key sent shows as identification item 8 after Get.
printf 'key Operator key 7\nget\n' >&4
wait_for '^== get ==' "$out"
last_block get | sed -n '/^-- Identification --$/,/^-- Temperature --$/p' |
    grep -qx 'Operator key 7' || fail "the key is not in the identification after get"

# The device falls silent; once a poll has shown NO CONNECTION the
# operator stops polling, the device answers again, and the operator
# turns the heater on and sets.
echo "silent on" >&3
wait_for '^NO CONNECTION$' "$out"
echo stop >&4
echo "silent off" >&3
printf 'heater on\nset\n' >&4
wait_for '^== set ==' "$out"
last_block set | grep -qx 'Radio: on  Heater: on' || fail "boxes at set"
[ "$(sim_switches)" = "1 1 1 1 0 0" ] || fail "set wrote more than the heater"
grep -q 'failed' "$err" && fail "set failed"

# Start resumes polling; the end of input ends nothing.
echo start >&4
wait_for '^== start ==' "$out"
last_block start | grep -qx 'Radio: on  Heater: on' || fail "boxes after start"
polls=$(count '^== Poll' "$out")
exec 4>&-
wait_for '^== Poll' "$out" $((polls + 2))

# A stop signal in the middle of an answer wait: the device is silent and
# polls come every 100 ms, so a request that reaches it is waiting its 2 s.
echo "silent on" >&3
wait_request "$(sim_requests "$sim_out")"
printed=$(wc -c <"$out")
stop_within_a_second INT "$console"
tail -c +"$((printed + 1))" "$out" | grep -q 'NO CONNECTION' && fail "the cut-short poll was shown"

# The same inside the poll of Start, with SIGTERM.
requests=$(sim_requests "$sim_out")
"$tarvik" --headless --address "127.0.0.1:$port" </dev/null >"$work/term.out" 2>&1 &
pids+=($!)
wait_request "$requests"
stop_within_a_second $term $!
grep -q '^== Poll' "$work/term.out" && fail "the poll of Start was shown"
echo "silent off" >&3

# A log that cannot be written is reported once, however many polls fail it.
if [ -z "${TARVIK_UNDER_WINE:-}" ]; then
    "$tarvik" --headless --address "127.0.0.1:$port" --interval 100 --log /dev/full --polls 2 \
        </dev/null >/dev/null 2>"$work/full.err" || fail "log run exited with $?"
    line="tarvik: Can't write log file: /dev/full: No space left on device"
    [ "$(grep -cxF "$line" "$work/full.err")" -eq 1 ] ||
        fail "expected one \"$line\": $(cat "$work/full.err")"
fi

# Alarms: one line on stderr per transition. A rail pinned high raises once
# however many polls see it, and again after Reset; the device falling
# silent and answering again give one line each, and the latched rail
# raises nothing anew; so do the receiver's lock lost and regained.
out=$alarm_out err=$alarm_err
shown=("$out" "$err" "$sim_out")
echo "rail 12v 14500" >&3
"$tarvik" --headless --address "127.0.0.1:$port" --interval 100 <"$alarm_commands" >"$out" 2>"$err" &
console=$!
pids+=("$console")
exec 5>"$alarm_commands"
rail_line='tarvik: alarm: U +12V 14.5 V outside 10.0..14.0 V'
no_answer="tarvik: alarm: no answer from 127.0.0.1:$port"
answer_again="tarvik: alarm cleared: no answer from 127.0.0.1:$port"
lines() { grep -cxF -- "$1" "$err" || true; }
# Waits until N more polls than now have been shown.
wait_polls() { wait_for '^== Poll' "$out" $(($(count '^== Poll' "$out") + $1)); }
wait_for "^$rail_line\$" "$err"
wait_polls 3
[ "$(lines "$rail_line")" -eq 1 ] || fail "the pinned rail raised more than once"
echo reset >&5
wait_for '^== reset ==' "$out"
wait_polls 2
[ "$(lines "$rail_line")" -eq 2 ] || fail "Reset did not re-arm the rail's alarm once"
echo "silent on" >&3
wait_for "^$no_answer\$" "$err"
wait_polls 2
echo "silent off" >&3
wait_for "^$answer_again\$" "$err"
wait_polls 2
[ "$(lines "$no_answer")" -eq 1 ] || fail "expected one no-answer alarm"
[ "$(lines "$answer_again")" -eq 1 ] || fail "expected one cleared line"
[ "$(lines "$rail_line")" -eq 2 ] || fail "the latched rail raised again after the silence"
# The operator switching the radio off and on again: the receiver loses
# lock and regains it, one line each. Polling stops while the box changes:
# a poll between the box and Set would put the device's state back in it.
lost_lock='tarvik: alarm: receiver lost lock'
printf 'stop\nradio off\nset\nstart\n' >&5
wait_for "^$lost_lock\$" "$err"
wait_polls 2
printf 'stop\nradio on\nset\nstart\n' >&5
wait_for "^tarvik: alarm cleared: receiver lost lock\$" "$err"
wait_polls 2
[ "$(lines "$lost_lock")" -eq 1 ] || fail "expected one lost-lock alarm"
[ "$(not_journal "$err")" -eq 6 ] || fail "stderr has more than the six alarm lines"
echo "rail off" >&3
stop_within_a_second INT "$console"

# Set never writes switches it has not read. Switches 1, 2, 5 and 6 on and
# the device silent, so the poll of Start goes unanswered; the device
# answers again, and Radio on, Heater on, Set is refused and writes
# nothing. Once a poll has answered, Set writes the heater and keeps the
# four switches without a box as the device has them.
exec 5>&-
out=$unread_out err=$unread_err
shown=("$out" "$err" "$sim_out")
printf 'switch 1 on\nswitch 2 on\nswitch 3 off\nswitch 4 off\nswitch 5 on\nswitch 6 on\n' >&3
echo "silent on" >&3
[ "$(sim_switches)" = "1 1 0 0 1 1" ] || fail "switches not set up for the unread Set"
"$tarvik" --headless --address "127.0.0.1:$port" --interval 600000 <"$unread_commands" >"$out" \
    2>"$err" &
console=$!
pids+=("$console")
exec 5>"$unread_commands"
wait_for '^NO CONNECTION$' "$out"
echo "silent off" >&3
printf 'radio on\nheater on\nset\n' >&5
wait_for '^== set ==' "$out"
unread="tarvik: Set refused: this device's switches have not been read yet; Start, and Set once a poll has answered"
[ "$(grep -cxF -- "$unread" "$err")" -eq 1 ] || fail "no refusal of the unread Set"
[ "$(sim_switches)" = "1 1 0 0 1 1" ] || fail "a Set before any answered poll wrote the switches"
printf 'start\nheater on\nset\n' >&5
wait_for '^== set ==' "$out" 2
[ "$(sim_switches)" = "1 1 1 0 1 1" ] || fail "Set after an answered poll"
[ "$(grep -v '^tarvik: journal: ' "$err" | grep -c 'Set ')" -eq 1 ] ||
    fail "the second Set was not taken"
stop_within_a_second INT "$console"

echo "operator commands against tarvik-sim: all checks passed"
