// In-process costs of the daemon's code: one poll pass with no change and
// its parts, and one change with the commands it runs. Linked twice (see
// CMakeLists.txt): over in-process platform libraries, where the times are
// the daemon's own, and over the twin's stand-ins, where they are what the
// daemon pays on the twin. "CPU" is this process's alone; "Time" of the
// benchmarks that run commands is wall time and includes the commands.
//
// It writes the daemon's fixed paths, so it runs only inside the sandbox
// (bench/run does that).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "bench/bench_platform.h"
#include "common/command.h"
#include "device/cpld.h"
#include "notify/notify.h"
#include "tables/tables.h"
#include "watcher/change.h"
#include "watcher/config_store.h"
#include "watcher/event_source.h"
#include "watcher/main_loop.h"

namespace {

constexpr uint8_t di_bit = 0x10;

// A device at rest (serial lines off, as they read active low), fresh event
// files, and the records as after the daemon's start-up pass.
bool start_at_rest(benchmark::State &state)
{
    if (!bench_platform::reset() || zrbcpld_write(cpld::reg_serial, 0x0F) < 0) {
        state.SkipWithError("the platform cannot be reached");
        return false;
    }
    if (system("rm -rf /tmp/events && mkdir /tmp/events") != 0) {
        state.SkipWithError("cannot make a fresh /tmp/events");
        return false;
    }
    prepare_tables(source_count);
    event_table = initial_sources;
    poll_all(event_table);
    return true;
}

bool configure_di_for_every_command(benchmark::State &state)
{
    if (bench_platform::configure("email_di1", "2") && bench_platform::configure("snmp_trap_di", "1") &&
        bench_platform::configure("relay_di", "2"))
        return true;
    state.SkipWithError("cannot configure the digital input");
    return false;
}

// What the relay hold repeats every period, and an interrupt's pass when
// nothing changed: 9 register reads, 36 settings look-ups, 9 status files.
void pass_without_change(benchmark::State &state)
{
    if (!start_at_rest(state))
        return;
    for (auto _ : state)
        poll_all(event_table);
}
BENCHMARK(pass_without_change)->Unit(benchmark::kMicrosecond);

// The relay hold's loop: a pass, then the period's sleep. Time is the period
// between passes, CPU the daemon's cost of one period.
void hold_period(benchmark::State &state)
{
    if (!start_at_rest(state))
        return;
    for (auto _ : state) {
        poll_all(event_table);
        usleep(poll_period_us);
    }
}
BENCHMARK(hold_period)->UseRealTime()->Unit(benchmark::kMillisecond);

void register_read(benchmark::State &state)
{
    if (!start_at_rest(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(zrbcpld_read(cpld::reg_lines));
}
BENCHMARK(register_read)->Unit(benchmark::kMicrosecond);

void settings_lookup(benchmark::State &state)
{
    if (!start_at_rest(state) || !configure_di_for_every_command(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(config_get("relay_di"));
}
BENCHMARK(settings_lookup)->Unit(benchmark::kMicrosecond);

// The daemon's own part of a source's poll: its status file, read back.
void status_check(benchmark::State &state)
{
    if (!start_at_rest(state))
        return;
    event_source &source = event_table[source_pwr1];
    for (auto _ : state)
        detect_change(source);
}
BENCHMARK(status_check)->Unit(benchmark::kMicrosecond);

// One change of the digital input, alternately to 1 and to 0, each running
// the LED hook, the e-mail or the trap command and the relay-table edit
// through the shell, with the warn line, the status file, two syslog lines
// and a table record (at the 30-line cap once the tables are full).
void change_with_commands(benchmark::State &state)
{
    if (!start_at_rest(state) || !configure_di_for_every_command(state))
        return;
    event_source &di = event_table[source_di];
    uint8_t lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lines ^= di_bit;
        const bool set = zrbcpld_write(cpld::reg_lines, lines) == 0;
        state.ResumeTiming();
        if (!set) {
            state.SkipWithError("cannot set the digital input");
            break;
        }
        poll_source(di);
    }
}
BENCHMARK(change_with_commands)->UseRealTime()->Unit(benchmark::kMillisecond);

// What running one command costs the daemon beyond the command itself.
void command_that_exits_at_once(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(run_command("true"));
}
BENCHMARK(command_that_exits_at_once)->UseRealTime()->Unit(benchmark::kMillisecond);

void syslog_lines_of_a_change(benchmark::State &state)
{
    for (auto _ : state)
        log_event(initial_sources[source_di]);
}
BENCHMARK(syslog_lines_of_a_change)->Unit(benchmark::kMicrosecond);

void table_record_at_the_cap(benchmark::State &state)
{
    if (!start_at_rest(state))
        return;
    for (int i = 0; i < tables::record_cap; ++i)
        record_result(tables::trap_table, 0, "DI Off");
    for (auto _ : state)
        record_result(tables::trap_table, 0, "DI Off");
}
BENCHMARK(table_record_at_the_cap)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (getenv("LINEWATCH_SIM_DIR") == nullptr) {
        fprintf(stderr, "%s writes /tmp/events: run it inside the sandbox (bench/run)\n", argv[0]);
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::AddCustomContext("platform", bench_platform::name);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
