# shellcheck shell=bash
# What bench/figures.sh makes of its raw measurements, sourced by it and by
# bench/analysis_test.sh. Each function reads text and prints numbers;
# none touches the daemon or the twin.

# The journal's whole passes: reads of registers 9 and 10 less than 20 ms
# apart belong to one pass. Prints each pass's first and last read time; the
# first and the last group may be cut by the journal's window and are left
# out.
passes_of_journal() {
    awk '
        ($2 == "read" || $2 == "read-failed") && ($3 == 9 || $3 == 10) {
            if (n > 0 && $1 - last > 0.02) { starts[++k] = first; ends[k] = last; first = $1 }
            if (n++ == 0) first = $1
            last = $1
        }
        END { for (i = 2; i <= k; i++) print starts[i], ends[i] }'
}

# From passes_of_journal: "COUNT MEAN_PERIOD_MS MAX_PERIOD_MS MEAN_SPAN_MS",
# the period being from one pass's first read to the next one's.
period_stats() {
    awk '
        NR > 1 { d = ($1 - previous) * 1000; sum += d; if (d > max) max = d }
        { previous = $1; span += ($2 - $1) * 1000 }
        END {
            if (NR < 2) print NR, 0, 0, 0
            else printf "%d %.2f %.2f %.2f\n", NR, sum / (NR - 1), max, span / NR
        }'
}

# From `strace -y -T` of the daemon in the relay hold: the system calls of
# the whole passes between two of the hold's sleeps, per pass, by the files
# they touch. Prints "PASSES OWN REGS SETTINGS OTHER SLEEP_MS READS LOOKUPS
# STATUS OWN_CALLS OTHER_CALLS": the daemon's own calls on its event files,
# the platform stand-ins' on the twin's register and settings files, any
# others, the mean time a sleep took, the register reads, settings look-ups
# and status files opened, and the own and other calls by name ("-" for
# none); or "none" when no whole pass was seen.
pass_syscalls() {
    awk '
        function flush(k) { passes++; for (k in now) total[k] += now[k]; delete now }
        function count(key) { if (!(key in named)) named[key] = ++keys; now[key]++ }
        # The calls under PREFIX by name, in the order first seen.
        function listed(prefix,    i, k, list) {
            for (i = 1; i <= keys; i++)
                for (k in named)
                    if (named[k] == i && index(k, prefix) == 1 && k in total)
                        list = list (list ? "," : "") substr(k, length(prefix) + 1) ":" total[k] / passes
            return list ? list : "-"
        }
        /^clock_nanosleep\(|resuming interrupted clock_nanosleep/ {
            if (started) flush()
            started = 1
            if (/^clock_nanosleep\(/ && match($0, /<[0-9.]+>$/)) { slept += substr($0, RSTART + 1, RLENGTH - 2); sleeps++ }
            next
        }
        !started { next }
        { call = substr($0, 1, index($0, "(") - 1) }
        /linewatch-twin\/regs/ { now["regs"]++; if (call ~ /^pread/) now["reads"]++; next }
        /linewatch-twin\/config/ { now["settings"]++; if (call == "openat") now["lookups"]++; next }
        /\/tmp\/events\// {
            now["own"]++
            count("own " call)
            if (call == "openat" && /\/tmp\/events\/[a-z0-9]+status"/) now["status"]++
            next
        }
        { now["other"]++; count("other " call) }
        END {
            if (passes == 0) { print "none"; exit }
            printf "%d %g %g %g %g %.3f %g %g %g %s %s\n", passes, total["own"] / passes, total["regs"] / passes,
                total["settings"] / passes, total["other"] / passes, sleeps ? slept / sleeps * 1000 : 0,
                total["reads"] / passes, total["lookups"] / passes, total["status"] / passes,
                listed("own "), listed("other ")
        }'
}

# bench_us CSV NAME real|cpu: one result of a Google Benchmark CSV report,
# in microseconds ("/real_time" left off the name).
bench_us() {
    awk -F, -v name="$2" -v column="$3" '
        { gsub(/"/, "", $1); sub(/\/real_time$/, "", $1) }
        $1 == name {
            value = column == "real" ? $3 : $4
            scale = $5 == "ns" ? 0.001 : $5 == "ms" ? 1000 : $5 == "s" ? 1000000 : 1
            printf "%.3f\n", value * scale
        }' "$1"
}

# From the journal: the mean time in ms from a change's interrupt (one that
# follows a register being set) to the daemon's next request 0x11.
change_total_ms() {
    awk '
        $2 == "irq" && previous == "set" { raised = $1 }
        $2 == "ioctl" && $3 == 17 && raised { sum += $1 - raised; n++; raised = 0 }
        { previous = $2 }
        END { printf "%.3f\n", n ? sum / n * 1000 : 0 }'
}

# Microseconds, one a line, to "MEDIAN P90 MAX" in milliseconds.
latency_stats() {
    sort -n | awk '
        { v[NR] = $1 / 1000 }
        END { if (NR) printf "%.2f %.2f %.2f\n", v[int((NR + 1) / 2)], v[int(NR * 0.9 + 0.999)], v[NR] }'
}

# Numbers, one a line, to their median (the lower one of an even count).
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'
}
