#!/usr/bin/env bash
# Crash safety: SIGKILL at random moments of changes, and a restart after each.
# After every kill no table is lost or holds a partial record and every status
# file is usable; after every restart the relay table is whole and no scratch
# file is left. Tallies each change's outputs per channel: once, twice, never.
#   crash_test.sh [KILLS] (`make crash` runs 1000; CRASH_SEED=N repeats a run)
source "$(dirname "$0")/lib.sh"

kills=${1:-200} seed=${CRASH_SEED:-$((RANDOM * 32768 + RANDOM))}
RANDOM=$seed
record='^(DI|Power1|Power2|Dcd1|Dcd2|Dsr1|Dsr2) (On|Off)##(Success|Fail)$|^Port_[12] Link_(up|down)##(Success|Fail)$'

# Output so far per channel: the input's warn lines, syslog lines, e-mails, traps.
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
    for file in "${status_files[@]}"; do grep -qx '[01]' $events/$file || fail "$file unusable: '$(cat $events/$file)'"; done
}

test_kills_during_changes() {
    echo "    seed $seed, $kills kills"
    # Each input e-mails on one change and sends a trap on one, at random: a
    # change runs no command, one, or both.
    local id email_mode=() trap_mode=() state=(0 0 0 0 0 0 0 0 0) k channel before after expected count pid twice=0
    local channel_names=(warn syslog e-mail trap)
    for id in "${!names[@]}"; do
        email_mode[id]=$((1 + RANDOM % 2)) trap_mode[id]=$((1 + RANDOM % 2))
        sim config "${email_keys[id]}" "${email_mode[id]}" && sim config "${trap_keys[id]}" "${trap_mode[id]}"
    done
    sim config relay_di 2 && sim config relay_lan1 1
    # Commands that take a moment, as real ones do: kills land in every step.
    for stub in sendemail sendtrap ledcontrol; do echo "sleep 0.01" >$sim_dir/run/$stub; done
    start_idle
    exec {ctl}<>"$LINEWATCH_TWIN_DIR/ctl"
    declare -A tally
    for ((k = 1; k <= kills; k++)); do
        id=$((RANDOM % 9)) state[id]=$((state[id] ^ 1))
        read -ra before <<<"$(outputs $id)"
        sim input "${names[id]}" "${state[id]}"
        # Straight to the twin: the kill follows the interrupt by the delay alone.
        printf 'irq\n' >&$ctl && IFS= read -r _ <&$ctl
        sleep "0.0$((RANDOM % 6))$((RANDOM % 10))"
        pid=$(pgrep -x linewatch) && kill -9 $pid && pidwait -x linewatch
        check_files
        sim start || fail "restart $k"
        expect_eq "relay table lines" "$(wc -l <$events/relaytable)" 9
        [ -z "$(ls -A $events | grep -Ev '^(relay|trap|email)table$|^[a-z0-9]+(status|warn)$')" ] || fail "stray files: $(ls -A $events)"
        # A command the killed daemon started runs to its end.
        pidwait -f '^(/bin/)?sh .*(sendemail|sendtrap|ledcontrol)'
        read -ra after <<<"$(outputs $id)"
        # Mode 1 acts on a change to 0, mode 2 on a change to 1.
        expected=(1 1 $((email_mode[id] == state[id] + 1)) $((trap_mode[id] == state[id] + 1)))
        for channel in 0 1 2 3; do
            count=$((after[channel] - before[channel]))
            if [ "${expected[channel]}" = 1 ]; then tally[$channel,$count]=$((${tally[$channel,$count]:-0} + 1))
            elif [ $count != 0 ]; then fail "change $k ran a command it should not"; fi
        done
    done
    # The state is recorded before the change is reported: nothing comes out
    # twice, and what is lost is what a kill cut off.
    for channel in 0 1 2 3; do
        echo "    ${channel_names[channel]}: once ${tally[$channel,1]:-0}, twice ${tally[$channel,2]:-0}, never ${tally[$channel,0]:-0}"
        twice=$((twice + ${tally[$channel,2]:-0}))
    done
    expect_eq "reported twice" "$twice" 0
}

run_tests
