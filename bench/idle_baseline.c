/* The C library's own share of a process: one that does nothing but wait,
   built like the daemon. The daemon's peak resident size is measured
   against this one's. */
#include <unistd.h>

int main(void)
{
    pause();
    return 0;
}
