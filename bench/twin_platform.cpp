// The twin's stand-in libcpld.so and libconfig.so, as the daemon on the twin
// uses them: the benchmarks linked with these pay what every whole-process
// figure on the twin pays for the platform. Settings go in through the
// twin's control file.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "bench/bench_platform.h"
#include "sim/twin_control.h"


const char *const bench_platform::name = "twin";

bool bench_platform::reset()
{
    return twin::control_ok("reset");
}

bool bench_platform::configure(const char *key, const char *value)
{
    char line[128];
    const int length = snprintf(line, sizeof line, "set %s %s", key, value);
    return length > 0 && static_cast<size_t>(length) < sizeof line && twin::control_ok(line);
}
