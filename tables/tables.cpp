#include "tables/tables.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common/daemon_state.h"
#include "common/event_record.h"
#include "tables/event_directory.h"

namespace {

// Opens the file with `mode`, writes `newlines` newline characters, closes it.
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
    // Most of a failed write (a full file system) shows only when the buffer
    // is written out.
    const bool failed = ferror(file) != 0;
    if ((fclose(file) != 0) | failed) {
        printf("create file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    return 0;
}

// Newlines in the file, and whether a last line follows the last of them,
// in one read; -1 when it cannot be opened.
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

// The rest of the table replaces it whole, so readers always find either the
// old or the new table and a failure at any step leaves the old one in place.
int drop_first_lines(const char *path, int lines)
{
    FILE *table = open_event_stream(path, "r");
    file_replacement rest;
    if (table == nullptr || !begin_event_replacement(rest, path, false)) {
        if (table != nullptr)
            fclose(table);
        return -1;
    }
    int c = '\n';
    for (int skipped = 0; skipped < lines && c != EOF; ++skipped)
        while ((c = getc(table)) != EOF && c != '\n') {
        }
    bool copied = true;
    char block[512];
    for (size_t got; c == '\n' && copied && (got = fread(block, 1, sizeof block, table)) > 0;)
        copied = fwrite(block, 1, got, rest.stream) == got;
    copied = copied && !ferror(table);
    fclose(table);
    return finish_replacement(rest, copied);
}

// The whole file, read through the opener into `content` (the heap: a table
// is as long as whoever wrote it made it); its size, or -1.
ssize_t read_whole(const char *path, char *&content)
{
    const event_file file = open_event_file(path, O_RDONLY);
    content = nullptr;
    if (file.fd < 0)
        return -1;
    const size_t size = static_cast<size_t>(file.status.st_size);
    content = static_cast<char *>(malloc(size + 1));
    size_t got = 0;
    for (ssize_t step; content != nullptr && got < size && (step = read(file.fd, content + got, size - got)) > 0;)
        got += static_cast<size_t>(step);
    close(file.fd);
    return content != nullptr && got == size ? static_cast<ssize_t>(size) : -1;
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
    return drop_first_lines(path, 1);
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
    // append_line ends an unfinished last line, which so becomes one of the
    // table's lines. Appended after a trim that failed, the table would pass
    // the cap and never be trimmed again: the record is lost instead.
    const int beyond_cap = lines + unfinished + 1 - tables::record_cap;
    if ((lines == tables::record_cap || lines + unfinished == tables::record_cap)
        && drop_first_lines(path, beyond_cap) != 0) {
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
    char *content;
    const ssize_t size = read_whole(path, content);
    // The line runs from after the newline that ends the one before it to its
    // own newline, or to the end of an unfinished last line.
    char *start = size < 0 ? nullptr : content;
    for (int before = 1; start != nullptr && before < line; ++before) {
        start = static_cast<char *>(memchr(start, '\n', static_cast<size_t>(content + size - start)));
        start = start == nullptr ? nullptr : start + 1;
    }
    file_replacement table;
    if (line < 1 || start == nullptr || start == content + size || !begin_event_replacement(table, path, false)) {
        free(content);
        return -1;
    }
    const size_t kept = static_cast<size_t>(start - content);
    const char *end = static_cast<char *>(memchr(start, '\n', static_cast<size_t>(content + size - start)));
    end = end == nullptr ? content + size : end;
    const size_t after = static_cast<size_t>(content + size - end);
    const bool written = fwrite(content, 1, kept, table.stream) == kept && fputs(text, table.stream) >= 0
                         && fwrite(end, 1, after, table.stream) == after;
    free(content);
    return finish_replacement(table, written);
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
    // A table short of the line (emptied, or left empty by a full /tmp at
    // start-up), missing, or not the daemon's own file is written afresh.
    return replace_line(tables::relay_table, id + 1, text) == 0 ? 0 : rebuild_relay_table();
}
