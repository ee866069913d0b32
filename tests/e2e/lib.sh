# End-to-end support: the unmodified daemon in the sandbox with the twin, awaited through what the twin saw.
# shellcheck disable=SC2034 # the names below are for the scripts that source this
set -uo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
sim_dir=$LINEWATCH_SIM_DIR
events=/tmp/events
outside=/tmp/outside
limit_ms=10000
# The build's tick of a syslog line (it waits two).
read -r _ _ syslog_tick_ms <"$LINEWATCH_BUILD/limits/syslog_tick.h"

sim() { "$src/sim/linewatch-sim" "$@"; }
# The nine inputs in id order.
names=(di pwr1 pwr2 dcd1 dcd2 dsr1 dsr2 lan1 lan2)
email_keys=(email_di1 email_pow1 email_pow2 email_dcd1 email_dcd2 email_dsr1 email_dsr2 email_lan1 email_lan2)
trap_keys=(snmp_trap_di snmp_trap_pow1 snmp_trap_pow2 snmp_trap_dcd1 snmp_trap_dcd2 snmp_trap_dsr1 snmp_trap_dsr2 snmp_trap_lan1 snmp_trap_lan2)
relay_keys=(relay_di relay_pow1 relay_pow2 relay_dcd1 relay_dcd2 relay_dsr1 relay_dsr2 relay_lan1 relay_lan2)
warn_files=(diwarn pwr1warn pwr2warn dcd1warn dcd2warn dsr2warn dsr2warn lan0warn lan1warn)
status_files=(distatus pwr1status pwr2status dcd1status dcd2status dsr1status dsr2status lan0status lan1status)

# A detached daemon's sanitizer reports go to files that fail their test.
sanitizer_log=$sim_dir/sanitizer
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$sanitizer_log"

fail() {
    echo "    FAIL${at:+ at $at}: $*"
    exit 1
}

expect_eq() {
    [ "$2" = "$3" ] || fail "$1"$'\n'"      expected: $(printf '%q' "$3")"$'\n'"      actual:   $(printf '%q' "$2")"
}

stat_of() { sim stats | tr ' ' '\n' | sed -n "s/^$1=//p"; }

start_idle() {
    sim start || fail "the daemon did not start"
    sim twin wait-idle $limit_ms || fail "the daemon did not reach the interrupt wait"
}

# Read-only where it stands: writes fail with EROFS, renames over it EBUSY.
read_only() { mount --bind "$1" "$1" && mount -o remount,bind,ro "$1"; }

# Every entry of /tmp outside the event directory, with its checksum; trees the sandbox bound in are not the daemon's.
outside_events() {
    local prune=(-path "$events") mount
    while read -r mount; do prune+=(-o -path "$mount"); done \
        < <(awk '$5 ~ "^/tmp/." && $5 !~ "^/tmp/events(/|$)" { print $5 }' /proc/self/mountinfo)
    find /tmp -mindepth 1 \( "${prune[@]}" \) -prune -o -printf '%p %y %m %s %T@ %l\n' -type f -exec md5sum {} + | sort
}

# No daemon, no event files, the device at rest, no settings, stubs that succeed, nothing recorded or
# left of the last test, and someone else's files in /tmp where fixed scratch files once were.
fresh() {
    sim stop
    local mount stub file
    while mount=$(awk '$5 ~ "^/tmp/events(/|$)" { print $5 }' /proc/self/mountinfo | sort -r | sed -n 1p) && [ -n "$mount" ]; do
        umount "$mount" || break
    done
    for stub in sendemail sendtrap ledcontrol; do
        mountpoint -q /usr/sbin/$stub && continue
        rm -f /usr/sbin/$stub && touch /usr/sbin/$stub && mount -o bind,ro "$LINEWATCH_STUBS/record-command" /usr/sbin/$stub
    done
    rm -rf $events $outside /tmp/t.tmp /tmp/result "$sim_dir"/exit/* "$sim_dir"/run/*
    sim twin reset
    sim reg 10 0x0f
    for file in commands syslog daemon.out; do : >"$sim_dir/$file"; done
    mkdir $outside
    printf '0\nsomeone else'"'"'s\n' | tee $outside/target >$outside/scratch
    for file in /tmp/t.tmp /tmp/result; do ln -s $outside/scratch $file; done
    outside_before=$(outside_events)
}

commands_run() { sim show | sed -n 's/^ran: //p' | paste -sd';' | sed 's/;/; /g'; }

reported() { sim show | grep -cFx "syslog: <14> linewatch: $1"; }

# The daemon runs, reports the next change, and left /tmp outside its own alone.
expect_unharmed() {
    [ "$(sim show | tail -n1)" = "daemon: running" ] || fail "the daemon is not running"
    local level=1 message="Port_2 Link_up" before
    if [ "$(head -c1 $events/lan1status 2>/dev/null)" = 1 ]; then level=0 message="Port_2 Link_down"; fi
    before=$(reported "$message")
    sim lan2 $level || fail "no pass after the last change"
    expect_eq "syslog lines of the last change" "$(reported "$message")" $((before + 1))
    expect_eq "warn line of the last change" "$(tail -n1 $events/lan1warn)" "$message"
    expect_eq "/tmp outside /tmp/events" "$(outside_events)" "$outside_before"
}

# The journal as passes of nine register reads: the first and last read's times.
passes() {
    sim journal | awk '($2 == "read" || $2 == "read-failed") && ($3 == 9 || $3 == 10) {
        if (n % 9 == 0) start = $1; if (++n % 9 == 0) print start, $1 }'
}

# A hold's passes come a period apart from the third on (the interrupt's pass and the hold's first run back to back).
expect_hold_passes() {
    passes | awk 'NR > 2 && $1 - prev < 0.1 { print; exit 1 } { prev = $1 }' || fail "a pass of the relay hold"
}

# The pass that saw the release is the last, 0x11 a period after it.
expect_hold_released() {
    local set_at arm_at
    set_at=$(sim journal | awk '$2 == "set" { print $1; exit }')
    arm_at=$(sim journal | awk '$2 == "ioctl" && $3 == 17 { print $1; exit }')
    expect_eq "passes ended after the release" "$(passes | awk -v t="$set_at" '$2 > t' | wc -l)" 1
    awk -v a="$(passes | tail -n1 | cut -d' ' -f2)" -v b="$arm_at" 'BEGIN { exit !(b - a >= 0.1) }' ||
        fail "0x11 came less than a period after the last pass"
}

# False after printing the sanitizers' reports so far (UBSan's found in the daemon's output); stops the daemon.
no_sanitizer_reports() {
    sim stop
    local reports
    reports=$(ls "$sanitizer_log".* 2>/dev/null; grep -ls ': runtime error: ' "$sim_dir"/*.out "$sim_dir"/*.log)
    [ -z "$reports" ] && return 0
    echo "    FAIL: sanitizer reports:"
    sed 's/^/      /' $reports
    rm -f "$sanitizer_log".*
    return 1
}

passed=0 failed=0
# A test in a fresh world, failed by a sanitizer's report or the emulator's preload reaching the host's commands.
run_one() {
    echo "--- $1"
    local ok=true
    (fresh && "${@:2}") || ok=false
    no_sanitizer_reports && ! grep -s 'ld\.so: object' "$sim_dir/daemon.out" || ok=false
    $ok && passed=$((passed + 1)) && return
    failed=$((failed + 1))
    echo "    daemon output:" && sed 's/^/      /' "$sim_dir/daemon.out"
}

finish() {
    sim stop
    echo "$passed passed, $failed failed"
    [ $failed = 0 ]
}

run_tests() {
    local name
    for name in $(declare -F | awk '$3 ~ /^test_/ { print $3 }'); do run_one "${name#test_}" "$name"; done
    finish
}
