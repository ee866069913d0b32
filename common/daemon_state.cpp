#include "common/daemon_state.h"

#include <unistd.h>

daemon_state daemon_memory = {-1, {}, {}, {}, {}, {}, {}};

void reset_daemon_state()
{
    if (daemon_memory.directory_fd >= 0)
        close(daemon_memory.directory_fd);
    daemon_memory = {-1, {}, {}, {}, {}, {}, {}};
}
