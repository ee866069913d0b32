#!/usr/bin/env bash
# The daemon's command line, and the daemon in the foreground under runit's
# runsv: killed, it is started again and reports what changed meanwhile.
source "$(dirname "$0")/lib.sh"

daemon=$LINEWATCH_BUILD/linewatch

test_options() {
    local usage version args out before=$(ls -A /tmp; stat_of opens)
    usage=$("$daemon" -h) && [[ $usage == "Usage: linewatch "* ]] || fail "-h: $usage"
    version=$("$daemon" -V) && [[ $version =~ ^"linewatch "[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "-V: $version"
    ! "$daemon" -V >/dev/full || fail "a version lost on a full device exits 0"
    for args in -x extra; do
        out=$("$daemon" "$args" 2>&1 >/dev/null)
        expect_eq "linewatch $args: status, standard error" "$? $out" "2 $usage"
    done
    expect_eq "what bad options left" "$(ls -A /tmp; stat_of opens)" "$before"
}

test_started_again_after_a_kill_reports_what_it_missed() {
    local service=/run/linewatch-service runsv pid
    mkdir "$service"
    # The systemd unit's command line, proven here under a supervisor.
    printf '#!/bin/sh\nexec %s >>%s 2>&1\n' "$(sed -n "s|^ExecStart=/usr/sbin/linewatch|$daemon|p" \
        "$src/dist/linewatch.service")" "$sim_dir/daemon.out" >"$service/run" && chmod +x "$service/run"
    runsv "$service" &
    runsv=$!
    # runsv stops the daemon on TERM.
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
