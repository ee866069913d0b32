#include "watcher/event_source.h"

#include "common/command.h"
#include "device/bits.h"
#include "device/cpld.h"

namespace {

constexpr event_source make_source(uint8_t id, const char *status_path, const char *warn_path,
                                   const char *syslog_key, const char *email_key,
                                   const char *trap_key, const char *relay_key,
                                   const char *on_message, const char *off_message,
                                   int32_t on_trap, int32_t off_trap)
{
    return event_source{id,         0,           status_path, 0,        warn_path,
                        syslog_key, 0,           email_key,   0,        trap_key,
                        0,          relay_key,   0,           on_message, off_message,
                        on_trap,    off_trap};
}

// LAN files count from 0 while their keys and messages count from 1; the DI's
// trap and relay keys carry no digit. Other programs on the device read these
// names, so they stay as they are.
constexpr source_table source_definitions = {{
    make_source(source_di, "/tmp/events/distatus", "/tmp/events/diwarn", "syslog_di1",
                "email_di1", "snmp_trap_di", "relay_di", "DI On", "DI Off", 12, 11),
    make_source(source_pwr1, "/tmp/events/pwr1status", "/tmp/events/pwr1warn", "syslog_pow1",
                "email_pow1", "snmp_trap_pow1", "relay_pow1", "Power1 On", "Power1 Off", 8, 7),
    make_source(source_pwr2, "/tmp/events/pwr2status", "/tmp/events/pwr2warn", "syslog_pow2",
                "email_pow2", "snmp_trap_pow2", "relay_pow2", "Power2 On", "Power2 Off", 10, 9),
    make_source(source_dcd1, "/tmp/events/dcd1status", "/tmp/events/dcd1warn", "syslog_dcd1",
                "email_dcd1", "snmp_trap_dcd1", "relay_dcd1", "Dcd1 On", "Dcd1 Off", 18, 17),
    make_source(source_dcd2, "/tmp/events/dcd2status", "/tmp/events/dcd2warn", "syslog_dcd2",
                "email_dcd2", "snmp_trap_dcd2", "relay_dcd2", "Dcd2 On", "Dcd2 Off", 20, 19),
    // DSR 1 and DSR 2 share one warn file, which programs on the device read;
    // the messages tell the two ports apart.
    make_source(source_dsr1, "/tmp/events/dsr1status", "/tmp/events/dsr2warn", "syslog_dsr1",
                "email_dsr1", "snmp_trap_dsr1", "relay_dsr1", "Dsr1 On", "Dsr1 Off", 22, 21),
    make_source(source_dsr2, "/tmp/events/dsr2status", "/tmp/events/dsr2warn", "syslog_dsr2",
                "email_dsr2", "snmp_trap_dsr2", "relay_dsr2", "Dsr2 On", "Dsr2 Off", 24, 23),
    make_source(source_lan1, "/tmp/events/lan0status", "/tmp/events/lan0warn", "syslog_lan1",
                "email_lan1", "snmp_trap_lan1", "relay_lan1", "Port_1 Link_up",
                "Port_1 Link_down", 3, 2),
    make_source(source_lan2, "/tmp/events/lan1status", "/tmp/events/lan1warn", "syslog_lan2",
                "email_lan2", "snmp_trap_lan2", "relay_lan2", "Port_2 Link_up",
                "Port_2 Link_down", 5, 4),
}};

constexpr bool ids_match_positions()
{
    for (size_t i = 0; i < source_definitions.size(); ++i)
        if (source_definitions[i].id != i)
            return false;
    return true;
}
static_assert(ids_match_positions(), "a record's id is its position in the table");

int read_port_bit(int port, uint8_t reg, uint8_t port1_bit, uint8_t port2_bit)
{
    if (port == 1)
        return readbit(reg, port1_bit);
    if (port == 2)
        return readbit(reg, port2_bit);
    return -1;
}

// DCD and DSR are active low; a failed read stays a failure.
int inverted(int bit)
{
    return bit < 0 ? bit : 1 - bit;
}

int read_di() { return readbit(cpld::reg_lines, 4); }
int read_pwr1() { return read_power(1); }
int read_pwr2() { return read_power(2); }
int read_dcd1() { return read_dcd(1); }
int read_dcd2() { return read_dcd(2); }
int read_dsr1() { return read_dsr(1); }
int read_dsr2() { return read_dsr(2); }
int read_lan1() { return read_lan_link(1); }
int read_lan2() { return read_lan_link(2); }

void di_led_hook(int state)
{
    run_command(state == 1 ? "ledcontrol di on" : "ledcontrol di off");
}

void no_hook(int) {}

} // namespace

const source_table initial_sources = source_definitions;
source_table event_table = source_definitions;

int read_power(int port) { return read_port_bit(port, cpld::reg_lines, 0, 1); }
int read_lan_link(int port) { return read_port_bit(port, cpld::reg_lines, 2, 3); }
int read_dcd(int port) { return inverted(read_port_bit(port, cpld::reg_serial, 1, 3)); }
int read_dsr(int port) { return inverted(read_port_bit(port, cpld::reg_serial, 0, 2)); }

const source_reader source_readers[] = {
    read_di, read_pwr1, read_pwr2, read_dcd1, read_dcd2, read_dsr1, read_dsr2, read_lan1, read_lan2,
};
static_assert(sizeof source_readers / sizeof source_readers[0] == source_count,
              "one reader per source");

const action_hook action_hooks[] = {
    di_led_hook, no_hook, no_hook, no_hook, no_hook, no_hook, no_hook, no_hook, no_hook,
};
static_assert(sizeof action_hooks / sizeof action_hooks[0] == source_count,
              "one action hook per source");
