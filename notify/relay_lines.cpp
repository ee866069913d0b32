#include "notify/relay_lines.h"

#include <cerrno>
#include <sys/stat.h>

#include "common/replace_file.h"
#include "tables/tables.h"
#include "watcher/event_source.h"

namespace {

constexpr size_t relay_line_count = 9;
static_assert(relay_line_count == source_count, "line id + 1 of the relay table belongs to source id");

// What each source's line was last set to; nullptr reads as an empty line.
const char *held_lines[relay_line_count];

int rebuild_relay_table()
{
    file_replacement table;
    if (!begin_replacement(table, tables::relay_table, new_file_mode()))
        return -1;
    bool written = true;
    for (const char *line : held_lines)
        written = written && fprintf(table.stream, "%s\n", line == nullptr ? "" : line) >= 0;
    return finish_replacement(table, written);
}

} // namespace

int set_relay_line(uint8_t id, const char *text)
{
    if (id >= relay_line_count)
        return -1;
    held_lines[id] = text;
    struct stat st;
    if (lstat(tables::relay_table, &st) != 0)
        return errno == ENOENT ? rebuild_relay_table() : -1;
    if (!S_ISREG(st.st_mode))
        return -1;
    if (count_lines(tables::relay_table) < static_cast<int>(relay_line_count))
        return rebuild_relay_table();
    return replace_line(tables::relay_table, id + 1, text);
}
