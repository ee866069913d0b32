// linewatch: watches the CPLD's nine input lines and reports every change.
// With no arguments it detaches after its first pass, as init scripts expect;
// -f keeps it in the foreground for a supervisor that restarts it.
#include <cstdio>

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

bool is_option(const char *argument, char letter)
{
    return argument[0] == '-' && argument[1] == letter && argument[2] == '\0';
}

// A help or version that never reached its reader is no success.
int output_status()
{
    return fflush(stdout) == 0 ? 0 : 1;
}

// Start lines pass arguments the daemon never read: named on one line of
// standard error, then ignored.
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
    // Only a whole argument is an option: "-config" is no -f.
    bool foreground = false;
    bool ignored = false;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (is_option(argument, 'f')) {
            foreground = true;
        } else if (is_option(argument, 'h') || is_option(argument, 'V')) {
            end_line(ignored);
            if (argument[1] == 'h')
                print_usage();
            else
                printf("linewatch %s\n", LINEWATCH_VERSION);
            return output_status();
        } else {
            ignore(ignored, argument);
        }
    }
    end_line(ignored);
    return run_daemon(foreground);
}
