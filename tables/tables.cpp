#include "tables/tables.h"

#include <cerrno>
#include <cstring>

#include "common/daemon_state.h"
#include "common/event_record.h"
#include "tables/event_directory.h"

namespace {

int create_file(const char *path, const char *mode, int newlines)
{
    FILE *file = open_event_stream(path, mode);
    if (file == nullptr) {
        if (events_directory_in_use())
            printf("create file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    for (int i = 0; i < newlines; ++i)
        fputc('\n', file);
    // A full file system shows only when the buffer is written out.
    const bool failed = ferror(file) != 0;
    if ((fclose(file) != 0) | failed) {
        printf("create file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    return 0;
}

// Newlines in the file, and whether an unfinished line follows; -1 unopened.
int count_newlines(const char *path, bool &unfinished)
{
    unfinished = false;
    FILE *file = open_event_stream(path, "r");
    if (file == nullptr) {
        if (events_directory_in_use())
            printf("open %s error\n", strerror(errno));
        return -1;
    }
    int lines = 0;
    int last = '\n';
    for (int c; (c = getc(file)) != EOF; last = c)
        lines += c == '\n';
    fclose(file);
    unfinished = last != '\n';
    return lines;
}

// The table replaced whole without its first `dropped` lines and with line
// `line` (from 1; 0 for none) made `text`. -1 for a line it does not have.
int rewrite_table(const char *path, int dropped, int line, const char *text)
{
    FILE *table = open_event_stream(path, "r");
    file_replacement copy;
    if (table == nullptr || !begin_event_replacement(copy, path, false)) {
        if (table != nullptr)
            fclose(table);
        return -1;
    }
    bool found = line == 0;
    for (int c, at = 1; (c = getc(table)) != EOF; at += c == '\n') {
        if (at == line && !found) {
            found = true;
            fprintf(copy.stream, "%s", text);
        }
        if (at > dropped && (at != line || c == '\n'))
            fputc(c, copy.stream);
    }
    const bool copied = found && !ferror(table) && !ferror(copy.stream);
    fclose(table);
    return finish_replacement(copy, copied);
}

} // namespace

void prepare_tables()
{
    rebuild_relay_table();
    touch_file(tables::trap_table);
    touch_file(tables::email_table);
}

int create_blank_lines(const char *path, int count)
{
    return create_file(path, "w+", count);
}

int touch_file(const char *path)
{
    return create_file(path, "a+", 0);
}

int truncate_file(const char *path)
{
    return create_file(path, "w+", 0);
}

int count_lines(const char *path)
{
    bool unfinished;
    return count_newlines(path, unfinished);
}

int drop_first_line(const char *path)
{
    return rewrite_table(path, 1, 0, nullptr);
}

int append_line(FILE *stream, const char *text)
{
    // A last line left unfinished (a write cut short, a file from elsewhere)
    // is ended first, so that it cannot swallow the line that follows.
    int last;
    const bool unfinished = fseek(stream, -1, SEEK_END) == 0 && (last = getc(stream)) != '\n' && last != EOF;
    if (fseek(stream, 0, SEEK_END) != 0) {
        printf("go to end of file failed:%s\n", strerror(errno));
        return -1;
    }
    if (fprintf(stream, unfinished ? "\n%s\n" : "%s\n", text) < 0 || fflush(stream) != 0) {
        printf("write error %s\n", strerror(errno));
        return -1;
    }
    return 0;
}

int append_capped(const char *path, const char *text)
{
    bool unfinished;
    const int lines = count_newlines(path, unfinished);
    // An unfinished last line counts: append_line ends it. Appended after a
    // failed trim, the table would pass the cap for good: the record is lost.
    const int beyond_cap = lines + unfinished + 1 - tables::record_cap;
    if ((lines == tables::record_cap || lines + unfinished == tables::record_cap)
        && rewrite_table(path, beyond_cap, 0, nullptr) != 0) {
        if (events_directory_in_use())
            printf("drop first line of %s failed %s\n", path, strerror(errno));
        return -1;
    }
    FILE *table = open_event_stream(path, "a+");
    if (table == nullptr) {
        if (events_directory_in_use())
            printf("open file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    const int appended = append_line(table, text);
    fclose(table);
    return appended;
}

int replace_line(const char *path, int line, const char *text)
{
    return line < 1 ? -1 : rewrite_table(path, 0, line, text);
}

int rebuild_relay_table()
{
    file_replacement table;
    if (!begin_event_replacement(table, tables::relay_table, false)) {
        if (events_directory_in_use())
            printf("create file %s failed %s\n", tables::relay_table, strerror(errno));
        return -1;
    }
    bool written = true;
    for (const char *line : daemon_memory.relay_texts)
        written = written && fprintf(table.stream, "%s\n", line == nullptr ? "" : line) >= 0;
    return finish_replacement(table, written);
}

int set_relay_line(uint8_t id, const char *text)
{
    daemon_memory.relay_texts[id] = text;
    return replace_line(tables::relay_table, id + 1, text) == 0 ? 0 : rebuild_relay_table();
}
