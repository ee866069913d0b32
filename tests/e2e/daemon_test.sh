#!/usr/bin/env bash
# The daemon's whole life against the twin: start-up, the interrupt loop, the
# relay hold, the register 16 wait, restarts and faults.
source "$(dirname "$0")/lib.sh"

test_digital_input_round_trip() {
    sim config email_di1 2
    sim config snmp_trap_di 1
    sim config relay_di 2
    start_idle
    sim di 1 || fail "no pass after the interrupt"
    expect_file /tmp/events/distatus "1"$'\n'
    expect_file /tmp/events/diwarn "DI On"$'\n'
    expect_show "syslog: <14> linewatch: DI On"
    expect_show "syslog: <6> linewatch: [DI On]"
    expect_eq "commands" "$(commands_ran)" $'ledcontrol di on\nsendemail DI On'
    expect_file /tmp/events/emailtable "DI On##Success"$'\n'
    expect_file /tmp/events/relaytable "DI On"$'\n\n\n\n\n\n\n\n\n'

    sim stub sendtrap 1
    sim di 0 || fail "no pass after the interrupt"
    sim twin wait-idle $limit_ms || fail "the relay hold did not end"
    expect_file /tmp/events/diwarn $'DI On\nDI Off\n'
    expect_show "syslog: <14> linewatch: DI Off"
    expect_eq "commands" "$(commands_ran)" $'ledcontrol di on\nsendemail DI On\nledcontrol di off\nsendtrap 11'
    expect_file /tmp/events/traptable "DI Off##Fail"$'\n'
    expect_file /tmp/events/relaytable $'\n\n\n\n\n\n\n\n\n'
}

test_interrupt_device_opened_read_write_synchronous() {
    start_idle
    # O_RDWR | O_DSYNC, with the large-file bit the C library adds.
    expect_eq "open flags" "$(( $(stat_of open_flags) & ~0x8000 ))" "$((0x1002))"
}

test_relay_hold_polls_every_period_without_interrupts() {
    sim config relay_lan2 1
    sim reg 9 0x08
    start_idle
    sim twin journal-clear
    local before
    before=$(stat_of reads9)
    sim input lan2 0
    sim irq
    # Ten more passes, all without an interrupt.
    sim twin wait-reads 9 $((before + 5 * 11)) $limit_ms || fail "no passes in the relay hold"
    expect_eq "relay line" "$(sed -n 9p /tmp/events/relaytable)" "Port_2 Link_down"
    # The interrupt's pass and the hold's first pass run back to back; a
    # sleep follows every pass of the hold.
    local previous="" start end regs count=0
    while read -r start end regs; do
        expect_eq "registers read in one pass" "$regs" "9 9 9 10 10 10 10 9 9"
        count=$((count + 1))
        if [ $count -gt 2 ]; then
            awk -v a="$previous" -v b="$start" 'BEGIN { exit !(b - a >= 0.1) }' ||
                fail "passes $previous and $start are less than 100 ms apart"
        fi
        previous=$start
    done < <(passes)
    expect_eq "requests during the hold" "$(sim journal | grep ' ioctl ' | cut -d' ' -f2-)" $'ioctl 51 returns\nioctl 34'

    # Released without an interrupt: one more pass, its sleep, then 0x11.
    # The journal is cleared between two passes, held at the gate, so that
    # its reads group into whole passes.
    local arms
    arms=$(stat_of req17)
    sim twin gate close
    sim twin wait-gated $limit_ms || fail "the hold did not reach the gate"
    sim twin journal-clear
    sim input lan2 1
    sim twin gate open
    sim twin wait-request 17 $((arms + 1)) $limit_ms || fail "the hold did not end"
    local set_at arm_at
    set_at=$(first_after 0 '$2 == "set"')
    arm_at=$(first_after 0 '$2 == "ioctl" && $3 == 17')
    # The pass that saw the release is the last: it may have begun before the
    # line changed, if it had not yet read it.
    local after_set
    after_set=$(passes | awk -v t="$set_at" '$2 > t' | wc -l)
    expect_eq "passes ended after the release" "$after_set" 1
    local last_end
    last_end=$(passes | tail -n1 | cut -d' ' -f2)
    awk -v a="$last_end" -v b="$arm_at" 'BEGIN { exit !(b - a >= 0.1) }' ||
        fail "0x11 came less than 100 ms after the last pass"
    expect_file /tmp/events/relaytable $'\n\n\n\n\n\n\n\n\n'
    sim twin wait-idle $limit_ms || fail "not idle after the hold"
}

test_register16_that_never_clears_keeps_daemon_out_of_interrupt_wait() {
    sim reg 16 1
    sim start || fail "no start"
    local reads
    reads=$(stat_of reads16)
    sim twin wait-reads 16 $((reads + 5)) $limit_ms || fail "register 16 is not polled"
    expect_eq "interrupt waits" "$(stat_of req51)" "$(sim twin stats >/dev/null; stat_of req51)"
    sim twin journal-clear
    sim fail 16 read
    sim reg 16 0
    sim twin wait-reads 16 $(( $(stat_of reads16) + 3 )) $limit_ms || fail "register 16 is not polled"
    expect_eq "waits while register 16 fails" "$(sim journal | grep -c 'ioctl 51')" 0
    local read16_times
    read16_times=$(sim journal | awk '$2 ~ /^read/ && $3 == 16 { print $1 }')
    awk 'NR > 1 && $1 - prev < 0.1 { bad = 1 } { prev = $1 } END { exit bad }' <<<"$read16_times" ||
        fail "register 16 read more often than every 100 ms"
    sim heal 16
    sim twin wait-idle $limit_ms || fail "no interrupt wait once register 16 reads 0"
}

test_startup_pass_notifies_before_the_starting_process_returns() {
    mkdir -p /tmp/events
    echo 0 >/tmp/events/distatus
    sim reg 9 0x10
    sim config email_di1 2
    sim config relay_di 2
    sim start || fail "no start"
    # No waiting: the change was handled before `start` returned.
    expect_file /tmp/events/diwarn "DI On"$'\n'
    expect_eq "commands" "$(commands_ran)" $'ledcontrol di on\nsendemail DI On'
    expect_eq "relay line" "$(sed -n 1p /tmp/events/relaytable)" "DI On"
    # The relay set in that pass is not held before the first interrupt.
    sim twin wait-idle $limit_ms || fail "held before the first interrupt"
    expect_eq "passes before the first interrupt" "$(stat_of reads9)" 5
    sim irq
    sim twin wait-reads 9 $((5 + 5 * 3)) $limit_ms || fail "no relay hold after the first interrupt"
}

test_restart_keeps_status_blanks_relays_and_notifies_changes_made_while_down() {
    sim config relay_pow1 2
    sim config snmp_trap_pow1 1
    start_idle
    sim pwr1 1 || fail "no pass"
    expect_eq "relay line" "$(sed -n 2p /tmp/events/relaytable)" "Power1 On"
    echo "DI On##Success" >/tmp/events/emailtable
    sim stop
    sim input pwr1 0
    : >"$sim_dir/commands"
    sim start || fail "no restart"
    expect_file /tmp/events/pwr1status "0"$'\n'
    expect_file /tmp/events/pwr1warn $'Power1 On\nPower1 Off\n'
    expect_file /tmp/events/relaytable $'\n\n\n\n\n\n\n\n\n'
    expect_file /tmp/events/emailtable "DI On##Success"$'\n'
    expect_eq "commands" "$(commands_ran)" "sendtrap 7"
    expect_show "syslog: <14> linewatch: Power1 Off"
}

test_configuration_changes_apply_at_the_next_poll() {
    start_idle
    sim dsr2 1
    expect_eq "commands" "$(commands_ran)" ""
    sim config email_dsr2 1
    sim dsr2 0
    expect_eq "commands" "$(commands_ran)" "sendemail Dsr2 Off"
    expect_file /tmp/events/emailtable "Dsr2 Off##Success"$'\n'
}

test_existing_events_directory_is_reported_and_startup_goes_on() {
    mkdir /tmp/events
    start_idle
    expect_file "$sim_dir/daemon.out" "mkdir /tmp/events failed File exists"$'\n'
    expect_file /tmp/events/relaytable $'\n\n\n\n\n\n\n\n\n'
}

test_failing_register_read_leaves_states_as_they_were() {
    sim reg 10 0x00
    start_idle
    expect_file /tmp/events/dcd1status "1"$'\n'
    sim fail 10 read
    sim dcd1 0 || fail "no pass"
    sim dsr2 0 || fail "no pass"
    for f in dcd1 dcd2 dsr1 dsr2; do
        expect_file /tmp/events/${f}status "1"$'\n'
    done
    expect_eq "warn files" "$(ls /tmp/events | grep -c warn)" 0
    sim heal 10
    sim irq
    sim twin wait-settled $limit_ms || fail "no pass"
    expect_file /tmp/events/dcd1status "0"$'\n'
    expect_file /tmp/events/dsr2warn "Dsr2 Off"$'\n'
    expect_file /tmp/events/dsr1status "1"$'\n'
}

run_tests
