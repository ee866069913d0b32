// linewatch: watches the CPLD's nine input lines and reports every change.
// With no arguments it detaches after its first pass, as init scripts expect;
// -f keeps it in the foreground for a supervisor that restarts it.
#include <cstdio>
#include <unistd.h>

#include "watcher/main_loop.h"

namespace {

constexpr int usage_status = 2;

void print_usage(FILE *out)
{
    fprintf(out, "Usage: linewatch [-f | -h | -V]\n"
                 "Reports every change of the CPLD's input lines.\n"
                 "  -f  stay in the foreground, for a supervisor\n"
                 "  -h  print this help\n"
                 "  -V  print the version\n");
}

// A help or version that never reached its reader is no success.
int output_status()
{
    return fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // The usage alone explains a bad option, in the same words whatever the C
    // library.
    opterr = 0;
    bool foreground = false;
    int option;
    while ((option = getopt(argc, argv, "fhV")) != -1) {
        switch (option) {
        case 'f':
            foreground = true;
            break;
        case 'h':
            print_usage(stdout);
            return output_status();
        case 'V':
            printf("linewatch %s\n", LINEWATCH_VERSION);
            return output_status();
        default:
            print_usage(stderr);
            return usage_status;
        }
    }
    if (optind != argc) {
        print_usage(stderr);
        return usage_status;
    }
    return run_daemon(foreground);
}
