#!/usr/bin/env bash
# What bench/figures.sh makes of the journal, strace and Google Benchmark's
# reports, on small samples whose figures are known.
set -uo pipefail
# shellcheck source=analysis.sh
source "$(dirname "$0")/analysis.sh"

failed=0
expect() {
    local what=$1 actual=$2 expected=$3
    [ "$actual" = "$expected" ] && return 0
    echo "FAIL: $what"
    echo "  expected: $expected"
    echo "  actual:   $actual"
    failed=1
}

# The first and last groups of reads may be cut by the journal's window;
# register 16 and the requests are no part of a pass.
journal='10.000 read 9
10.001 read 10
10.100 read 9
10.101 read-failed 10
10.102 read 9
10.103 ioctl 17
10.110 read 16
10.205 read 9
10.207 read 10
10.310 read 9'
expect "whole passes" "$(passes_of_journal <<<"$journal")" $'10.100 10.102\n10.205 10.207'
expect "period and span" "$(passes_of_journal <<<"$journal" | period_stats)" "2 105.00 105.00 2.00"
expect "one pass has no period" "$(printf '1.0 1.1\n' | period_stats)" "1 0 0 0"

# Calls before the first sleep belong to a pass strace saw only in part; a
# sleep cut off by the detach still ends the pass before it.
trace='read(4</tmp/events/lan1status>, "0", 1) = 1 <0.000003>
restart_syscall(<... resuming interrupted clock_nanosleep ...>) = 0 <0.050000>
openat(AT_FDCWD, "/run/linewatch-twin/regs", O_RDONLY|O_CLOEXEC) = 4</run/linewatch-twin/regs> <0.000020>
pread64(4</run/linewatch-twin/regs>, "\0", 1, 9) = 1 <0.000010>
close(4</run/linewatch-twin/regs>) = 0 <0.000005>
openat(AT_FDCWD, "/run/linewatch-twin/config", O_RDONLY|O_CLOEXEC) = 4</run/linewatch-twin/config> <0.000030>
close(4</run/linewatch-twin/config>) = 0 <0.000004>
openat(AT_FDCWD, "/tmp/events/distatus", O_RDONLY|O_CLOEXEC) = 4</tmp/events/distatus> <0.000004>
read(4</tmp/events/distatus>, "0", 1) = 1 <0.000003>
close(4</tmp/events/distatus>) = 0 <0.000003>
clock_nanosleep(CLOCK_REALTIME, 0, {tv_sec=0, tv_nsec=100000000}, 0x7ffc5e1f7a30) = 0 <0.100200>
openat(AT_FDCWD, "/run/linewatch-twin/regs", O_RDONLY|O_CLOEXEC) = 4</run/linewatch-twin/regs> <0.000020>
pread64(4</run/linewatch-twin/regs>, "\0", 1, 9) = 1 <0.000010>
close(4</run/linewatch-twin/regs>) = 0 <0.000005>
openat(AT_FDCWD, "/run/linewatch-twin/config", O_RDONLY|O_CLOEXEC) = 4</run/linewatch-twin/config> <0.000030>
read(4</run/linewatch-twin/config>, "", 4096) = 0 <0.000010>
close(4</run/linewatch-twin/config>) = 0 <0.000004>
umask(000) = 022 <0.000002>
openat(AT_FDCWD, "/tmp/events/distatus", O_RDONLY|O_CLOEXEC) = 4</tmp/events/distatus> <0.000004>
read(4</tmp/events/distatus>, "0", 1) = 1 <0.000003>
close(4</tmp/events/distatus>) = 0 <0.000003>
clock_nanosleep(CLOCK_REALTIME, 0, {tv_sec=0, tv_nsec=100000000},  <unfinished ...>'
expect "system calls per pass" "$(pass_syscalls <<<"$trace")" \
    "2 3 3 2.5 0.5 100.200 1 1 1 openat:1,read:1,close:1 umask:0.5"
expect "no whole pass" "$(head -n 3 <<<"$trace" | pass_syscalls)" "none"

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
cat >"$csv" <<'CSV'
name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,label,error_occurred,error_message
"pass_without_change",1000,7.5,7.25,us,,,,,
"hold_period/real_time",10,100.25,0.05,ms,,,,,
"register_read",100,850,840,ns,,,,,
CSV
expect "microseconds" "$(bench_us "$csv" pass_without_change cpu)" "7.250"
expect "milliseconds, by real time" "$(bench_us "$csv" hold_period real)" "100250.000"
expect "nanoseconds" "$(bench_us "$csv" register_read real)" "0.850"
expect "whole names only" "$(bench_us "$csv" pass real)" ""

# Only interrupts that follow a register change are changes.
changes='1.000 irq
1.002 ioctl 51 returns
1.005 ioctl 17
2.000 set 9 0x10
2.001 irq
2.009 ioctl 17
3.000 set 9 0x00
3.001 irq
3.011 ioctl 17'
expect "change total" "$(change_total_ms <<<"$changes")" "9.000"
expect "no change" "$(head -n 3 <<<"$changes" | change_total_ms)" "0.000"

expect "latency median, p90, max" "$(printf '%s\n' 7000 3000 10000 1000 5000 2000 9000 4000 8000 6000 | latency_stats)" \
    "5.00 9.00 10.00"
expect "median of an odd count" "$(printf '3\n1\n2\n' | median)" "2"
expect "median of an even count" "$(printf '40\n10\n30\n20\n' | median)" "20"

[ $failed = 0 ] && echo "all passed"
exit $failed
