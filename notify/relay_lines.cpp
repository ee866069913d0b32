#include "notify/relay_lines.h"

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
    held_lines[id] = text;
    struct stat st;
    if (lstat(tables::relay_table, &st) != 0)
        return rebuild_relay_table();
    if (!S_ISREG(st.st_mode))
        return -1;
    // A table short of the line (emptied, or left empty by a full /tmp at
    // start-up) fails the edit, and so does one sed cannot replace: either
    // way the whole table is written afresh, if it can be.
    return replace_line(tables::relay_table, id + 1, text) == 0 ? 0 : rebuild_relay_table();
}
