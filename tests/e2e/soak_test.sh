#!/usr/bin/env bash
# Soak: many transitions over all nine inputs, with random modes and command
# outcomes, every pass awaited, checked against a model of what the daemon
# must produce: warn lines, the last 30 trap and e-mail records, the relay
# lines, and no growth in descriptors or memory.
#
#   soak_test.sh [TRANSITIONS]      `make soak` runs 20000
#   SOAK_SEED=N soak_test.sh ...    repeat a run
source "$(dirname "$0")/lib.sh"

transitions=${1:-2000}
seed=${SOAK_SEED:-$((RANDOM * 32768 + RANDOM))}
RANDOM=$seed
on_messages=("DI On" "Power1 On" "Power2 On" "Dcd1 On" "Dcd2 On" "Dsr1 On" "Dsr2 On" "Port_1 Link_up" "Port_2 Link_up")
off_messages=("DI Off" "Power1 Off" "Power2 Off" "Dcd1 Off" "Dcd2 Off" "Dsr1 Off" "Dsr2 Off" "Port_1 Link_down" "Port_2 Link_down")
# Register, bit and whether the line reads inverted, by id.
line_reg=(9 9 9 10 10 10 10 9 9)
line_bit=(4 0 1 1 3 0 2 2 3)
line_low=(0 0 0 1 1 1 1 0 0)

# The model: what the daemon must have done.
state=(0 0 0 0 0 0 0 0 0) changes=(0 0 0 0 0 0 0 0 0) relay_line=("" "" "" "" "" "" "" "" "")
email_mode=() trap_mode=() relay_mode=() email_records=() trap_records=()

exec {ctl}<>"$LINEWATCH_TWIN_DIR/ctl"
twin() {
    local reply
    printf '%s\n' "$*" >&$ctl
    IFS= read -r reply <&$ctl
    [ "$reply" = ok ] || fail "twin '$*': $reply"
}

# Mode 1 acts on a change to 0, mode 2 on a change to 1.
acts() { { [ "$1" = 1 ] && [ "$2" = 0 ]; } || { [ "$1" = 2 ] && [ "$2" = 1 ]; }; }

model_change() {
    local id=$1 s=${state[$1]} message=${off_messages[$1]}
    [ "$s" = 1 ] && message=${on_messages[id]}
    changes[id]=$((changes[id] + 1))
    acts "${email_mode[id]}" "$s" && email_records+=("$message##$email_outcome")
    acts "${trap_mode[id]}" "$s" && trap_records+=("$message##$trap_outcome")
    if acts "${relay_mode[id]}" "$s"; then relay_line[id]=$message; elif acts "${relay_mode[id]}" $((1 - s)); then relay_line[id]=""; fi
}

registers() {
    local id value=0
    for id in "${!names[@]}"; do
        [ "${line_reg[id]}" = "$1" ] && [ $((state[id] ^ line_low[id])) = 1 ] && value=$((value | (1 << line_bit[id])))
    done
    echo $value
}

exit_status() { if [ "$1" = Fail ]; then echo 1; else echo 0; fi; }

new_settings() {
    local id
    for id in "${!names[@]}"; do
        email_mode[id]=$((RANDOM % 4)) trap_mode[id]=$((RANDOM % 4)) relay_mode[id]=$((RANDOM % 4))
        twin set "${email_keys[id]}" "${email_mode[id]}"
        twin set "${trap_keys[id]}" "${trap_mode[id]}"
        twin set "${relay_keys[id]}" "${relay_mode[id]}"
    done
    email_outcome=Success trap_outcome=Success
    [ $((RANDOM % 3)) = 0 ] && email_outcome=Fail
    [ $((RANDOM % 3)) = 0 ] && trap_outcome=Fail
    exit_status $email_outcome >$sim_dir/exit/sendemail
    exit_status $trap_outcome >$sim_dir/exit/sendtrap
}

# Figures of the daemon held at the gate or asleep: open descriptors
# (but the register file, open while it waits at the gate) and resident KiB.
daemon_figures() {
    local pid
    pid=$(pgrep -x linewatch | head -n1)
    echo "$(ls -l "/proc/$pid/fd" | grep -- ' -> ' | grep -vc 'linewatch-twin/regs') $(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status")"
}

test_soak() {
    echo "    seed $seed, $transitions transitions"
    sim reg 10 "$(registers 10)"
    start_idle
    local done=0 pass=0 id flips start_figures end_figures
    while [ $done -lt $transitions ]; do
        twin gate close
        twin wait-gated $limit_ms
        [ $pass = 50 ] && start_figures=$(daemon_figures)
        [ $((pass % 20)) = 0 ] && new_settings
        flips=$((1 + RANDOM % 4))
        local flipped=(0 0 0 0 0 0 0 0 0)
        for ((i = 0; i < flips; i++)); do flipped[RANDOM % 9]=1; done
        for id in "${!names[@]}"; do
            [ "${flipped[id]}" = 1 ] && state[id]=$((1 - state[id])) && done=$((done + 1))
        done
        twin reg 9 "$(registers 9)"
        twin reg 10 "$(registers 10)"
        # The daemon handles the inputs in id order within the pass.
        for id in "${!names[@]}"; do [ "${flipped[id]}" = 1 ] && model_change "$id"; done
        twin irq
        twin gate open
        pass=$((pass + 1))
    done
    twin gate close
    twin wait-gated $limit_ms
    end_figures=$(daemon_figures)
    twin gate open

    for id in "${!names[@]}"; do
        expect_eq "warn lines of ${names[id]}" "$(cat $events/${warn_files[id]} 2>/dev/null | wc -l)" "${changes[id]}"
    done
    expect_eq "e-mail table" "$(cat $events/emailtable)" "$(printf '%s\n' "${email_records[@]}" | tail -n 30)"
    expect_eq "trap table" "$(cat $events/traptable)" "$(printf '%s\n' "${trap_records[@]}" | tail -n 30)"
    expect_eq "relay table" "$(cat $events/relaytable)" "$(printf '%s\n' "${relay_line[@]}")"
    echo "    passes $pass; e-mail records ${#email_records[@]}, trap records ${#trap_records[@]}"
    echo "    descriptors and RSS (KiB) after 50 passes: $start_figures; at the end: $end_figures"
    # A sanitizer's own descriptors and quarantine come and go as they please.
    if ldd "$LINEWATCH_BUILD/linewatch" | grep -q 'lib[a-z]*san\.'; then
        echo "    (sanitizer build: descriptors and memory not compared)"
        return 0
    fi
    expect_eq "open descriptors" "${end_figures% *}" "${start_figures% *}"
    [ $((${end_figures#* } - ${start_figures#* })) -le 64 ] || fail "RSS grew from ${start_figures#* } to ${end_figures#* } KiB"
}

run_tests
