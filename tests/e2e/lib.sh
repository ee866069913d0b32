# End-to-end test support, sourced by each tests/e2e/*_test.sh. The tests run
# inside the sandbox with the twin, against the unmodified daemon. They wait
# on what the twin saw the daemon do; time limits are upper bounds only.
set -uo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
sim_dir=$LINEWATCH_SIM_DIR
limit_ms=10000

sim() { "$src/sim/linewatch-sim" "$@"; }
# For scripts that start the daemon by a path and find it by the executable
# its processes run (the init script): sets daemon_path and daemon_exe (empty:
# the daemon's own). Every process under the emulator runs as the emulator,
# so the daemon gets a launcher and a copy of the emulator of its own.
daemon_by_path() {
    local prefix dir=$sim_dir/launcher
    read -ra prefix <<<"${LINEWATCH_RUN_PREFIX:-}"
    daemon_path=$LINEWATCH_BUILD/linewatch daemon_exe=
    [ ${#prefix[@]} -gt 0 ] || return 0
    mkdir -p "$dir"
    daemon_exe=$dir/${prefix[0]##*/}
    cp "$(command -v "${prefix[0]}")" "$daemon_exe"
    printf '#!/bin/sh\nexec %s %s "$@"\n' "$daemon_exe ${prefix[*]:1}" "$daemon_path" >"$dir/linewatch"
    daemon_path=$dir/linewatch
    chmod +x "$daemon_path"
}

# The nine inputs in id order: their names, configuration keys and files.
names=(di pwr1 pwr2 dcd1 dcd2 dsr1 dsr2 lan1 lan2)
email_keys=(email_di1 email_pow1 email_pow2 email_dcd1 email_dcd2 email_dsr1 email_dsr2 email_lan1 email_lan2)
trap_keys=(snmp_trap_di snmp_trap_pow1 snmp_trap_pow2 snmp_trap_dcd1 snmp_trap_dcd2 snmp_trap_dsr1 snmp_trap_dsr2 snmp_trap_lan1 snmp_trap_lan2)
relay_keys=(relay_di relay_pow1 relay_pow2 relay_dcd1 relay_dcd2 relay_dsr1 relay_dsr2 relay_lan1 relay_lan2)
warn_files=(diwarn pwr1warn pwr2warn dcd1warn dcd2warn dsr1warn dsr2warn lan0warn lan1warn)
status_files=(distatus pwr1status pwr2status dcd1status dcd2status dsr1status dsr2status lan0status lan1status)

# In a sanitizer build the daemon detaches and its output goes to a file,
# where a report would pass unseen: AddressSanitizer writes its reports to
# files of their own, and any report fails the test that made it.
sanitizer_log=$sim_dir/sanitizer
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$sanitizer_log"

# The twin's counter NAME (req17, reads9, ...).
stat_of() {
    sim stats | tr ' ' '\n' | sed -n "s/^$1=//p"
}

fail() {
    echo "    FAIL: $*"
    exit 1
}

expect_eq() {
    local what=$1 actual=$2 expected=$3
    [ "$actual" = "$expected" ] && return 0
    echo "    FAIL: $what"
    echo "      expected: $(printf '%q' "$expected")"
    echo "      actual:   $(printf '%q' "$actual")"
    exit 1
}

expect_file() { expect_eq "$1" "$(cat "$1" 2>/dev/null; echo .)" "$2."; }
expect_show() { grep -Fxq -- "$1" <<<"$(sim show)" || fail "show has no line '$1'"; }
expect_no_show() { ! grep -Fxq -- "$1" <<<"$(sim show)" || fail "show has the line '$1'"; }
commands_ran() { cut -f1- "$sim_dir/commands" | tr '\t' ' '; }

# A stopped daemon, no event files, a device at rest (serial lines off,
# register 16 clear), no settings, stubs succeeding, nothing recorded.
fresh() {
    sim stop
    rm -rf /tmp/events
    sim twin reset
    sim reg 10 0x0f
    rm -f "$sim_dir"/exit/* "$sim_dir"/run/*
    : >"$sim_dir/commands"
    : >"$sim_dir/syslog"
    : >"$sim_dir/daemon.out"
}

start_idle() {
    sim start || fail "the daemon did not start"
    sim twin wait-idle $limit_ms || fail "the daemon did not reach the interrupt wait"
}

# Passes of the daemon in the journal since it was last cleared while the
# daemon was idle: one line per nine reads of registers 9 and 10, with the
# time of the first and the last read and the registers in order.
passes() {
    sim journal | awk '
        ($2 == "read" || $2 == "read-failed") && ($3 == 9 || $3 == 10) {
            if (n % 9 == 0) { start = $1; regs = $3 } else regs = regs " " $3
            if (++n % 9 == 0) print start, $1, regs
        }'
}

# Time of the first journal entry matching the awk pattern after time FROM.
first_after() {
    sim journal | awk -v from="$1" "\$1 > from && ($2) { print \$1; exit }"
}

# Prints and removes the sanitizer reports made so far; false when there were
# any. GCC's UndefinedBehaviorSanitizer ignores log_path, so its reports are
# looked for in the daemon's output files. The daemon is stopped first, so
# that no report is still being written.
no_sanitizer_reports() {
    local report status=0
    sim stop
    for report in "$sanitizer_log".*; do
        [ -e "$report" ] || continue
        echo "    FAIL: sanitizer report ${report##*/}:"
        sed 's/^/      /' "$report"
        rm -f "$report"
        status=1
    done
    for report in "$sim_dir"/*.out "$sim_dir"/*.log; do
        grep -qs ': runtime error: ' "$report" || continue
        echo "    FAIL: undefined behaviour reported in ${report##*/}"
        status=1
    done
    return $status
}

run_tests() {
    local passed=0 failed=0 name ok
    for name in $(declare -F | awk '$3 ~ /^test_/ { print $3 }'); do
        echo "--- ${name#test_}"
        ok=true
        (fresh && "$name") || ok=false
        no_sanitizer_reports || ok=false
        # The emulator's preload must not reach the host commands the daemon runs.
        ! grep -s 'ld\.so: object' "$sim_dir/daemon.out" || ok=false
        if $ok; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "    daemon output:"; sed 's/^/      /' "$sim_dir/daemon.out"
        fi
    done
    sim stop
    echo "$passed passed, $failed failed"
    [ $failed = 0 ]
}
