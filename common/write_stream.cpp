#include "common/write_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
