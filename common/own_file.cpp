#include "common/own_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Looked up once: the user does not change, and every pass opens nine files.
const uid_t own_user = geteuid();

} // namespace

bool own_regular_file(const struct stat &file)
{
    return S_ISREG(file.st_mode) && file.st_uid == own_user && file.st_nlink == 1;
}

int open_own_file(const char *path, int flags)
{
    const int fd = open(path, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat file;
    if (fd < 0)
        return -1;
    if (fstat(fd, &file) != 0 || !own_regular_file(file)
        || ((flags & O_TRUNC) != 0 && ftruncate(fd, 0) != 0)) {
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

int fopen_flags(const char *mode)
{
    const int access = mode[0] == 'r' ? O_RDONLY : (mode[1] == '+' ? O_RDWR : O_WRONLY) | O_CREAT;
    return access | (mode[0] == 'w' ? O_TRUNC : mode[0] == 'a' ? O_APPEND : 0);
}

FILE *open_own_stream(const char *path, const char *mode)
{
    const int fd = open_own_file(path, fopen_flags(mode));
    FILE *stream = fd < 0 ? nullptr : fdopen(fd, mode);
    if (fd >= 0 && stream == nullptr)
        close(fd);
    return stream;
}
