#!/usr/bin/env bash
# The device's init script driving the real daemon against the twin, and
# stand-ins for it (copies of sleep under its name) that the pid file names
# but that are not the daemon it started.
source "$(dirname "$0")/lib.sh"

daemon_by_path
init() { LOG=$sim_dir/init.log sh "$src/dist/linewatch.init" "$@"; }

test_start_status_stop_and_stop_again() {
    export DAEMON=$daemon_path EXE=$daemon_exe
    sim config email_lan1 2
    # A crash's pid file, whose number is now another program's.
    echo 1 >/run/linewatch.pid
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

test_only_the_daemons_executable_run_as_the_scripts_user_counts() {
    export DAEMON=$sim_dir/bin/linewatch EXE=
    mkdir -p "${DAEMON%/*}" && cp "$(command -v sleep)" "$DAEMON"
    trap 'kill $(jobs -p) 2>/dev/null' EXIT
    # A stuck stand-in run with setpriv's options, named by the pid file. Until
    # it has exec'd, its executable is still setpriv.
    standin() {
        setpriv "$@" "$DAEMON" 300 &
        pid=$! && echo $pid >/run/linewatch.pid
        for _ in $(seq 50); do [ "$(readlink /proc/$pid/exe)" = "$DAEMON" ] && return; sleep 0.1; done
    }
    standin
    expect_eq "status" "$(init status)" "linewatch is running (pid $pid)"
    expect_eq "second start" "$(init start)" "linewatch is already running (pid $pid)"
    # A firmware update replaces the executable under the running daemon.
    rm "$DAEMON"
    expect_eq "status, replaced" "$(init status)" "linewatch is running (pid $pid)"
    cp "$(command -v sleep)" "$DAEMON"
    expect_eq "stop" "$(init stop)" "Stopping linewatch: OK"
    [ -z "$(readlink /proc/$pid/exe)" ] || fail "the daemon was not stopped"
    # Another user's copy is not ours: start runs the stand-in, which fails
    # without an operand, and keeps the last run's log.
    standin --reuid=65534 --regid=65534 --clear-groups
    echo "last run" >$sim_dir/init.log
    expect_eq "start" "$(init start; echo "($?)")" "Starting linewatch: FAIL (see $sim_dir/init.log)"$'\n(1)'
    expect_eq "the last run's log" "$(cat $sim_dir/init.log.old)" "last run"
}

run_tests
