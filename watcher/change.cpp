#include "watcher/change.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "notify/notify.h"
#include "tables/event_directory.h"
#include "tables/status_files.h"
#include "tables/tables.h"
#include "watcher/config_store.h"

namespace {

void load_mode(const char *key, uint8_t &mode)
{
    if (key == nullptr)
        return;
    const char *value = config_get(key);
    mode = static_cast<uint8_t>(value == nullptr ? 0 : atoi(value));
}

} // namespace

void poll_source(event_source &source)
{
    const int reading = source_readers[source.id]();
    if (reading >= 0)
        source.state = static_cast<uint8_t>(reading & 0xFF);
    load_settings(source);
    detect_change(source);
}

void load_settings(event_source &source)
{
    load_mode(source.syslog_key, source.syslog_mode);
    load_mode(source.email_key, source.email_mode);
    load_mode(source.trap_key, source.trap_mode);
    load_mode(source.relay_key, source.relay_mode);
}

void detect_change(event_source &source)
{
    const int recorded = recorded_state(source);
    if (recorded == state_unreadable)
        return;
    // First sight of a source: the state is recorded, and it is no event.
    if (recorded == state_unrecorded) {
        write_status(source);
        return;
    }
    if (recorded == source.state)
        return;
    // Recorded before it is reported: a daemon killed half-way loses the rest
    // of one change's notifications rather than report it all again.
    action_hooks[source.id](source.state);
    write_status(source);
    append_warn(source);
    notify_event(source);
}

int append_warn(const event_source &source)
{
    FILE *warn = open_event_stream(source.warn_path, "a+");
    if (warn == nullptr) {
        if (events_directory_in_use())
            printf("open file %s failed:%s\n", source.warn_path, strerror(errno));
        return -1;
    }
    const int appended = append_line(warn, pick_message(source));
    return fclose(warn) == 0 ? appended : -1;
}

int read_status(const event_source &source)
{
    int first;
    if (read_first_byte(source.status_path, first) != entry_own || first == read_failed) {
        printf("open file %s failed:%s\n", source.status_path, strerror(errno));
        return -1;
    }
    return first - '0';
}

void format_timestamp(char *buffer)
{
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr || strftime(buffer, timestamp_size, "%Y-%m-%d %k:%M:%S  ", &local) == 0)
        buffer[0] = '\0';
}
