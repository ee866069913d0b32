#!/usr/bin/env bash
# The init script against stand-ins for the daemon: a copy of sleep under the
# daemon's name, found through the pid file and stopped; and the real daemon,
# started inside the sandbox where it finds no interrupt device.
#
#   init_script_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$build/tests/packaging/init
init=$src/dist/linewatch.init
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/bin"
cp "$(command -v sleep)" "$work/bin/linewatch"
export DAEMON=$work/bin/linewatch LOG=$work/linewatch.log PIDFILE=$work/linewatch.pid

# A stuck stand-in run with setpriv's options; its pid in $!. Until it has
# exec'd, its executable is still bash or setpriv.
run() {
    setpriv "$@" "$DAEMON" 300 &
    for _ in $(seq 50); do
        [ "$(readlink "/proc/$!/exe")" = "$DAEMON" ] && return
        sleep 0.1
    done
}
run
pid=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
echo $pid >"$PIDFILE"

out=$(sh "$init" status) || fail "status of a running daemon: $out"
[ "$out" = "linewatch is running (pid $pid)" ] || fail "status: $out"
out=$(sh "$init" start) || fail "start beside a running daemon: $out"
[ "$out" = "linewatch is already running (pid $pid)" ] || fail "start beside a running daemon: $out"
[ -e "$LOG" ] && fail "start ran a second daemon"

# An update replaces the executable under the running daemon.
rm "$DAEMON"
out=$(sh "$init" status) || fail "status after the executable was replaced: $out"
cp "$(command -v sleep)" "$DAEMON"
sh "$init" stop >/dev/null || fail "stop"
[ -n "$(readlink "/proc/$pid/exe")" ] && fail "the daemon was not stopped"
wait $pid || true
out=$(sh "$init" status) && fail "status of a stopped daemon succeeded: $out"
[ "$out" = "linewatch is not running" ] || fail "status: $out"
# Another user's copy of the daemon is not ours, even where a stale pid file
# names it.
run --reuid=65534 --regid=65534 --clear-groups
echo $! >"$PIDFILE"
out=$(sh "$init" start) && fail "start beside another user's copy of the daemon: $out"

# The real daemon without its interrupt device: start fails and says where
# to look, the daemon's own message is in the log, the last log is kept.
cp --remove-destination "$build/linewatch" "$DAEMON"
echo "last run" >"$LOG"
echo 1 >"$PIDFILE" # a crash's, whose number is now another program's
if out=$("$src/sim/sandbox" --build "$build" -- sh "$init" start); then
    fail "start without the interrupt device succeeded: $out"
elif [ $? = 77 ]; then
    exit 77
fi
[ "$out" = "Starting linewatch: FAIL (see $LOG)" ] || fail "start: $out"
[ "$(cat "$LOG")" = "open device:/dev/cpldirq failed No such file or directory" ] || fail "log: $(cat "$LOG")"
[ "$(cat "$LOG.old")" = "last run" ] || fail "the last run's log was not kept"
