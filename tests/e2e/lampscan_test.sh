#!/usr/bin/env bash
# lampscan on the twin, with its files planted by someone else: it never
# waits on one, writes into none, and names the file it refused.
set -eu
cd /tmp
echo keep >victim
refused() {
    local out
    out=$(timeout 10 "$LINEWATCH_BUILD/lampscan"; echo "exit $?")
    [ "$out" = "Open /tmp/$1 failed!"$'\nexit 1' ] || { echo "FAIL: $2 at /tmp/$1: $out"; exit 1; }
}
ln victim led_status; refused led_status "a second link to a file"; rm led_status
mkfifo di_status; refused di_status "a FIFO"; rm di_status
cp victim di_status; chown 1 di_status; refused di_status "another user's file"
[ "$(cat victim di_status)" = $'keep\nkeep' ] || { echo "FAIL: a planted file was written"; exit 1; }
