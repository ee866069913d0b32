// One control line to the twin (its ctl file) and its reply, for host tools
// written in C++. The reply comes without its newline.
#pragma once

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "sim/twin_paths.h"

namespace twin {

inline bool control(const char *line, char (&reply)[64])
{
    reply[0] = '\0';
    char path[256];
    const int length = snprintf(path, sizeof path, "%s/ctl", dir());
    if (length < 0 || static_cast<size_t>(length) >= sizeof path)
        return false;
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[128];
    const int text_length = snprintf(text, sizeof text, "%s\n", line);
    ssize_t got = -1;
    if (text_length > 0 && static_cast<size_t>(text_length) < sizeof text &&
        write(fd, text, static_cast<size_t>(text_length)) == text_length)
        got = read(fd, reply, sizeof reply - 1);
    close(fd);
    if (got <= 0)
        return false;
    reply[got] = '\0';
    reply[strcspn(reply, "\n")] = '\0';
    return true;
}

inline bool control_ok(const char *line)
{
    char reply[64];
    return control(line, reply) && strcmp(reply, "ok") == 0;
}

} // namespace twin
