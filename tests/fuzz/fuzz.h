// What the fuzz targets share: the check that turns a broken promise into a
// crash the fuzzer keeps, whole-file helpers for the sandbox's own /tmp, and
// stand-ins for libcpld.so and libconfig.so that fail every read.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

#define FUZZ_CHECK(condition) \
    ((condition) ? void() : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), abort()))

namespace fuzz {

// The targets work on the daemon's fixed paths: only where /tmp and /dev are
// the sandbox's own.
inline void require_sandbox()
{
    if (getenv("LINEWATCH_SIM_DIR") == nullptr) {
        fprintf(stderr, "run inside the sandbox: sim/sandbox --build BUILD -- TARGET ...\n");
        exit(2);
    }
}

// The whole file, "(none)" when it cannot be read.
inline std::string read(const char *path)
{
    std::string content;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    char block[4096];
    ssize_t got = -1;
    while (fd >= 0 && (got = ::read(fd, block, sizeof block)) > 0)
        content.append(block, size_t(got));
    close(fd);
    return got == 0 ? content : "(none)";
}

inline void write(const char *path, const std::string &content)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0 && ::write(fd, content.data(), content.size()) == ssize_t(content.size()));
    close(fd);
}

} // namespace fuzz

extern "C" int zrbcpld_read(int)
{
    return -1;
}

extern "C" int zrbcpld_write(int, unsigned char)
{
    return -1;
}

extern "C" char *config_get(const char *)
{
    return nullptr;
}
