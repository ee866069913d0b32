// After a change: two syslog lines, then e-mail, trap and relay line as the
// modes ask (1: on a change to 0, 2: to 1; the opposite releases the relay).
#pragma once

#include "common/event_record.h"

namespace notify {
constexpr const char *syslog_identity = "linewatch";
constexpr const char *sendemail_command = "/usr/sbin/sendemail";
constexpr const char *sendtrap_command = "/usr/sbin/sendtrap";
} // namespace notify

void notify_event(event_source &source);

void log_event(const event_source &source);
void send_email(const event_source &source);
void send_trap(const event_source &source);
void set_relay(const event_source &source);
void clear_relay(const event_source &source);

// Appends "text##Success" or "text##Fail" to a capped table.
int record_result(const char *path, int failed, const char *text);
