# End-to-end test support, sourced by each tests/e2e/*_test.sh. The tests run
# inside the sandbox with the twin, against the unmodified daemon. They wait
# on what the twin saw the daemon do; time limits are upper bounds only.
set -uo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
sim_dir=$LINEWATCH_SIM_DIR
limit_ms=10000

sim() { "$src/sim/linewatch-sim" "$@"; }

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

run_tests() {
    local passed=0 failed=0 name
    for name in $(declare -F | awk '$3 ~ /^test_/ { print $3 }'); do
        echo "--- ${name#test_}"
        if (fresh && "$name"); then
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
