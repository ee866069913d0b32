#include "watcher/single_instance.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int lock_single_instance()
{
    // Its descriptor stays open, unused, for the daemon's life; the commands
    // never inherit it. Never through a link, never waiting on a FIFO.
    const int fd = open(lock_file_path, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (fd >= 0 && errno == EWOULDBLOCK) {
        printf("another linewatch holds %s\n", lock_file_path);
        return 1;
    }
    printf("lock %s failed %s\n", lock_file_path, strerror(errno));
    if (fd >= 0)
        close(fd);
    return -1;
}
