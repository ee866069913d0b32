#!/usr/bin/env bash
# The device's init script driving the real daemon against the twin.
source "$(dirname "$0")/lib.sh"

daemon_by_path
init() { DAEMON=$daemon_path EXE=$daemon_exe LOG=$sim_dir/init.log sh "$src/dist/linewatch.init" "$@"; }

test_start_status_stop_and_stop_again() {
    sim config email_lan1 2
    expect_eq "start" "$(init start)" "Starting linewatch: OK"
    sim twin wait-idle $limit_ms || fail "the daemon did not reach the interrupt wait"
    local out
    out=$(init status) && [[ $out =~ ^"linewatch is running (pid "[0-9]+")"$ ]] || fail "status of a running daemon: $out"
    expect_eq "second start" "$(init start)" "${out/is running/is already running}"
    sim lan1 1 || fail "no pass"
    expect_eq "commands" "$(commands_run)" 'sendemail "Port_1 Link_up"'

    expect_eq "stop" "$(init stop)" "Stopping linewatch: OK"
    expect_eq "status when stopped" "$(init status; echo "($?)")" $'linewatch is not running\n(3)'
    expect_eq "the twin lost its waiter" "$(stat_of waiting)" 0
    expect_eq "stop when not running" "$(init stop; echo "($?)")" $'linewatch is not running\n(0)'
}

run_tests
