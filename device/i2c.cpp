#include "device/i2c.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common/command.h"
#include "common/format.h"

namespace {

// The longest command, a read with its result path, takes 52 characters.
constexpr size_t command_size = 128;
// The tool prints "0x%02x\n"; more than this is no byte.
constexpr size_t result_size = 8;
constexpr char result_template[] = "/tmp/result.XXXXXX";

int run_and_read(uint8_t reg, int result_fd, const char *result_path)
{
    char command[command_size] = {};
    if (!format_whole(command, sizeof command, "%s -f -y %d %d %d b >%s", i2c::get_command, i2c::bus, i2c::chip,
                      reg, result_path)
        || run_command(command) != 0)
        return -1;

    // Through the descriptor made with the file, never its name again.
    if (lockf(result_fd, F_LOCK, 0) != 0) {
        printf("Read file %s error:%s\n", result_path, strerror(errno));
        return -1;
    }
    // One byte more than an answer may have, so a longer one is refused.
    char text[result_size + 1];
    const ssize_t got = read(result_fd, text, sizeof text);
    if (got < 0) {
        printf("Read file %s error:%s\n", result_path, strerror(errno));
        return -1;
    }
    return i2c_parse_result(text, static_cast<size_t>(got));
}

} // namespace

// Anything else is a failed read, never a value of 0.
int i2c_parse_result(const char *text, size_t length)
{
    if (length > result_size || memchr(text, '\0', length) != nullptr)
        return -1;
    char terminated[result_size + 1] = {};
    memcpy(terminated, text, length);
    char *end = nullptr;
    errno = 0;
    const unsigned long value = strtoul(terminated, &end, 16);
    if (end == terminated || errno != 0 || value > 0xFF)
        return -1;
    while (isspace(static_cast<unsigned char>(*end)))
        ++end;
    return *end == '\0' ? static_cast<int>(value) : -1;
}

int i2c_read(uint8_t reg)
{
    // Made exclusively under an unguessable name before the root shell
    // redirects into it: a link planted in /tmp cannot redirect it.
    char result_path[sizeof result_template];
    memcpy(result_path, result_template, sizeof result_template);
    const int result_fd = mkostemp(result_path, O_CLOEXEC);
    if (result_fd < 0) {
        printf("Open file %s error:%s\n", result_template, strerror(errno));
        return -1;
    }
    const int value = run_and_read(reg, result_fd, result_path);
    unlink(result_path);
    close(result_fd);
    return value;
}

int i2c_write(uint8_t reg, uint8_t value)
{
    char command[command_size] = {};
    const bool composed = format_whole(command, sizeof command, "%s -f -y %d %d %d %d b", i2c::set_command,
                                       i2c::bus, i2c::chip, reg, value);
    return composed && run_command(command) == 0 ? 0 : -1;
}
