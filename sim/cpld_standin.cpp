// Host stand-in for the device's libcpld.so: register N is byte N of the
// twin's register file. The twin fails a read or write with an I/O error
// when a test asks it to, which comes back here as -1.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "device/cpld.h"
#include "sim/twin_paths.h"

namespace {

int open_registers(int flags)
{
    char path[PATH_MAX];
    const int length = snprintf(path, sizeof path, "%s/regs", twin::dir());
    if (length < 0 || static_cast<size_t>(length) >= sizeof path)
        return -1;
    return open(path, flags | O_CLOEXEC);
}

bool valid_register(int reg)
{
    return reg >= 0 && reg <= 255;
}

} // namespace

extern "C" int zrbcpld_read(int reg)
{
    if (!valid_register(reg))
        return -1;
    const int fd = open_registers(O_RDONLY);
    if (fd < 0)
        return -1;
    unsigned char value;
    const ssize_t got = pread(fd, &value, 1, reg);
    close(fd);
    return got == 1 ? value : -1;
}

extern "C" int zrbcpld_write(int reg, unsigned char value)
{
    if (!valid_register(reg))
        return -1;
    const int fd = open_registers(O_WRONLY);
    if (fd < 0)
        return -1;
    const ssize_t put = pwrite(fd, &value, 1, reg);
    close(fd);
    return put == 1 ? 0 : -1;
}
