#include "common/command.h"

#include <cstdlib>

int run_command(const char *command_line)
{
    return system(command_line);
}
