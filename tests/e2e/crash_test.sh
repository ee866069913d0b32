#!/usr/bin/env bash
# Crash safety: the daemon is killed with SIGKILL at random moments while it
# handles changes, and restarted each time. After every kill no table is lost
# or holds a partial record and every status file is usable; after every
# restart the relay table is whole and no scratch file is left. Counts how
# often each change came out through each channel: once, twice or never.
#
#   crash_test.sh [KILLS]      `make crash` runs 1000
#   CRASH_SEED=N crash_test.sh ...
source "$(dirname "$0")/lib.sh"

kills=${1:-200}
seed=${CRASH_SEED:-$((RANDOM * 32768 + RANDOM))}
RANDOM=$seed
record='^(DI|Power1|Power2|Dcd1|Dcd2|Dsr1|Dsr2) (On|Off)##(Success|Fail)$|^Port_[12] Link_(up|down)##(Success|Fail)$'

# Mode 1 acts on a change to 0, mode 2 on a change to 1.
acts() { { [ "$1" = 1 ] && [ "$2" = 0 ]; } || { [ "$1" = 2 ] && [ "$2" = 1 ]; }; }

# What each channel has put out so far: the input's warn lines, syslog lines,
# e-mail and trap commands.
outputs() {
    echo "$(cat $events/${warn_files[$1]} 2>/dev/null | wc -l) $(grep -c '^<14>' $sim_dir/syslog)" \
        "$(grep -c '^sendemail' $sim_dir/commands) $(grep -c '^sendtrap' $sim_dir/commands)"
}

check_files() {
    local table file
    for table in traptable emailtable; do
        [ -f $events/$table ] || fail "$table lost"
        ! grep -Evq "$record" $events/$table || fail "$table holds a partial record"
        [ -z "$(tail -c1 $events/$table)" ] || fail "$table ends inside a record"
    done
    for file in "${status_files[@]}"; do
        grep -qx '[01]' $events/$file || fail "$file unusable: '$(cat $events/$file)'"
    done
}

test_kills_during_changes() {
    echo "    seed $seed, $kills kills"
    # Each input e-mails on one change and sends a trap on one, at random: a
    # change runs no command, one, or both.
    local id email_mode=() trap_mode=() state=(0 0 0 0 0 0 0 0 0) k channel before after expected count pid
    for id in "${!names[@]}"; do
        email_mode[id]=$((1 + RANDOM % 2)) trap_mode[id]=$((1 + RANDOM % 2))
        sim config "${email_keys[id]}" "${email_mode[id]}"
        sim config "${trap_keys[id]}" "${trap_mode[id]}"
    done
    sim config relay_di 2
    sim config relay_lan1 1
    # Commands that take a moment, as real ones do, so that kills land in
    # every step of a change.
    for stub in sendemail sendtrap ledcontrol; do echo "sleep 0.01" >$sim_dir/run/$stub; done
    start_idle
    exec {ctl}<>"$LINEWATCH_TWIN_DIR/ctl"
    declare -A tally
    for ((k = 1; k <= kills; k++)); do
        id=$((RANDOM % 9))
        state[id]=$((1 - state[id]))
        read -ra before <<<"$(outputs $id)"
        sim input "${names[id]}" "${state[id]}"
        # Straight to the twin, so that the kill follows the interrupt by no
        # more than the random delay, which spans a whole change.
        printf 'irq\n' >&$ctl
        IFS= read -r _ <&$ctl
        sleep "0.0$((RANDOM % 6))$((RANDOM % 10))"
        pid=$(pgrep -x linewatch) && kill -9 $pid && pidwait -x linewatch
        check_files
        sim start || fail "restart $k"
        expect_eq "relay table lines" "$(wc -l <$events/relaytable)" 9
        [ -z "$(ls -A $events | grep -Ev '^(relay|trap|email)table$|^[a-z0-9]+(status|warn)$')" ] || fail "stray files: $(ls -A $events)"
        # A command the killed daemon started runs to its end.
        pidwait -f '^(/bin/)?sh .*(sendemail|sendtrap|ledcontrol)'
        read -ra after <<<"$(outputs $id)"
        expected=(1 1 0 0)
        acts "${email_mode[id]}" "${state[id]}" && expected[2]=1
        acts "${trap_mode[id]}" "${state[id]}" && expected[3]=1
        for channel in 0 1 2 3; do
            count=$((after[channel] - before[channel]))
            if [ "${expected[channel]}" = 1 ]; then
                tally[$channel,$count]=$((${tally[$channel,$count]:-0} + 1))
            else
                [ $count = 0 ] || fail "change $k ran a command it should not"
            fi
        done
    done
    # The state is recorded before the change is reported: nothing comes out
    # twice, and what is lost is what a kill cut off.
    local channel_names=(warn syslog e-mail trap) twice=0
    for channel in 0 1 2 3; do
        echo "    ${channel_names[channel]}: once ${tally[$channel,1]:-0}, twice ${tally[$channel,2]:-0}, never ${tally[$channel,0]:-0}"
        twice=$((twice + ${tally[$channel,2]:-0}))
    done
    expect_eq "reported twice" "$twice" 0
}

run_tests
