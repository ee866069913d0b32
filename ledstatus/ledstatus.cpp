#include "ledstatus/ledstatus.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/own_file.h"
#include "device/bits.h"
#include "device/cpld.h"

namespace {

constexpr led_entry led_table[] = {
    {"wifistrn", cpld::reg_led_c, 0x07},
    {"di", cpld::reg_led_a, 0x30},
    {"status", cpld::reg_led_b, 0xC0},
    {"uart1tx", cpld::reg_led_a, 0xC0},
    {"uart1rx", cpld::reg_led_b, 0x0C},
    {"uart2tx", cpld::reg_led_b, 0x03},
    {"uart2rx", cpld::reg_led_b, 0x30},
    {"wifimode", cpld::reg_led_c, 0x18},
    {"alarm", cpld::reg_led_a, 0x0C},
    {"power1", cpld::reg_lines, 0x04},
    {"power2", cpld::reg_lines, 0x08},
    {"distatus", cpld::reg_lines, 0x40},
    {nullptr, 0, 0},
};

// The words of one kind of field, by value; a value past them is "error".
struct word_list {
    const char *words[4];
    uint8_t count;
    bool quiet; // no invalid-value message with its "error"
};

constexpr word_list wifi_strength_words = {{"off", "weak", "half", "strong"}, 4, true};
constexpr word_list wifi_mode_words = {{"off", "ap", "client", "off"}, 4, false};
constexpr word_list di_words = {{"0", "1"}, 2, false};
constexpr word_list power_words = {{"off", "on"}, 2, false};
constexpr word_list lamp_words = {{"on", "blink", "blink", "off"}, 4, false};

bool is_di(const char *name)
{
    return strcmp(name, "distatus") == 0;
}

const word_list &words_for(const char *name)
{
    if (strcmp(name, "wifistrn") == 0)
        return wifi_strength_words;
    if (strcmp(name, "wifimode") == 0)
        return wifi_mode_words;
    if (is_di(name))
        return di_words;
    if (strncmp(name, "power", 5) == 0)
        return power_words;
    return lamp_words;
}

// A write or close failure counts: the file then does not hold the word.
int write_status(const char *path, const char *mode, const char *format, ...) __attribute__((format(printf, 3, 4)));

int write_status(const char *path, const char *mode, const char *format, ...)
{
    FILE *file = open_own_stream(path, mode);
    if (file == nullptr) {
        printf("Open %s failed!\n", path);
        return -1;
    }
    va_list args;
    va_start(args, format);
    const bool written = vfprintf(file, format, args) >= 0;
    va_end(args);
    return fclose(file) == 0 && written ? 0 : -1;
}

} // namespace

int scan_leds()
{
    FILE *file = open_own_stream(ledstatus::led_status_path, "w");
    if (file == nullptr) {
        printf("Open %s failed!\n", ledstatus::led_status_path);
        return -1;
    }
    fclose(file);

    int result = 0;
    for (const led_entry *row = led_table; row->name != nullptr; ++row) {
        const int value = read_field(row->reg, row->mask);
        if (value < 0)
            return -1;
        if (map_led_value(row->name, static_cast<uint8_t>(value & 0xFF)) != 0)
            result = -1;
    }
    return result;
}

int read_field(uint32_t reg, uint8_t mask)
{
    const int value = zrbcpld_read(static_cast<int>(reg));
    if (value < 0) {
        printf("Read register value from %#x failed!\n", reg);
        return -1;
    }
    return (value & mask) >> lowest_set_bit(mask);
}

int map_led_value(const char *name, uint8_t value)
{
    const word_list &list = words_for(name);
    const char *word = "error";
    if (value < list.count)
        word = list.words[value];
    else if (!list.quiet)
        printf("The %s register value is invalid!\n", name);
    return is_di(name) ? write_di_status(word) : append_led_status(name, word);
}

int append_led_status(const char *name, const char *word)
{
    return write_status(ledstatus::led_status_path, "a", "%s:%s#", name, word);
}

int write_di_status(const char *word)
{
    return write_status(ledstatus::di_status_path, "w", "%s", word);
}

void print_usage()
{
    printf("Detect LED status and dump to /tmp/led_status,\n"
           "Also, dump DI status to /tmp/di_status:\n"
           "lampscan -t interval\n");
}
