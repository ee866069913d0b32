// libirqshim.so: preloaded into a cross-built program that runs under qemu's
// user mode, which refuses the interrupt device's ioctl requests. A request
// on the interrupt device becomes a one-byte pread at the request code's
// offset, which qemu passes through and the twin's cpldirq file performs
// (blocking for 0x33) and journals as it does the request itself. Every
// other ioctl goes to the kernel unchanged. For tests only; never installed.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "device/cpld.h"

namespace {

// The commands the program runs are host programs: the host's loader would
// complain about a PowerPC library in their environment.
__attribute__((constructor)) void leave_no_trace_in_children()
{
    unsetenv("LD_PRELOAD");
}

// By device and inode, not by the path the fd was opened with: the program
// may hold the device under any number.
bool is_irq_device(int fd)
{
    struct stat device, opened;
    return stat(cpld::irq_device_path, &device) == 0 && fstat(fd, &opened) == 0 &&
           device.st_dev == opened.st_dev && device.st_ino == opened.st_ino;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);

    if (!is_irq_device(fd))
        return static_cast<int>(syscall(SYS_ioctl, fd, request, argument));
    unsigned char answer;
    const ssize_t got = pread(fd, &answer, 1, static_cast<off_t>(request));
    if (got == 1)
        return 0;
    if (got == 0)
        errno = ENOTTY;
    return -1;
}
