// lampscan: dumps the LED and DI status once (exit 0, or 1 when a field
// failed), or with -t every interval seconds; bad arguments exit with 2.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "ledstatus/ledstatus.h"

namespace {

constexpr int usage_status = 2;

// Digits only, not 0: strtoul would take a sign or a trailing word.
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

// A help or version that never reached its reader is no success.
int output_status()
{
    return fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // The usage alone explains a bad option, as it always has.
    opterr = 0;
    unsigned interval = 0;
    int option;
    while ((option = getopt(argc, argv, "t:hV")) != -1) {
        switch (option) {
        case 't':
            if (parse_interval(optarg, interval))
                break;
            print_usage();
            return usage_status;
        case 'h':
            print_usage();
            return output_status();
        case 'V':
            printf("lampscan %s\n", LINEWATCH_VERSION);
            return output_status();
        default:
            print_usage();
            return usage_status;
        }
    }
    if (optind != argc) {
        print_usage();
        return usage_status;
    }
    if (interval == 0)
        return scan_leds() == 0 ? 0 : 1;

    for (;;) {
        scan_leds();
        // Whoever watches the output sees each scan's messages as they come.
        fflush(stdout);
        sleep(interval);
    }
}
