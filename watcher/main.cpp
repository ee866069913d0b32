// linewatch: watches the CPLD's nine input lines and reports every change.
#include "watcher/main_loop.h"

int main(int, char **)
{
    return run_daemon();
}
