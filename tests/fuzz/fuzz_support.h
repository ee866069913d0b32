// What the fuzz targets share: stand-ins for libcpld.so and libconfig.so that
// answer with what the fuzzer made, small file helpers for the sandbox's own
// /tmp, and the check that turns a broken promise into a crash the fuzzer
// keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fuzz {

// zrbcpld_read(reg) returns registers[reg]: any int, negative for a failed
// read. zrbcpld_write stores the byte.
extern int registers[256];

// config_get answers the keys in the order asked, one answer each, and
// records the keys; a missing answer, or one past the end, is a null pointer.
struct store_state {
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> keys_asked;
};
store_state &store();

[[noreturn]] void fail(const char *what, const char *file, int line);

// Ends the run unless it is inside the sandbox, whose /tmp and /dev are its
// own: the targets that need this work on the daemon's fixed paths.
void require_sandbox();

// Whole-file helpers; read_file is false when the file cannot be read.
bool read_file(const char *path, std::string &content);
void write_file(const char *path, const std::string &content);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> entries(const char *directory);
// Removes everything in the directory, subdirectories included.
void empty_directory(const char *directory);

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                                   \
    do {                                                                                                        \
        if (!(condition))                                                                                       \
            fuzz::fail(#condition, __FILE__, __LINE__);                                                         \
    } while (0)
