#!/usr/bin/env bash
# The daemon as service managers run it: its command line and lock, the init script with the real daemon
# and with stand-ins (copies of sleep) the pid file names, and the systemd unit's command under runsv.
source "$(dirname "$0")/lib.sh"

# The daemon through a launcher, and its executable: under the emulator, the emulator's.
read -ra prefix <<<"${LINEWATCH_RUN_PREFIX:-}"
launcher=$sim_dir/launcher/linewatch daemon_exe=$(readlink -f "$(command -v "${prefix[0]:-$LINEWATCH_BUILD/linewatch}")")
mkdir -p "${launcher%/*}" && printf '#!/bin/sh\nexec "%s" run linewatch "$@"\n' "$src/sim/linewatch-sim" >$launcher
chmod +x $launcher
init() { LOG=$sim_dir/init.log sh "$src/dist/linewatch.init" "$@"; }

test_options_the_lock_and_a_second_daemon() {
    local usage version out before
    usage=$(sim run linewatch -h) && [[ $usage == "Usage: linewatch "* ]] || fail "-h: $usage"
    version=$(sim run linewatch -V) && [[ $version =~ ^"linewatch "[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "-V: $version"
    ! sim run linewatch -V >/dev/full || fail "a version lost on a full device exits 0"
    # An earlier build's lock file, locked by another user who waited on it.
    install -m 644 /dev/null /run/linewatch.lock && exec 3< <(exec setpriv --reuid=65534 --regid=65534 --clear-groups \
        sh -c 'exec 4</run/linewatch.lock && flock 4 && echo held && exec sleep 600')
    holder=$! && read -r _ <&3 && exec 3<&- && trap 'kill $holder' EXIT
    timeout $((limit_ms / 1000)) "$src/sim/linewatch-sim" run linewatch start -config /etc/x -help >/dev/null 2>$sim_dir/err ||
        fail "the lock or the arguments stopped the start"
    expect_eq "standard error" "$(cat $sim_dir/err)" "linewatch: ignoring start -config /etc/x -help"
    sim twin wait-idle $limit_ms && sim lan1 1 && [ "$(reported "Port_1 Link_up")" = 1 ] || fail "no change reported"
    ! setpriv --reuid=65534 --regid=65534 --clear-groups cat /run/linewatch.lock 2>/dev/null || fail "others can open the lock"
    # The second only opens the interrupt device before it finds the lock.
    before=$(sim stats | sed 's/opens=[0-9]*//') && touch $sim_dir/mark
    out=$(sim run linewatch 2>&1)
    expect_eq "second daemon: status, output" "$? $out" "1 another linewatch holds /run/linewatch.lock"
    expect_eq "what it touched" "$(sim stats | sed 's/opens=[0-9]*//'; find /tmp /run -newer $sim_dir/mark)" "$before"
}

test_init_script_start_status_stop_and_stop_again() {
    export DAEMON=$launcher EXE=$daemon_exe
    # No lock file: the daemon starts; no pid file: start fails and stops it.
    rm -f /run/linewatch.lock /run/linewatch.pid && mkdir /run/linewatch.lock /run/linewatch.pid
    expect_eq "start" "$(init start; echo "($?)")" "Starting linewatch: FAIL (see $sim_dir/init.log)"$'\n(1)'
    expect_eq "reasons" "$(grep -c -e "^lock /run/linewatch.lock failed" -e "^create file /run/linewatch.pid" $sim_dir/init.log)" 2
    expect_eq "daemons" "$(sim pids)" ""
    rmdir /run/linewatch.lock /run/linewatch.pid
    sim config email_lan1 2
    # A crash's pid file, whose number is now another program's; two starts at once, the second waiting.
    echo 1 >/run/linewatch.pid
    local out && out=$({ init start & init start; wait; } 2>&1 | LC_ALL=C sort)
    [[ $out =~ ^"Starting linewatch: OK"$'\n'"linewatch is already running (pid "[0-9]+")"$ ]] || fail "start: $out"
    sim twin wait-idle $limit_ms || fail "the daemon did not reach the interrupt wait"
    out=$(init status) && [[ $out =~ ^"linewatch is running (pid "[0-9]+")"$ ]] || fail "status of a running daemon: $out"
    sim lan1 1 || fail "no pass"
    expect_eq "commands" "$(commands_run)" 'sendemail "Port_1 Link_up"'

    expect_eq "stop" "$(init stop)" "Stopping linewatch: OK"
    expect_eq "status when stopped" "$(init status; echo "($?)")" $'linewatch is not running\n(3)'
    expect_eq "the twin lost its waiter" "$(stat_of waiting)" 0
    expect_eq "stop when not running" "$(init stop; echo "($?)")" $'linewatch is not running\n(0)'
}

test_init_script_counts_only_the_daemons_executable_run_as_its_user() {
    export DAEMON=$sim_dir/bin/linewatch EXE=
    mkdir -p "${DAEMON%/*}" && cp "$(command -v sleep)" "$DAEMON"
    trap 'kill $(jobs -p) 2>/dev/null' EXIT
    # A stuck stand-in run by setpriv, named by the pid file once it has exec'd.
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
    # Another user's copy is not ours: start runs the stand-in (no operand: FAIL), keeping the last log.
    standin --reuid=65534 --regid=65534 --clear-groups
    echo "last run" >$sim_dir/init.log
    expect_eq "start" "$(init start; echo "($?)")" "Starting linewatch: FAIL (see $sim_dir/init.log)"$'\n(1)'
    expect_eq "the last run's log" "$(cat $sim_dir/init.log.old)" "last run"
}

# Under the emulator the daemon cannot be told from its supervisor by name.
test_runsv_starts_the_killed_daemon_again_which_reports_what_it_missed() {
    [ -z "${LINEWATCH_RUN_PREFIX:-}" ] || { echo "    (host only)"; return 0; }
    local service=/run/linewatch-service runsv pid
    mkdir "$service"
    # The systemd unit's command line, proven here under a supervisor.
    printf '#!/bin/sh\nexec %s >>%s 2>&1\n' "$(sed -n "s|^ExecStart=/usr/sbin/linewatch|$LINEWATCH_BUILD/linewatch|p" \
        "$src/dist/linewatch.service")" "$sim_dir/daemon.out" >"$service/run" && chmod +x "$service/run"
    runsv "$service" &
    runsv=$!
    # runsv stops the daemon on TERM.
    # shellcheck disable=SC2064 # expanded now: runsv is local to this test
    trap "kill $runsv; wait $runsv" EXIT
    sim twin wait-idle $limit_ms || fail "the supervised daemon did not start"
    # A change that no interrupt announces, as one made while it is down.
    sim input lan1 1
    pid=$(pgrep -x -P $runsv linewatch) && [ "$(pgrep -x linewatch)" = "$pid" ] || fail "the daemon left its supervisor"
    kill -9 "$pid"
    sim twin wait-request 17 2 $limit_ms || fail "the daemon was not started again"
    expect_eq "warn lines" "$(cat $events/lan0warn)" "Port_1 Link_up"
}

run_tests
