// linewatch: watches the CPLD's nine input lines and reports every change.
// With no arguments it detaches after its first pass, as init scripts expect;
// -f keeps it in the foreground for a supervisor that restarts it.
#include <cstdio>
#include <getopt.h>
#include <unistd.h>

#include "watcher/main_loop.h"

namespace {

void print_usage()
{
    printf("Usage: linewatch [-f | -h | -V]\n"
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

// The daemon never looked at other arguments, so start lines pass some: each
// is named on one line of standard error as it is met, and the daemon starts
// as without it.
void ignore(bool &any, const char *argument)
{
    fprintf(stderr, "%s %s", any ? "" : "linewatch: ignoring", argument);
    any = true;
}

void end_line(bool any)
{
    if (any)
        fputc('\n', stderr);
}

} // namespace

int main(int argc, char **argv)
{
    // getopt stays silent: ignore() names a bad option, in the same words
    // whatever the C library.
    opterr = 0;
    // None: an unknown long option comes back whole, not letter by letter.
    const option no_long_options[] = {{}};
    bool foreground = false;
    bool ignored = false;
    int found;
    while ((found = getopt_long(argc, argv, "fhV", no_long_options, nullptr)) != -1) {
        switch (found) {
        case 'f':
            foreground = true;
            break;
        case 'h':
            end_line(ignored);
            print_usage();
            return output_status();
        case 'V':
            end_line(ignored);
            printf("linewatch %s\n", LINEWATCH_VERSION);
            return output_status();
        default:
            if (optopt != 0) {
                const char letter[] = {'-', static_cast<char>(optopt), '\0'};
                ignore(ignored, letter);
            } else {
                ignore(ignored, argv[optind - 1]);
            }
        }
    }
    for (; optind < argc; ++optind)
        ignore(ignored, argv[optind]);
    end_line(ignored);
    return run_daemon(foreground);
}
