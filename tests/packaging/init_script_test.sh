#!/usr/bin/env bash
# The init script against a stand-in for the daemon (a copy of sleep under its
# name, found through the pid file and stopped) and against the real daemon in
# the sandbox, where it finds no interrupt device.  SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2 work=$2/tests/packaging/init runner=()
fail() { echo "FAIL: $*" >&2; exit 1; }
expect_init() { # STATUS OUTPUT ARG...: the init script's with ARG...
    local want="$1 $2" status=0
    out=$("${runner[@]}" sh "$src/dist/linewatch.init" "${@:3}") || status=$?
    [ $status != 77 ] || exit 77
    [ "$status $out" = "$want" ] || fail "${*:3}: status $status, $out"
}

rm -rf "$work" && mkdir -p "$work/bin"
cp "$(command -v sleep)" "$work/bin/linewatch"
export DAEMON=$work/bin/linewatch LOG=$work/linewatch.log PIDFILE=$work/linewatch.pid
# A stuck stand-in run with setpriv's options, named by the pid file; its pid
# in $!. Until it has exec'd, its executable is still bash or setpriv.
run() {
    setpriv "$@" "$DAEMON" 300 &
    echo $! >"$PIDFILE"
    for _ in $(seq 50); do [ "$(readlink "/proc/$!/exe")" = "$DAEMON" ] && return; sleep 0.1; done
}
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
run && pid=$!

expect_init 0 "linewatch is running (pid $pid)" status
expect_init 0 "linewatch is already running (pid $pid)" start
[ ! -e "$LOG" ] || fail "start ran a second daemon"
# An update replaces the executable under the running daemon.
rm "$DAEMON"
expect_init 0 "linewatch is running (pid $pid)" status
cp "$(command -v sleep)" "$DAEMON"
expect_init 0 "Stopping linewatch: OK" stop
[ -z "$(readlink "/proc/$pid/exe")" ] || fail "the daemon was not stopped"
wait $pid || true
expect_init 3 "linewatch is not running" status
# Another user's copy of the daemon is not ours, even where a stale pid file
# names it: start runs the stand-in, which fails without an operand.
run --reuid=65534 --regid=65534 --clear-groups
expect_init 1 "Starting linewatch: FAIL (see $LOG)" start

# The real daemon without its interrupt device: start fails and says where
# to look, the daemon's own message is in the log, the last log is kept.
cp --remove-destination "$build/linewatch" "$DAEMON"
echo "last run" >"$LOG"
echo 1 >"$PIDFILE" # a crash's, whose number is now another program's
runner=("$src/sim/sandbox" --build "$build" --)
expect_init 1 "Starting linewatch: FAIL (see $LOG)" start
[ "$(cat "$LOG")" = "open device:/dev/cpldirq failed No such file or directory" ] || fail "log: $(cat "$LOG")"
[ "$(cat "$LOG.old")" = "last run" ] || fail "the last run's log was not kept"
