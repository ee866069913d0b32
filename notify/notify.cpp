#include "notify/notify.h"

#include <cstdio>
#include <syslog.h>

#include "common/call_ticks.h"
#include "common/command.h"
#include "common/daemon_state.h"
#include "common/format.h"
#include "syslog_tick.h"
#include "tables/tables.h"

namespace {

// glibc gives a line up at the second tick. A receiver that pauses (a flash
// write) loses nothing within two ticks; one that stopped costs that wait
// once, then only brief ones until a line gets through.
constexpr unsigned patient_tick_ms = LINEWATCH_SYSLOG_TICK_MS;
constexpr unsigned brief_tick_ms = 100;
// The longest record, "Port_2 Link_down##Success", takes 26 bytes.
constexpr size_t record_size = 30;
// The longest e-mail command is 38 characters, the longest trap command 21.
constexpr size_t command_size = 64;

// Whether `mode` acts on a change to `state`: 1 on a change to 0, 2 to 1.
bool acts_on(uint8_t mode, uint8_t state)
{
    return (mode == 1 && state == 0) || (mode == 2 && state == 1);
}

// A receiver that stops reading would hold the daemon in send for good,
// polling nothing; LOG_CONS writes a line given up to the console.
void log_line(int priority, bool bracketed, const char *message)
{
    start_call_ticks(daemon_memory.syslog_stalled ? brief_tick_ms : patient_tick_ms);
    syslog(priority, bracketed ? "[%s]\n" : "%s\n", message);
    daemon_memory.syslog_stalled = stop_call_ticks() >= 2;
}

} // namespace

void notify_event(event_source &source)
{
    const uint8_t state = source.state;
    log_event(source);
    if (acts_on(source.email_mode, state))
        send_email(source);
    if (acts_on(source.trap_mode, state))
        send_trap(source);
    if (acts_on(source.relay_mode, state)) {
        source.relay_active = 1;
        set_relay(source);
    } else if (acts_on(source.relay_mode, state ^ 1)) {
        // The opposite change releases the line.
        source.relay_active = 0;
        clear_relay(source);
    }
}

void log_event(const event_source &source)
{
    const char *message = pick_message(source);
    // The user facility named: where a facility of 0 means the kernel's, as
    // in glibc, the second line would otherwise go out as kern.info.
    openlog(notify::syslog_identity, LOG_CONS | LOG_PID, LOG_USER);
    log_line(LOG_USER | LOG_INFO, false, message);
    log_line(LOG_INFO, true, message);
    closelog();
}

void send_email(const event_source &source)
{
    const char *text = pick_message(source);
    char command[command_size];
    const bool composed = format_whole(command, sizeof command, "%s \"%s\"", notify::sendemail_command, text);
    const int failed = !composed || run_command(command) != 0;
    record_result(tables::email_table, failed, text);
}

void send_trap(const event_source &source)
{
    const char *text = pick_message(source);
    const int32_t number = source.state == 1 ? source.on_trap : source.off_trap;
    // No source has a negative trap number; one that did would name no trap.
    if (number < 0)
        return;
    char command[command_size];
    const bool composed = format_whole(command, sizeof command, "%s %d", notify::sendtrap_command, number);
    const int failed = !composed || run_command(command) != 0;
    record_result(tables::trap_table, failed, text);
}

void set_relay(const event_source &source)
{
    set_relay_line(source.id, pick_message(source));
}

void clear_relay(const event_source &source)
{
    set_relay_line(source.id, "");
}

int record_result(const char *path, int failed, const char *text)
{
    char record[record_size];
    if (!format_whole(record, sizeof record, "%s##%s", text, failed ? "Fail" : "Success"))
        return -1;
    return append_capped(path, record);
}
