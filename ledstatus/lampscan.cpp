// lampscan: dumps the LED and DI status once, or with -t interval every
// interval seconds until it is stopped. A single scan exits with 0 when it
// read and wrote every field, else 1; bad arguments print the usage and exit
// with 2.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "ledstatus/ledstatus.h"

namespace {

constexpr int usage_status = 2;

// Digits only: strtoul alone would take a sign, spaces or a trailing word,
// and a zero interval would spin the CPU.
bool parse_interval(const char *text, unsigned &interval)
{
    if (text[0] == '\0' || strspn(text, "0123456789") != strlen(text))
        return false;
    errno = 0;
    const unsigned long long value = strtoull(text, nullptr, 10);
    if (errno != 0 || value == 0 || value > UINT_MAX)
        return false;
    interval = static_cast<unsigned>(value);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 1)
        return scan_leds() == 0 ? 0 : 1;

    unsigned interval = 0;
    if (argc != 3 || strcmp(argv[1], "-t") != 0 || !parse_interval(argv[2], interval)) {
        print_usage();
        return usage_status;
    }
    for (;;) {
        scan_leds();
        // Whoever watches the output sees each scan's messages as they come.
        fflush(stdout);
        sleep(interval);
    }
}
