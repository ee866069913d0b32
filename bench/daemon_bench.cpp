// In-process costs of the daemon's code: a poll pass without change and its
// platform calls, the relay hold's loop, and a change with its commands.
// Linked twice (see CMakeLists.txt): over in-process platform libraries,
// where the times are the daemon's own, and over the twin's stand-ins, where
// they are what the daemon pays on the twin; with the same settings on both
// (bench/run gives the twin those of bench/inprocess_platform.cpp). "CPU" is
// this process's alone; "Time" of the benchmarks that run commands is wall
// time and includes the commands.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "common/command.h"
#include "common/daemon_state.h"
#include "device/cpld.h"
#include "tables/tables.h"
#include "watcher/config_store.h"
#include "watcher/change.h"
#include "watcher/event_source.h"
#include "watcher/main_loop.h"

namespace {

// A device at rest (serial lines off, as they read active low), fresh event
// files, and the records as after the daemon's start-up pass.
bool start_at_rest(benchmark::State &state)
{
    if (zrbcpld_write(cpld::reg_lines, 0) < 0 || zrbcpld_write(cpld::reg_serial, 0x0F) < 0 ||
        system("rm -rf /tmp/events && mkdir /tmp/events") != 0) {
        state.SkipWithError("cannot bring the device and /tmp/events to rest");
        return false;
    }
    reset_daemon_state();
    event_table = initial_sources;
    poll_all(event_table);
    return true;
}

// What the relay hold repeats every period, and an interrupt's pass when
// nothing changed: 9 register reads, 36 settings look-ups, 9 status files.
void pass_without_change(benchmark::State &state)
{
    if (start_at_rest(state))
        for (auto _ : state)
            poll_all(event_table);
}
BENCHMARK(pass_without_change)->Unit(benchmark::kMicrosecond);

// Time is the period between the hold's passes, CPU the daemon's cost of one.
void hold_period(benchmark::State &state)
{
    if (start_at_rest(state))
        for (auto _ : state) {
            poll_all(event_table);
            usleep(poll_period_us);
        }
}
BENCHMARK(hold_period)->UseRealTime()->Unit(benchmark::kMicrosecond);

void register_read(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(zrbcpld_read(cpld::reg_lines));
}
BENCHMARK(register_read)->Unit(benchmark::kMicrosecond);

void settings_lookup(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(config_get("relay_di"));
}
BENCHMARK(settings_lookup)->Unit(benchmark::kMicrosecond);

// One change of the digital input, alternately to 1 and to 0, each running
// the LED hook, the e-mail or the trap command and the relay-table edit
// through the shell, with the warn line, the status file, two syslog lines
// and a table record (at the 30-line cap once the tables are full).
void change_with_commands(benchmark::State &state)
{
    if (start_at_rest(state))
        for (auto _ : state) {
            zrbcpld_write(cpld::reg_lines, static_cast<unsigned char>(zrbcpld_read(cpld::reg_lines) ^ 0x10));
            poll_source(event_table[source_di]);
        }
}
BENCHMARK(change_with_commands)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One relay-line edit, set and emptied in turn: the table read, the line put
// in, the table written and renamed into place.
void relay_edit(benchmark::State &state)
{
    if (start_at_rest(state))
        for (auto _ : state)
            set_relay_line(source_di, state.iterations() % 2 == 0 ? "DI On" : "");
}
BENCHMARK(relay_edit)->UseRealTime()->Unit(benchmark::kMicrosecond);

// What running one command costs the daemon beyond the command itself.
void command_that_exits_at_once(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(run_command("true"));
}
BENCHMARK(command_that_exits_at_once)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // The benchmarks write the daemon's fixed paths.
    if (getenv("LINEWATCH_SIM_DIR") == nullptr) {
        fprintf(stderr, "%s: run it inside the sandbox (bench/run)\n", argv[0]);
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
}
