#include "watcher/change.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/write_stream.h"
#include "notify/notify.h"
#include "watcher/config_store.h"

namespace {

constexpr size_t message_size = 256;

void load_mode(const char *key, uint8_t &mode)
{
    if (key == nullptr)
        return;
    const char *value = config_get(key);
    mode = static_cast<uint8_t>(value == nullptr ? 0 : atoi(value));
}

void run_change_path(event_source &source)
{
    action_hooks[source.id](source.state);
    write_status(source);
    append_warn(source);
    notify_event(source);
}

} // namespace

void load_settings(event_source &source)
{
    load_mode(source.syslog_key, source.syslog_mode);
    load_mode(source.email_key, source.email_mode);
    load_mode(source.trap_key, source.trap_mode);
    load_mode(source.relay_key, source.relay_mode);
}

void detect_change(event_source &source)
{
    const int current = source.state;
    FILE *status = fopen(source.status_path, "re");
    if (status == nullptr) {
        // First sight of a source records its state; it is not an event.
        if (errno == ENOENT)
            write_status(source);
        return;
    }
    const int first = getc(status);
    const bool unreadable = first == EOF && ferror(status);
    fclose(status);
    if (unreadable)
        return;

    const int recorded = first - '0';
    if ((recorded == 1 && current == 0) || (recorded == 0 && current == 1))
        run_change_path(source);
    else if (recorded != 0 && recorded != 1)
        // A torn or foreign status file would otherwise silence the input for
        // good: take it as unrecorded.
        write_status(source);
}

int write_status(const event_source &source)
{
    FILE *status = open_write_stream(source.status_path, "w+");
    if (status == nullptr) {
        printf("open file %s failed:%s\n", source.status_path, strerror(errno));
        return -1;
    }
    fprintf(status, "%d\n", source.state);
    return fclose(status) == 0 ? 0 : -1;
}

int append_warn(const event_source &source)
{
    char message[message_size] = {};
    FILE *warn = open_write_stream(source.warn_path, "a");
    if (warn == nullptr) {
        printf("open file %s failed:%s\n", source.warn_path, strerror(errno));
        return -1;
    }
    pick_message(source, message);
    fprintf(warn, "%s\n", message);
    return fclose(warn) == 0 ? 0 : -1;
}

int read_status(const event_source &source)
{
    FILE *status = fopen(source.status_path, "re");
    if (status == nullptr) {
        printf("open file %s failed:%s\n", source.status_path, strerror(errno));
        return -1;
    }
    const int recorded = getc(status) - '0';
    fclose(status);
    return recorded;
}

void format_timestamp(char *buffer)
{
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr || strftime(buffer, timestamp_size, "%Y-%m-%d %k:%M:%S  ", &local) == 0)
        buffer[0] = '\0';
}
