#include "common/write_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE *open_write_stream(const char *path, const char *mode)
{
    int flags = O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    const bool update = strchr(mode, '+') != nullptr;
    flags |= update ? O_RDWR : O_WRONLY;
    if (mode[0] == 'w')
        flags |= O_TRUNC;
    else if (mode[0] == 'a')
        flags |= O_APPEND;
    else {
        errno = EINVAL;
        return nullptr;
    }

    const int fd = open(path, flags, 0666);
    if (fd < 0)
        return nullptr;
    FILE *stream = fdopen(fd, mode);
    if (stream == nullptr) {
        const int saved = errno;
        close(fd);
        errno = saved;
    }
    return stream;
}

FILE *open_read_stream(const char *path)
{
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    FILE *stream = fdopen(fd, "r");
    if (stream == nullptr)
        close(fd);
    return stream;
}

FILE *open_own_stream(const char *path, const char *mode)
{
    const bool append = mode[0] == 'a';
    // No O_TRUNC here: a file is emptied only once it is known to be ours.
    const int fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : 0), 0666);
    if (fd < 0)
        return nullptr;
    struct stat file;
    if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode) || file.st_uid != geteuid() || file.st_nlink != 1
        || (!append && ftruncate(fd, 0) != 0)) {
        close(fd);
        errno = EPERM;
        return nullptr;
    }
    FILE *stream = fdopen(fd, mode);
    if (stream == nullptr)
        close(fd);
    return stream;
}
