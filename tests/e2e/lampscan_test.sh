#!/usr/bin/env bash
# lampscan, as it ships, over the twin's registers, and with its files
# planted by someone else: it never waits on one, writes into none, and names
# the file it refused.
source "$(dirname "$0")/lib.sh"

test_dump_of_every_field_then_one_ended_by_a_failing_read() {
    sim reg 6 0x20 && sim reg 8 0x0a && sim reg 9 0x44 || fail "registers"
    scan() { sim run lampscan 2>&1; echo "($?)"; cat /tmp/led_status; }
    expect_eq "a dump, di_status" "$(scan; echo; cat /tmp/di_status)" \
        $'(0)\nwifistrn:half#di:blink#status:on#uart1tx:on#uart1rx:on#uart2tx:on#uart2rx:on#wifimode:ap#alarm:on#power1:on#power2:off#\n1'
    sim fail 7 read
    expect_eq "a failed read" "$(scan)" $'Read register value from 0x7 failed!\n(1)\nwifistrn:half#di:blink#'
}

test_planted_files_are_refused_untouched() {
    refused() { expect_eq "$2 at /tmp/$1" "$(timeout 10 "$src/sim/linewatch-sim" run lampscan; echo "($?)")" "Open /tmp/$1 failed!"$'\n(1)'; }
    echo keep >/tmp/victim
    ln /tmp/victim /tmp/led_status && refused led_status "a second link to a file" && rm /tmp/led_status
    mkfifo /tmp/di_status && refused di_status "a FIFO" && rm /tmp/di_status
    cp /tmp/victim /tmp/di_status && chown 1 /tmp/di_status && refused di_status "another user's file"
    expect_eq "planted files" "$(cat /tmp/victim /tmp/di_status)" $'keep\nkeep'
    rm /tmp/victim /tmp/di_status
}

run_tests
