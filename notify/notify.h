// What follows one change of a source to 0 or 1: two syslog lines always,
// then the e-mail, the trap and the relay-table line as the source's modes
// ask. Mode 1 acts on a change to 0, mode 2 on a change to 1; for the relay
// the opposite change releases the line.
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
