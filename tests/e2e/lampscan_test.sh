#!/usr/bin/env bash
# lampscan, as it ships, over the twin's registers.
source "$(dirname "$0")/lib.sh"

test_dump_of_every_field_then_one_ended_by_a_failing_read() {
    sim reg 6 0x20 && sim reg 8 0x0a && sim reg 9 0x44 || fail "registers"
    expect_eq "output" "$(sim run lampscan 2>&1)" ""
    expect_file /tmp/led_status "wifistrn:half#di:blink#status:on#uart1tx:on#uart1rx:on#uart2tx:on#uart2rx:on#wifimode:ap#alarm:on#power1:on#power2:off#"
    expect_file /tmp/di_status 1
    sim fail 7 read
    local status=0 out
    out=$(sim run lampscan 2>&1) || status=$?
    expect_eq "a failed read" "$out ($status)" "Read register value from 0x7 failed! (1)"
    expect_file /tmp/led_status "wifistrn:half#di:blink#"
}

run_tests
