#include "watcher/detach.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "watcher/pid_file.h"

int detach(bool foreground)
{
    fflush(stdout);
    if (!foreground && daemon(1, 1) != 0) {
        printf("daemon failed %s\n", strerror(errno));
        return -1;
    }
    write_pid_file();
    return 0;
}
