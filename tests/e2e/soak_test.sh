#!/usr/bin/env bash
# Soak: many transitions over all nine inputs with random modes and command
# outcomes, each pass awaited, against a model of the warn lines, the last 30
# trap and e-mail records and the relay lines; and no growth in descriptors or
# memory.  soak_test.sh [TRANSITIONS] (`make soak` runs 20000; SOAK_SEED=N repeats a run)
source "$(dirname "$0")/lib.sh"

transitions=${1:-2000} seed=${SOAK_SEED:-$((RANDOM * 32768 + RANDOM))}
RANDOM=$seed
on_messages=("DI On" "Power1 On" "Power2 On" "Dcd1 On" "Dcd2 On" "Dsr1 On" "Dsr2 On" "Port_1 Link_up" "Port_2 Link_up")
off_messages=("DI Off" "Power1 Off" "Power2 Off" "Dcd1 Off" "Dcd2 Off" "Dsr1 Off" "Dsr2 Off" "Port_1 Link_down" "Port_2 Link_down")
outcomes=(Success Fail)

# The model: what the daemon must have done.
state=(0 0 0 0 0 0 0 0 0) changes=(0 0 0 0 0 0 0 0 0) relay_line=("" "" "" "" "" "" "" "" "")
# The modes of keys[k]: each input's e-mail, then trap, then relay.
keys=("${email_keys[@]}" "${trap_keys[@]}" "${relay_keys[@]}") mode=() email_records=() trap_records=()

exec {ctl}<>"$LINEWATCH_TWIN_DIR/ctl"
twin() {
    local reply
    printf '%s\n' "$*" >&$ctl && IFS= read -r reply <&$ctl && [ "$reply" = ok ] || fail "twin '$*': $reply"
}
# The daemon held at the gate: it has finished its pass and starts no other.
quiet() { twin gate close && twin wait-gated $limit_ms; }

# Mode 1 acts on a change to 0, mode 2 on a change to 1.
acts() { { [ "$1" = 1 ] && [ "$2" = 0 ]; } || { [ "$1" = 2 ] && [ "$2" = 1 ]; }; }

model_flip() {
    local id=$1 s=$((state[$1] ^= 1)) message=${off_messages[$1]}
    [ "$s" = 1 ] && message=${on_messages[id]}
    ((done++, changes[id]++))
    acts "${mode[id]}" "$s" && email_records+=("$message##${outcomes[email_fails]}")
    acts "${mode[9 + id]}" "$s" && trap_records+=("$message##${outcomes[trap_fails]}")
    if acts "${mode[18 + id]}" "$s"; then relay_line[id]=$message; elif acts "${mode[18 + id]}" $((1 - s)); then relay_line[id]=""; fi
}

new_settings() {
    local k
    for k in "${!keys[@]}"; do mode[k]=$((RANDOM % 4)) && twin set "${keys[k]}" "${mode[k]}"; done
    email_fails=$((RANDOM % 3 == 0)) trap_fails=$((RANDOM % 3 == 0))
    echo $email_fails >$sim_dir/exit/sendemail && echo $trap_fails >$sim_dir/exit/sendtrap
}

# Open descriptors but the register file (open at the gate), and resident KiB.
daemon_figures() {
    local pid=/proc/$(pgrep -x linewatch | head -n1)
    echo "$(ls -l $pid/fd | grep -- ' -> ' | grep -vc 'linewatch-twin/regs') $(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' $pid/status)"
}

test_soak() {
    echo "    seed $seed, $transitions transitions"
    start_idle
    local done=0 pass i id flips start_figures end_figures
    for ((pass = 0; done < transitions; pass++)); do
        quiet
        [ $pass = 50 ] && start_figures=$(daemon_figures)
        [ $((pass % 20)) = 0 ] && new_settings
        # The daemon handles the inputs in id order within the pass.
        flips=()
        for ((i = RANDOM % 4; i >= 0; i--)); do flips[RANDOM % 9]=1; done
        for id in "${!flips[@]}"; do model_flip "$id" && sim input "${names[id]}" "${state[id]}" || fail "input"; done
        twin irq && twin gate open
    done
    quiet
    end_figures=$(daemon_figures)
    twin gate open

    for id in "${!names[@]}"; do
        expect_eq "warn lines of ${names[id]}" "$(cat $events/${warn_files[id]} 2>/dev/null | wc -l)" "${changes[id]}"
    done
    expect_eq "e-mail table" "$(cat $events/emailtable)" "$(printf '%s\n' "${email_records[@]}" | tail -n 30)"
    expect_eq "trap table" "$(cat $events/traptable)" "$(printf '%s\n' "${trap_records[@]}" | tail -n 30)"
    expect_eq "relay table" "$(cat $events/relaytable)" "$(printf '%s\n' "${relay_line[@]}")"
    echo "    passes $pass, e-mail records ${#email_records[@]}, trap records ${#trap_records[@]};" \
        "descriptors and RSS (KiB) after 50 passes: $start_figures, at the end: $end_figures"
    # A sanitizer's own descriptors and quarantine come and go as they please.
    ldd "$LINEWATCH_BUILD/linewatch" | grep -q 'lib[a-z]*san\.' && { echo "    (sanitizer build: descriptors and memory not compared)"; return 0; }
    expect_eq "open descriptors" "${end_figures% *}" "${start_figures% *}"
    [ $((${end_figures#* } - ${start_figures#* })) -le 64 ] || fail "RSS grew from ${start_figures#* } to ${end_figures#* } KiB"
}

run_tests
