#include "common/own_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Looked up once: a program's user does not change while it runs, and every
// pass opens nine files.
const uid_t own_user = geteuid();

} // namespace

int open_own_file(const char *path, int flags)
{
    const int fd = open(path, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat file;
    if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode) || file.st_uid != own_user || file.st_nlink != 1
        || ((flags & O_TRUNC) != 0 && ftruncate(fd, 0) != 0)) {
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

FILE *open_own_stream(const char *path, const char *mode)
{
    const bool update = strchr(mode, '+') != nullptr;
    int flags = update ? O_RDWR : O_WRONLY;
    if (mode[0] == 'r')
        flags = update ? O_RDWR : O_RDONLY;
    else if (mode[0] == 'w')
        flags |= O_CREAT | O_TRUNC;
    else
        flags |= O_CREAT | O_APPEND;
    const int fd = open_own_file(path, flags);
    FILE *stream = fd < 0 ? nullptr : fdopen(fd, mode);
    if (fd >= 0 && stream == nullptr)
        close(fd);
    return stream;
}
