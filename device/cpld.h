// The CPLD: the register library libcpld.so (its C symbols, for the device's
// library and the twin's) and the interrupt device.
#pragma once

extern "C" {
// Returns the 8-bit register value, or a negative number on failure.
int zrbcpld_read(int reg);
// Returns a negative number on failure.
int zrbcpld_write(int reg, unsigned char value);
}

namespace cpld {

constexpr const char *irq_device_path = "/dev/cpldirq";
// O_RDWR with the synchronous-write bit as the driver spells it.
constexpr int irq_open_flags = 0x1002;

// Requests on the interrupt device; each takes the argument 0.
constexpr unsigned long request_arm = 0x11;       // precedes every register 16 wait
constexpr unsigned long request_wait_irq = 0x33;  // blocks until the CPLD interrupts
constexpr unsigned long request_ack_irq = 0x22;   // follows 0x33 at once

constexpr int reg_led_a = 6;
constexpr int reg_led_b = 7;
constexpr int reg_led_c = 8;
constexpr int reg_lines = 9;   // DI, power and LAN link bits, LED fields
constexpr int reg_serial = 10; // DCD and DSR of both ports, inverted
constexpr int reg_busy = 16;   // the daemon waits for it to read 0

} // namespace cpld
