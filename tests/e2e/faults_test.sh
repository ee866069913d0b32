#!/usr/bin/env bash
# The fault matrix (docs/reliability.md): the real daemon against the twin
# through every fault it can meet on the device. Each case ends with the same
# checks: the daemon still runs, it reports the next change as ever, and
# nothing in /tmp outside /tmp/events has changed.
source "$(dirname "$0")/lib.sh"

outside=/tmp/outside
events=/tmp/events

# What /tmp holds outside the event directory: every entry with its type,
# mode, size, time and link target, and every file's checksum. Trees the
# sandbox bound in (a build under /tmp) are not the daemon's to touch and
# change under parallel tests, so they are left out.
outside_events() {
    local prune=(-path "$events") mount
    while read -r mount; do
        prune+=(-o -path "$mount")
    done < <(awk '$5 ~ "^/tmp/." && $5 !~ "^/tmp/events(/|$)" { print $5 }' /proc/self/mountinfo)
    find /tmp -mindepth 1 \( "${prune[@]}" \) -prune -o -printf '%p %y %m %s %T@ %l\n' | sort
    find /tmp -mindepth 1 \( "${prune[@]}" \) -prune -o -type f -exec md5sum {} + | sort
}

# Undoes what a case did to the world that `fresh` does not: mounts under
# /tmp/events and removed stub commands.
undo_faults() {
    local mount stub
    while mount=$(awk '$5 ~ "^/tmp/events(/|$)" { print $5 }' /proc/self/mountinfo | sort -r | head -n1) &&
        [ -n "$mount" ]; do
        umount "$mount" || break
    done
    for stub in sendemail sendtrap ledcontrol; do
        mountpoint -q "/usr/sbin/$stub" && continue
        rm -f "/usr/sbin/$stub"
        touch "/usr/sbin/$stub"
        mount -o bind,ro "$LINEWATCH_STUBS/record-command" "/usr/sbin/$stub"
    done
}

eval "lib_$(declare -f fresh)"
fresh() {
    undo_faults
    lib_fresh
    rm -rf "$outside" /tmp/t.tmp /tmp/result
    mkdir "$outside"
    local name
    for name in target scratch; do
        printf '0\n%s that is not the daemon'"'"'s\n' "$name" >"$outside/$name"
    done
    # The names fixed scratch files had: nothing may write through them.
    ln -s "$outside/scratch" /tmp/t.tmp
    ln -s "$outside/scratch" /tmp/result
    outside_before=$(outside_events)
}

# Lines "<14> linewatch: MESSAGE" in syslog.
reported() { sim show | grep -cFx "syslog: <14> linewatch: $1"; }

# A file made read-only where it stands: writes fail with EROFS, removal and
# renames over it with EBUSY.
read_only() {
    mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" || fail "cannot make $1 read-only"
}

# The checks every case ends with.
expect_unharmed() {
    [ "$(sim show | tail -n1)" = "daemon: running" ] || fail "the daemon is not running"
    local level=1 message="Port_2 Link_up"
    if [ "$(head -c1 $events/lan1status 2>/dev/null)" = 1 ]; then
        level=0
        message="Port_2 Link_down"
    fi
    local before
    before=$(reported "$message")
    sim lan2 $level || fail "no pass after the last change"
    expect_eq "syslog lines of the last change" "$(reported "$message")" $((before + 1))
    expect_eq "warn line of the last change" "$(tail -n1 $events/lan1warn)" "$message"
    expect_eq "/tmp outside /tmp/events" "$(outside_events)" "$outside_before"
}

# --- CPLD registers

test_register_reads_failing_once_or_until_healed_lose_no_change() {
    start_idle
    # Once: the first read of the pass (DI on 9, DCD 1 on 10) fails, the
    # other inputs on the register are read; the next pass finds the change.
    sim input di 1
    sim input pwr1 1
    sim input dcd1 1
    sim input dsr2 1
    sim fail 9 read 1
    sim fail 10 read 1
    sim irq
    sim wait || fail "no pass"
    expect_file $events/distatus "0"$'\n'
    expect_file $events/dcd1status "0"$'\n'
    expect_file $events/pwr1warn "Power1 On"$'\n'
    expect_file $events/dsr2warn "Dsr2 On"$'\n'
    sim irq
    sim wait || fail "no pass"
    expect_file $events/diwarn "DI On"$'\n'
    expect_file $events/dcd1warn "Dcd1 On"$'\n'

    # Until healed: the register's inputs keep their states, the other
    # register's are read; after healing the next pass reports the change.
    local reg input other message other_message
    for reg in 9 10; do
        if [ $reg = 9 ]; then
            input=pwr2 other=dcd2 message="Power2 On" other_message="Dcd2 On"
        else
            input=dcd2 other=pwr2 message="Dcd2 Off" other_message="Power2 Off"
        fi
        sim fail $reg read
        sim input $input $((reg == 9))
        sim input $other $((reg == 9))
        sim irq
        sim wait || fail "no pass"
        sim irq
        sim wait || fail "no pass"
        expect_eq "$input while register $reg fails" "$(reported "$message")" 0
        expect_eq "$other while register $reg fails" "$(reported "$other_message")" 1
        sim heal $reg
        sim irq
        sim wait || fail "no pass"
        expect_eq "$input after healing" "$(reported "$message")" 1
    done
    expect_unharmed
}

test_register16_failing_holds_the_next_interrupt_until_healed() {
    start_idle
    sim fail 16 read 3
    sim di 1 || fail "no pass"
    sim twin wait-idle $limit_ms || fail "not idle after three failed reads"
    sim fail 16 read
    sim input di 0
    sim irq
    sim twin wait-reads 16 $(($(stat_of reads16) + 3)) $limit_ms || fail "register 16 is not polled"
    # Waiting on register 16 the daemon takes no interrupt; the change
    # signalled meanwhile is found once the register reads again.
    sim input pwr1 1
    sim irq
    sim twin wait-reads 16 $(($(stat_of reads16) + 3)) $limit_ms || fail "register 16 is not polled"
    expect_eq "pending interrupts" "$(stat_of pending)" 1
    expect_eq "Power1 On while register 16 fails" "$(reported "Power1 On")" 0
    sim heal 16
    sim twin wait-idle $limit_ms || fail "no interrupt wait after healing"
    expect_file $events/diwarn $'DI On\nDI Off\n'
    expect_file $events/pwr1warn "Power1 On"$'\n'
    expect_unharmed
}

# --- The event directory

test_event_directory_read_only_reports_every_change_and_records_it_when_writable() {
    sim config email_di1 2
    start_idle
    read_only $events
    sim di 1 || fail "no pass"
    expect_eq "DI On reported" "$(reported "DI On")" 1
    expect_eq "e-mail sent" "$(grep -c sendemail "$sim_dir/commands")" 1
    # Unrecorded, the change is reported again at every pass until the
    # status file can be written: more than once, never lost.
    sim irq
    sim wait || fail "no pass"
    expect_eq "DI On reported again" "$(reported "DI On")" 2
    umount $events
    sim irq
    sim wait || fail "no pass"
    expect_eq "DI On reported once writable" "$(reported "DI On")" 3
    expect_file $events/distatus "1"$'\n'
    expect_file $events/diwarn "DI On"$'\n'
    sim irq
    sim wait || fail "no pass"
    expect_eq "DI On after it was recorded" "$(reported "DI On")" 3
    sim di 0 || fail "no pass"
    expect_file $events/diwarn $'DI On\nDI Off\n'
    expect_unharmed
}

test_event_directory_removed_while_running_is_made_again() {
    sim config relay_pow1 2
    sim config email_pow1 2
    start_idle
    rm -rf $events
    sim di 1 || fail "no pass"
    # The removal took the recorded states with it: what the next pass reads
    # is recorded as on a first start, not reported.
    expect_file $events/distatus "1"$'\n'
    expect_eq "DI On reported" "$(reported "DI On")" 0
    sim pwr1 1 || fail "no pass"
    expect_file $events/pwr1warn "Power1 On"$'\n'
    expect_file $events/emailtable "Power1 On##Success"$'\n'
    expect_file $events/relaytable $'\nPower1 On\n\n\n\n\n\n\n\n'
    sim pwr1 0 || fail "no pass"
    expect_file $events/relaytable $'\n\n\n\n\n\n\n\n\n'
    expect_unharmed
}

# Once the obstacle is gone: the next pass records DI's state, its next
# change is reported, and nothing else was harmed.
di_recorded_then_reported() {
    sim irq
    sim wait || fail "no pass"
    expect_file $events/distatus "1"$'\n'
    sim di 0 || fail "no pass"
    expect_file $events/diwarn "DI Off"$'\n'
    expect_unharmed
}

test_event_directory_replaced_by_a_file_is_left_alone() {
    start_idle
    rm -rf $events
    echo "not a directory" >$events
    sim di 1 || fail "no pass"
    sim pwr1 1 || fail "no pass"
    expect_file $events "not a directory"$'\n'
    # Once it is gone the directory is made again and the states recorded.
    rm $events
    di_recorded_then_reported
}

test_status_path_that_is_a_directory_silences_only_its_input() {
    start_idle
    rm $events/distatus
    mkdir $events/distatus
    sim reg 9 0x11
    sim irq
    sim wait || fail "no pass"
    expect_file $events/pwr1warn "Power1 On"$'\n'
    expect_eq "DI reported" "$(reported "DI On")" 0
    [ -d $events/distatus ] || fail "the directory was replaced"
    rmdir $events/distatus
    di_recorded_then_reported
}

# --- Files the daemon writes

test_warn_file_unwritable_or_removed_loses_no_report() {
    start_idle
    : >$events/diwarn
    read_only $events/diwarn
    sim di 1 || fail "no pass"
    expect_file $events/diwarn ""
    expect_file $events/distatus "1"$'\n'
    expect_eq "DI On reported" "$(reported "DI On")" 1
    umount $events/diwarn
    sim di 0 || fail "no pass"
    expect_file $events/diwarn "DI Off"$'\n'
    rm $events/diwarn
    sim di 1 || fail "no pass"
    expect_file $events/diwarn "DI On"$'\n'
    expect_unharmed
}

test_relay_table_unwritable_or_removed() {
    sim config relay_di 2
    sim config relay_pow1 2
    start_idle
    read_only $events/relaytable
    sim di 1 || fail "no pass"
    expect_file $events/relaytable $'\n\n\n\n\n\n\n\n\n'
    expect_eq "DI On reported" "$(reported "DI On")" 1
    # The hold goes on without its line, and ends.
    sim di 0 || fail "no pass"
    sim twin wait-idle $limit_ms || fail "the relay hold did not end"
    umount $events/relaytable
    sim di 1 || fail "no pass"
    sim pwr1 1 || fail "no pass"
    expect_file $events/relaytable $'DI On\nPower1 On\n\n\n\n\n\n\n\n'
    # Removed: rebuilt at the next edit with the lines still held.
    rm $events/relaytable
    sim di 0 || fail "no pass"
    expect_file $events/relaytable $'\nPower1 On\n\n\n\n\n\n\n\n'
    sim pwr1 0 || fail "no pass"
    sim twin wait-idle $limit_ms || fail "the relay hold did not end"
    expect_file $events/relaytable $'\n\n\n\n\n\n\n\n\n'
    expect_eq "files in /tmp/events" "$(ls $events | grep -vc -e 'status$' -e 'warn$' -e 'table$')" 0
    expect_unharmed
}

test_trap_and_email_tables_unwritable_or_removed() {
    sim config email_di1 2
    sim config snmp_trap_di 2
    start_idle
    seq -f "record %g##Success" 30 >$events/traptable
    read_only $events/traptable
    read_only $events/emailtable
    sim di 1 || fail "no pass"
    expect_eq "trap table" "$(sed -n '1p;$p' $events/traptable)" $'record 1##Success\nrecord 30##Success'
    expect_file $events/emailtable ""
    expect_eq "commands" "$(commands_ran)" $'ledcontrol di on\nsendemail DI On\nsendtrap 12'
    expect_eq "DI On reported" "$(reported "DI On")" 1
    umount $events/traptable
    umount $events/emailtable
    rm $events/emailtable
    sim di 0 || fail "no pass"
    sim di 1 || fail "no pass"
    expect_file $events/emailtable "DI On##Success"$'\n'
    expect_eq "trap table" "$(sed -n '1p;$p' $events/traptable)" $'record 2##Success\nDI On##Success'
    expect_eq "files in /tmp/events" "$(ls $events | grep -vc -e 'status$' -e 'warn$' -e 'table$')" 0
    expect_unharmed
}

# --- Commands

test_commands_missing_failing_or_exiting_127_are_recorded_as_failed() {
    sim config email_di1 2
    sim config snmp_trap_di 2
    start_idle
    umount /usr/sbin/sendemail
    rm /usr/sbin/sendemail
    umount /usr/sbin/ledcontrol
    rm /usr/sbin/ledcontrol
    sim stub sendtrap 127
    sim di 1 || fail "no pass"
    expect_file $events/emailtable "DI On##Fail"$'\n'
    expect_file $events/traptable "DI On##Fail"$'\n'
    expect_file $events/distatus "1"$'\n'
    sim di 0 || fail "no pass"
    sim stub sendtrap 1
    sim di 1 || fail "no pass"
    expect_file $events/traptable $'DI On##Fail\nDI On##Fail\n'
    undo_faults
    sim stub sendtrap 0
    sim di 0 || fail "no pass"
    sim di 1 || fail "no pass"
    expect_file $events/emailtable $'DI On##Fail\nDI On##Fail\nDI On##Success\n'
    expect_eq "DI On reported" "$(reported "DI On")" 3
    expect_unharmed
}

test_command_that_hangs_is_killed_at_its_time_limit() {
    sim config email_di1 2
    start_idle
    printf 'echo $$ >"%s/hung"\nexec sleep 600\n' "$sim_dir" >"$sim_dir/run/sendemail"
    sim input di 1
    sim irq
    local started=$SECONDS
    for _ in $(seq 100); do
        [ -s "$sim_dir/hung" ] && break
        sleep 0.1
    done
    local pid
    pid=$(cat "$sim_dir/hung") || fail "sendemail did not run"
    rm "$sim_dir/run/sendemail"
    # Signalled while the daemon waits for the command: taken afterwards.
    sim input pwr1 1
    sim irq
    sim twin wait-idle 75000 || fail "the daemon did not come back from the hung command"
    local took=$((SECONDS - started))
    [ $took -ge 59 ] && [ $took -le 70 ] || fail "the command ran ${took} s"
    expect_file $events/emailtable "DI On##Fail"$'\n'
    expect_file $events/pwr1warn "Power1 On"$'\n'
    [ ! -e /proc/$pid ] || [ "$(awk '{ print $3 }' /proc/$pid/stat)" = Z ] || fail "the hung command still runs"
    expect_unharmed
}

# --- Configuration values

test_configuration_values_that_are_no_mode_act_as_mode_0() {
    start_idle
    local value long
    long=$(printf 'x%.0s' $(seq 4096))
    for value in "" abc -1 99999999999 "$long" "$(printf '2%.0s' $(seq 4096))"; do
        local key
        for key in syslog_di1 email_di1 snmp_trap_di relay_di; do
            sim config $key "$value"
        done
        sim di 1 || fail "no pass"
        sim di 0 || fail "no pass"
    done
    expect_eq "DI On reported" "$(reported "DI On")" 6
    expect_eq "commands" "$(commands_ran | grep -vc ledcontrol)" 0
    sim config email_di1 "2$long"
    sim di 1 || fail "no pass"
    expect_file $events/emailtable "DI On##Success"$'\n'
    expect_unharmed
}

# --- Odd tables

test_tables_without_newline_long_or_with_nul_bytes() {
    sim config email_di1 2
    sim config snmp_trap_di 2
    sim config relay_di 2
    mkdir $events
    # Lines cut short: the next record starts a line of its own.
    printf 'no newline' >$events/emailtable
    printf 'DI O' >$events/diwarn
    seq -f "record %g##Success" 10000 >$events/traptable
    start_idle
    sim di 1 || fail "no pass"
    expect_file $events/emailtable $'no newline\nDI On##Success\n'
    expect_file $events/diwarn $'DI O\nDI On\n'
    # Only a table of exactly 30 lines is trimmed.
    expect_eq "trap table lines" "$(wc -l <$events/traptable)" 10001
    expect_eq "trap table's last line" "$(tail -n1 $events/traptable)" "DI On##Success"

    # NUL bytes survive the trim of the first line and the relay line edit.
    local i
    {
        printf 'a\0b\n'
        for i in $(seq 29); do printf 'r%d\0##Success\n' $i; done
    } >$events/emailtable
    printf '\0\n%.0s' $(seq 9) >$events/relaytable
    sim di 0 || fail "no pass"
    sim di 1 || fail "no pass"
    expect_eq "e-mail table" "$(od -c $events/emailtable)" "$({
        for i in $(seq 29); do printf 'r%d\0##Success\n' $i; done
        echo "DI On##Success"
    } | od -c)"
    expect_eq "relay table" "$(od -c $events/relaytable)" "$({ echo "DI On"; printf '\0\n%.0s' $(seq 8); } | od -c)"
    expect_unharmed
}

# --- Planted files

# Every file the daemon writes, as a symbolic link to a file of someone
# else's: nothing is read or written through it. A status link is replaced by
# the daemon's own file; warn lines and table lines are refused while their
# link stands, and the change still reaches syslog and the commands.
test_planted_links_leave_their_targets_alone() {
    local key
    for key in email_di1 snmp_trap_di relay_di email_pow1 relay_pow1; do
        sim config $key 2
    done
    mkdir $events
    local name
    for name in "${status_files[@]}" "${warn_files[@]}" relaytable traptable emailtable \
        traptable.AAAAAA distatus.AAAAAA sedAAAAAA; do
        ln -s $outside/target $events/$name
    done
    start_idle
    # Every input changes at once.
    sim reg 9 0x1f
    sim reg 10 0
    sim irq
    sim wait || fail "no pass"
    local message
    for message in "DI On" "Power1 On" "Power2 On" "Dcd1 On" "Dcd2 On" "Dsr1 On" "Dsr2 On" \
        "Port_1 Link_up" "Port_2 Link_up"; do
        expect_eq "$message reported" "$(reported "$message")" 1
    done
    expect_eq "commands" "$(commands_ran)" $'ledcontrol di on\nsendemail DI On\nsendtrap 12\nsendemail Power1 On'
    expect_eq "links left" "$(find $events -type l | sort)" \
        "$(printf "$events/%s\n" "${warn_files[@]}" emailtable relaytable sedAAAAAA traptable | sort)"

    # Planted again while the daemon runs: replaced at the next pass.
    for name in "${status_files[@]}"; do
        rm $events/$name
        ln -s $outside/target $events/$name
    done
    sim irq
    sim wait || fail "no pass"
    expect_eq "links at status files" "$(find $events -type l -name '*status')" ""
    expect_file $events/pwr1status "1"$'\n'
    sim pwr1 0 || fail "no pass"
    expect_eq "Power1 Off reported" "$(reported "Power1 Off")" 1
    # Once the links are gone the files are the daemon's again; the relay
    # table comes back with the lines held.
    find $events -type l -delete
    sim pwr1 1 || fail "no pass"
    expect_file $events/pwr1warn "Power1 On"$'\n'
    expect_file $events/relaytable $'DI On\nPower1 On\n\n\n\n\n\n\n\n'
    sim di 0 || fail "no pass"
    sim di 1 || fail "no pass"
    expect_file $events/diwarn $'DI Off\nDI On\n'
    expect_file $events/emailtable $'Power1 On##Success\nDI On##Success\n'
    expect_file $events/traptable "DI On##Success"$'\n'
    expect_file $events/relaytable $'DI On\nPower1 On\n\n\n\n\n\n\n\n'
    expect_unharmed
}

# FIFOs in place of the files the daemon reads and writes: nobody writes
# them, and the daemon never waits for anybody to.
test_planted_fifos_never_stall_the_daemon() {
    sim config email_dcd1 2
    sim config relay_dcd1 2
    start_idle
    local name
    for name in dcd1status dcd1warn emailtable relaytable; do
        rm -f $events/$name
        mkfifo $events/$name
    done
    sim dcd1 1 || fail "no pass"
    # The status FIFO is taken as a garbled record and replaced.
    expect_file $events/dcd1status "1"$'\n'
    sim dcd1 0 || fail "no pass"
    sim dcd1 1 || fail "no pass"
    expect_eq "commands" "$(commands_ran)" "sendemail Dcd1 On"
    # Removed before `sim show` reads the event files: it would wait on them.
    for name in dcd1warn emailtable relaytable; do
        [ -p $events/$name ] || fail "$name was replaced"
        rm $events/$name
    done
    expect_eq "Dcd1 On reported" "$(reported "Dcd1 On")" 1
    expect_unharmed
}

# --- Standard output

test_closed_standard_output_takes_no_event_file() {
    sim run linewatch <&- >&- 2>&- || fail "no start"
    sim twin wait-idle $limit_ms || fail "the daemon did not reach the interrupt wait"
    local pid
    pid=$(sim pids) && [ -n "$pid" ] || fail "no daemon"
    expect_eq "standard output" "$(readlink /proc/$pid/fd/1)" /dev/null
    sim di 1 || fail "no pass"
    expect_file $events/distatus "1"$'\n'
    expect_file $events/diwarn "DI On"$'\n'
    expect_unharmed
}

test_standard_output_whose_reader_has_gone_keeps_the_daemon() {
    local fifo=/run/faults-fifo
    rm -f $fifo
    mkfifo $fifo
    local reader writer
    exec {reader}<>$fifo
    exec {writer}>$fifo
    exec {reader}<&-
    sim run linewatch >&$writer 2>&$writer || fail "no start"
    exec {writer}>&-
    rm $fifo
    sim twin wait-idle $limit_ms || fail "the daemon did not reach the interrupt wait"
    # Eight failing warn files make eight diagnostics a pass: thirty passes
    # fill the output buffer three times over.
    local name
    for name in diwarn pwr1warn pwr2warn dcd1warn dcd2warn dsr1warn dsr2warn lan0warn; do
        : >$events/$name
        read_only $events/$name
    done
    local i
    for i in $(seq 30); do
        sim reg 9 $((i % 2 ? 0x17 : 0))
        sim reg 10 $((i % 2 ? 0 : 0x0f))
        sim irq
        sim wait || fail "no pass"
    done
    expect_eq "DI On reported" "$(reported "DI On")" 15
    expect_unharmed
}

run_tests
