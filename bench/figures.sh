#!/usr/bin/env bash
# Inside the sandbox with the twin (bench/run starts it): measures what the
# daemon costs and prints every figure beside its budget. In-process costs
# come from linewatch-bench (the daemon's own code) and linewatch-bench-twin
# (the same over the twin's stand-ins); whole-process figures from the real
# daemon on the twin, read from /proc, the twin's journal and strace.
#
#   figures.sh [--quick] [--check]
#
# A figure over its budget is reported, not an error: only a measurement
# that could not be made fails the run. --check also fails it when a budget
# that counts events rather than time is missed (wake-ups and requests while
# idle, the pass's own system calls).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../tests/e2e/lib.sh
source "$here/../tests/e2e/lib.sh"
# shellcheck source=analysis.sh
source "$here/analysis.sh"

quick=0 check=0
for option in "$@"; do
    case $option in
    --quick) quick=1 ;;
    --check) check=1 ;;
    *) echo "usage: figures.sh [--quick] [--check]" >&2; exit 2 ;;
    esac
done
if [ $quick = 1 ]; then
    idle_s=1 hold_s=1 trace_s=1 changes=5 soak_changes=20 bench_time=0.001
else
    idle_s=10 hold_s=10 trace_s=3 changes=100 soak_changes=1000 bench_time=1
fi
build=$LINEWATCH_BUILD
scratch=/tmp/bench
mkdir -p "$scratch"
hz=$(getconf CLK_TCK)
rows=()
missed=()

daemon_pid() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/exe" 2>/dev/null)" = "$build/linewatch" ] && { echo "${p#/proc/}"; return 0; }
    done
    fail "the daemon is not running"
}
# User and system time in clock ticks: the process's own, or that of the
# children it has waited for.
own_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
child_ticks() { awk '{ print $16 + $17 }' "/proc/$1/stat"; }
# Its own to the nanosecond, where the kernel keeps that.
cpu_ns() {
    if [ -r "/proc/$1/schedstat" ]; then
        cut -d' ' -f1 "/proc/$1/schedstat"
    else
        echo $(($(own_ticks "$1") * 1000000000 / hz))
    fi
}
switches() { awk '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print n }' "/proc/$1/status"; }
status_kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
twin_us() { bench_us "$scratch/linewatch-bench-twin.csv" "$@"; }
own_us() { bench_us "$scratch/linewatch-bench.csv" "$@"; }

# row FIGURE WHAT MEASURED [BUDGET VALUE LIMIT [counted]]: a line of the
# table, "met" when VALUE <= LIMIT. A counted budget missed fails --check.
row() {
    local verdict=""
    if [ $# -ge 6 ]; then
        verdict=$(awk -v m="$5" -v l="$6" 'BEGIN { print (m <= l ? "met" : "over") }')
        [ "$verdict" = over ] && [ "${7:-}" = counted ] && missed+=("$2: $3")
    fi
    rows+=("$(printf '%-2s %-54s %-28s %-8s %s' "$1" "$2" "$3" "${4:-}" "$verdict")")
}

echo "== In-process (Google Benchmark), inside the sandbox"
# The settings of the in-process platform (bench/inprocess_platform.cpp).
fresh
sim config email_di1 2
sim config snmp_trap_di 1
sim config relay_di 2
for program in linewatch-bench linewatch-bench-twin; do
    "$build/bench/$program" --benchmark_min_time=$bench_time \
        --benchmark_out="$scratch/$program.csv" --benchmark_out_format=csv ||
        fail "$program failed"
    errors=$(awk -F, 'NR > 1 && $9 == "true" { print $1 ": " $10 }' "$scratch/$program.csv")
    [ -z "$errors" ] || fail "$program: $errors"
done
echo
echo "== Whole process: the daemon on the twin"

# 1. Idle: asleep in request 0x33, nothing may run.
fresh
start_idle
pid=$(daemon_pid)
# The twin sees the request a moment before the daemon is asleep in it.
sleep 0.1
sim twin journal-clear
ticks0=$(own_ticks "$pid") switches0=$(switches "$pid") ns0=$(cpu_ns "$pid")
sleep "$idle_s"
ticks1=$(own_ticks "$pid") switches1=$(switches "$pid") ns1=$(cpu_ns "$pid")
entries=$(sim journal | wc -l)
row 1 "idle ${idle_s} s: CPU time (utime+stime)" "$((ticks1 - ticks0)) ticks ($(calc %.3f "($ns1 - $ns0) / 1e6") ms)" \
    "0 ticks" "$((ticks1 - ticks0))" 0
row 1 "idle ${idle_s} s: wake-ups (context switches)" "$((switches1 - switches0))" 0 "$((switches1 - switches0))" 0 counted
row 1 "idle ${idle_s} s: requests and reads in the journal" "$entries" 0 "$entries" 0 counted

# 2. Relay hold without change: LAN 2's relay held, a pass every period.
fresh
sim config relay_lan2 1
sim reg 9 0x08
start_idle
pid=$(daemon_pid)
sim input lan2 0
sim irq
for _ in $(seq 100); do
    [ "$(sed -n 9p /tmp/events/relaytable)" = "Port_2 Link_down" ] && break
    sleep 0.1
done
[ "$(sed -n 9p /tmp/events/relaytable)" = "Port_2 Link_down" ] || fail "the relay hold did not begin"
sleep 0.3
sim twin journal-clear
ns0=$(cpu_ns "$pid") ticks0=$(own_ticks "$pid")
sleep "$hold_s"
ns1=$(cpu_ns "$pid") ticks1=$(own_ticks "$pid")
read -r pass_count period_ms period_max_ms span_ms < <(sim journal | passes_of_journal | period_stats)
[ "$pass_count" -ge 2 ] || fail "no passes in the relay hold"
share=$(calc %.3f "($ns1 - $ns0) / ($hold_s * 1e9) * 100")
row 2 "hold ${hold_s} s: CPU share of one core" "$share % ($((ticks1 - ticks0)) ticks)" "0.5 %" "$share" 0.5
row 2 "hold: period between passes (mean, max)" "$period_ms ms (max $period_max_ms)" "101 ms" "$period_ms" 101
row 2 "  the pass, first to last register read" "$span_ms ms"
own_period=$(own_us hold_period real)
own_share=$(calc %.3f "$(own_us hold_period cpu) / $own_period * 100")
row 2 "hold, in-process: CPU share, the daemon's own" "$own_share %" "0.5 %" "$own_share" 0.5
row 2 "hold, in-process: period, the daemon's own" "$(calc %.2f "$own_period / 1000") ms" "101 ms" \
    "$(calc %.3f "$own_period / 1000")" 101

# 3. One pass without change, still in the hold: the system calls of the
# whole passes strace sees between two of the hold's sleeps.
timeout -s INT "$trace_s" strace -y -T -qq -o "$scratch/pass.trace" -p "$pid" || true
sim stop
[ -s "$scratch/pass.trace" ] || fail "strace could not trace the daemon"
read -r traced own_calls reg_calls setting_calls other_calls slept_ms reads lookups status_files own_list other_list \
    < <(pass_syscalls <"$scratch/pass.trace")
[ "$traced" != none ] || fail "strace saw no whole pass"
per_file=$(calc %.2f "$own_calls / 9")
row 3 "pass: register reads, look-ups, status files read" "$reads, $lookups, $status_files" "9, 36, 9"
row 3 "pass: the daemon's system calls per status file" "$per_file" 3 "$per_file" 3 counted
row 3 "pass: system calls, the daemon's own" "$own_calls (${own_list//,/, })"
row 3 "pass: system calls, others" "$other_calls (${other_list//,/, })" 0 "$other_calls" 0 counted
row 3 "pass: system calls, the platform stand-ins'" "$((reg_calls + setting_calls)): regs $reg_calls, settings $setting_calls"
row 3 "pass: the period's sleep, as strace -T saw it" "$slept_ms ms"
twin_pass=$(twin_us pass_without_change cpu)
own_pass=$(own_us pass_without_change cpu)
row 3 "pass, in-process on the twin: wall, CPU" \
    "$(calc %.2f "$(twin_us pass_without_change real) / 1000") ms, $(calc %.2f "$twin_pass / 1000") ms"
row 3 "pass, in-process: CPU, the daemon's own" "$own_pass us"
row 3 "  share of the pass's CPU in the stand-ins" "$(calc %.1f "($twin_pass - $own_pass) / $twin_pass * 100") %"
row 3 "  one register read, one look-up (twin, CPU)" "$(twin_us register_read cpu) us, $(twin_us settings_lookup cpu) us"

# 4. Changes: the interrupt to the warn line, and what the daemon spends
# beyond its commands (stubs that exit at once). Each change follows an
# interrupt without one, so that the change's own cost is the difference.
fresh
sim config email_di1 2
sim config snmp_trap_di 1
start_idle
pid=$(daemon_pid)
sim twin journal-clear
children0=$(child_ticks "$pid")
# The daemon's CPU time over each change's pass and over that bare pass,
# read while it sleeps in its interrupt wait.
for _ in $(seq "$changes"); do
    ns0=$(cpu_ns "$pid")
    sim irq
    sim twin wait-idle $limit_ms || fail "no pass after an interrupt"
    ns1=$(cpu_ns "$pid")
    latency=$("$build/bench/change-driver" 1) || fail "change-driver failed"
    echo "$latency $(($(cpu_ns "$pid") - ns1)) $((ns1 - ns0))"
done >"$scratch/changes"
children1=$(child_ticks "$pid")
expect_eq "warn lines" "$(wc -l </tmp/events/diwarn)" "$changes"
total_ms=$(sim journal | change_total_ms)
read -r latency_median latency_p90 latency_max < <(cut -d' ' -f1 "$scratch/changes" | latency_stats)
change_ms=$(calc %.4f "$(cut -d' ' -f2 "$scratch/changes" | median) / 1e6")
bare_ms=$(calc %.4f "$(cut -d' ' -f3 "$scratch/changes" | median) / 1e6")
beyond_ms=$(calc %.4f "$change_ms - $bare_ms")
own_part=$(calc %.2f "$beyond_ms / $total_ms * 100")
row 4 "change: interrupt to DI warn line (median, p90, max)" "$latency_median, $latency_p90, $latency_max ms"
row 4 "change: interrupt to 0x11, the change's total" "$total_ms ms"
row 4 "change: daemon CPU over its pass (median)" "$(calc %.3f "$change_ms") ms"
row 4 "  over a pass without change (median)" "$(calc %.3f "$bare_ms") ms"
row 4 "change: the commands' CPU (cutime+cstime)" "$(calc %.3f "($children1 - $children0) * 1000 / $hz / $changes") ms"
row 4 "change: the daemon's own part of the total" "$own_part % ($(calc %.3f "$beyond_ms") ms)" "10 %" "$own_part" 10
change_real=$(own_us change_with_commands real)
change_cpu=$(own_us change_with_commands cpu)
in_process_part=$(calc %.2f "$change_cpu / $change_real * 100")
row 4 "change, in-process, 3 commands: own part" \
    "$in_process_part % ($(calc %.3f "$change_cpu / 1000") of $(calc %.2f "$change_real / 1000") ms)" \
    "10 %" "$in_process_part" 10
row 4 "  one command, in-process: own CPU, wall" \
    "$(own_us command_that_exits_at_once cpu) us, $(calc %.2f "$(own_us command_that_exits_at_once real) / 1000") ms"

# 5. Peak memory after many changes, with every command and the relay.
fresh
sim config email_di1 2
sim config snmp_trap_di 1
sim config relay_di 2
start_idle
pid=$(daemon_pid)
"$build/bench/change-driver" "$soak_changes" >/dev/null || fail "change-driver failed"
expect_eq "warn lines" "$(wc -l </tmp/events/diwarn)" "$soak_changes"
peak=$(status_kib "$pid" VmHWM)
runtime_kib=$(awk '/^[0-9a-f]+-/ { lib = $6 } /^Rss:/ && lib ~ /lib(stdc\+\+|m|gcc_s)\.so/ { n += $2 } END { print n + 0 }' \
    "/proc/$pid/smaps")
sim stop
"$build/bench/idle-baseline" &
baseline_pid=$!
for _ in $(seq 100); do
    [ "$(awk '{ print $3 }' "/proc/$baseline_pid/stat")" = S ] && break
    sleep 0.02
done
baseline=$(status_kib "$baseline_pid" VmHWM)
kill "$baseline_pid"
wait "$baseline_pid" 2>/dev/null
row 5 "memory: VmHWM after $soak_changes changes" "$peak KiB"
row 5 "memory: VmHWM of a C program that does nothing" "$baseline KiB"
row 5 "memory: the daemon above that" "$((peak - baseline)) KiB" "2048 KiB" "$((peak - baseline))" 2048
row 5 "  of which the C++ runtime of the twin's libconfig.so" "$runtime_kib KiB"

echo
printf '%-2s %-54s %-28s %-8s %s\n' "" figure measured budget ""
printf '%s\n' "${rows[@]}" | sort -s -k1,1n | tee "$build/bench/figures.txt"
if [ $check = 1 ] && [ ${#missed[@]} -gt 0 ]; then
    printf 'FAIL: %s\n' "${missed[@]}"
    exit 1
fi
exit 0
