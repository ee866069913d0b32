// What a unit test sets and sees in the sandbox: a fake CPLD and settings in place of libcpld.so and
// libconfig.so, files, the stub commands' records.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/daemon_state.h"
#include "tables/event_directory.h"
#include "tables/tables.h"

namespace world {

// A negative value is a failed read; registers from 0xF0 up take no writes.
inline int registers[256];
// The configuration store; a key not there reads as no text at all.
inline std::map<std::string, std::string> settings;

inline std::string sim(const std::string &name) { return std::string(getenv("LINEWATCH_SIM_DIR")) + "/" + name; }
inline std::string read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void write(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

inline long open_files() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

// A shell command's exit status, -1 if it did not exit.
inline int run(const std::string &command)
{
    const int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The calls of the stub commands since the last look, "name\targ...\n" each.
inline std::string commands()
{
    const std::string ran = read(sim("commands"));
    write(sim("commands"), "");
    return ran;
}

// The stub's exit status, and shell code it runs first.
inline void stub(const std::string &name, int status, const std::string &run = "")
{
    write(sim("exit/" + name), std::to_string(status) + "\n");
    write(sim("run/" + name), run + "\n");
}

// /tmp/events in use as start-up leaves it, nothing else at a fixed path in /tmp, stubs that exit 0, no
// settings, and a fake device of zeros.
inline void fresh()
{
    reset_daemon_state();
    if (system("umount /tmp/events /tmp/di_status 2>/dev/null; mkdir -p /tmp/events") != 0
        || check_events_directory() == directory_none
        || system("cd \"$LINEWATCH_SIM_DIR\" && rm -rf /tmp/events/* exit/* run/* i2c /tmp/t.tmp /tmp/result "
                  "/tmp/led_status /tmp/di_status /tmp/victim") != 0)
        abort();
    settings.clear();
    prepare_tables();
    commands();
    std::fill(std::begin(registers), std::end(registers), 0);
}

} // namespace world

extern "C" int zrbcpld_read(int reg) { return reg >= 0 && reg < 256 ? world::registers[reg] : -1; }
extern "C" int zrbcpld_write(int reg, unsigned char value)
{
    return reg >= 0 && reg < 0xF0 ? (world::registers[reg] = value, 0) : -1;
}
extern "C" char *config_get(const char *key)
{
    const auto found = world::settings.find(key);
    return found == world::settings.end() ? nullptr : found->second.data();
}
