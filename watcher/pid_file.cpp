#include "watcher/pid_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "common/replace_file.h"

int write_pid_file()
{
    // Left by a daemon killed while it wrote the file.
    remove_stale_scratch(pid_file_path);
    file_replacement replacement;
    if (begin_replacement(replacement, pid_file_path, 0644)
        && finish_replacement(replacement, fprintf(replacement.stream, "%d\n", static_cast<int>(getpid())) > 0) == 0)
        return 0;
    printf("create file %s failed %s\n", pid_file_path, strerror(errno));
    // The init script gives up waiting for the file and points to the log:
    // the reason must be there by then, not in a buffer of the detached daemon.
    fflush(stdout);
    return -1;
}
