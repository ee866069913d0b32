#include "watcher/main_loop.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "device/cpld.h"
#include "tables/event_directory.h"
#include "tables/status_files.h"
#include "tables/tables.h"
#include "watcher/change.h"
#include "watcher/startup.h"

namespace {

void request(int irq_fd, unsigned long code)
{
    ioctl(irq_fd, code, 0);
}

} // namespace

int relay_active_count(const event_source *table, size_t count)
{
    int active = 0;
    for (size_t i = 0; i < count; ++i)
        active += table[i].relay_active;
    return active;
}

void poll_all(source_table &table)
{
    if (check_events_directory() == directory_taken) {
        mark_states_unsaved();
        prepare_tables();
    }
    save_pending_states(table.data(), table.size());
    for (event_source &source : table)
        poll_source(source);
}

void hold_relays(source_table &table)
{
    while (relay_active_count(table.data(), table.size()) != 0) {
        poll_all(table);
        usleep(poll_period_us);
    }
}

void wait_for_busy_clear()
{
    while (zrbcpld_read(cpld::reg_busy) != 0)
        usleep(poll_period_us);
}

int run_daemon(bool foreground)
{
    shed_inherited_state();
    // A diagnostic written to a pipe nobody reads any more must fail, not end
    // the daemon.
    signal(SIGPIPE, SIG_IGN);

    const int irq_fd = openat(AT_FDCWD, cpld::irq_device_path, cpld::irq_open_flags);
    if (irq_fd < 0) {
        printf("open device:%s failed %s\n", cpld::irq_device_path, strerror(errno));
        return -1;
    }
    // The commands the daemon runs have no business with the interrupt device.
    fcntl(irq_fd, F_SETFD, FD_CLOEXEC);
    // After the device, so that its absence still leaves nothing behind.
    if (lock_single_instance() == 1)
        return 1;

    make_events_directory();
    poll_all(event_table);

    if (detach(foreground) != 0)
        return 1;

    request(irq_fd, cpld::request_arm);
    wait_for_busy_clear();
    for (;;) {
        request(irq_fd, cpld::request_wait_irq);
        request(irq_fd, cpld::request_ack_irq);
        poll_all(event_table);
        hold_relays(event_table);
        request(irq_fd, cpld::request_arm);
        wait_for_busy_clear();
    }
}
