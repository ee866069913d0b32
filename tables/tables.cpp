#include "tables/tables.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/command.h"
#include "common/replace_file.h"
#include "common/write_stream.h"

void prepare_tables(int relay_lines)
{
    create_blank_lines(tables::relay_table, relay_lines);
    touch_file(tables::trap_table);
    touch_file(tables::email_table);
}

int create_blank_lines(const char *path, int count)
{
    FILE *file = open_write_stream(path, "w+");
    if (file == nullptr) {
        printf("create file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    for (int i = 0; i < count; ++i)
        fputc('\n', file);
    // Most of a failed write (a full file system) shows only when the
    // buffer is written out.
    const bool failed = ferror(file) != 0;
    if ((fclose(file) != 0) | failed) {
        printf("create file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    return 0;
}

namespace {

int open_and_close(const char *path, const char *mode)
{
    FILE *file = open_write_stream(path, mode);
    if (file == nullptr) {
        printf("create file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    fclose(file);
    return 0;
}

} // namespace

int touch_file(const char *path)
{
    return open_and_close(path, "a+");
}

int truncate_file(const char *path)
{
    return open_and_close(path, "w+");
}

namespace {

// Newlines in the file, and whether a last line follows the last of them,
// in one read; -1 when it cannot be opened.
int count_newlines(const char *path, bool &unfinished)
{
    unfinished = false;
    FILE *file = open_read_stream(path);
    if (file == nullptr) {
        printf("open %s error\n", strerror(errno));
        return -1;
    }
    int lines = 0;
    int last = '\n';
    for (int c; (c = getc(file)) != EOF; last = c)
        if (c == '\n')
            ++lines;
    fclose(file);
    unfinished = last != '\n';
    return lines;
}

} // namespace

int count_lines(const char *path)
{
    bool unfinished;
    return count_newlines(path, unfinished);
}

namespace {

// Copies what follows the first newline of `from` into `to`; false on a read
// or write error.
bool copy_after_first_line(FILE *from, FILE *to)
{
    int c;
    while ((c = getc(from)) != EOF && c != '\n') {
    }
    if (c == '\n') {
        char block[512];
        size_t got;
        while ((got = fread(block, 1, sizeof block, from)) > 0)
            if (fwrite(block, 1, got, to) != got)
                return false;
    }
    return !ferror(from);
}

} // namespace

// The rest of the table replaces it whole, so readers always find either the
// old or the new table and a failure at any step leaves the old one in place.
int drop_first_line(const char *path)
{
    FILE *table = open_read_stream(path);
    if (table == nullptr)
        return -1;
    // Keep the table readable by whoever could read it before.
    struct stat table_stat;
    file_replacement rest;
    if (fstat(fileno(table), &table_stat) != 0 || !begin_replacement(rest, path, table_stat.st_mode & 07777)) {
        fclose(table);
        return -1;
    }
    const bool copied = copy_after_first_line(table, rest.stream);
    fclose(table);
    return finish_replacement(rest, copied);
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
    // An unfinished last line is ended by append_line: it counts toward the
    // cap.
    bool unfinished;
    int lines = count_newlines(path, unfinished);
    if (unfinished)
        ++lines;
    // Appended after a trim that failed, the table would pass the cap and,
    // no longer at exactly the cap, never be trimmed again: the record is
    // lost instead.
    if (lines == tables::record_cap && drop_first_line(path) != 0) {
        printf("drop first line of %s failed %s\n", path, strerror(errno));
        return -1;
    }
    FILE *table = open_write_stream(path, "a+");
    if (table == nullptr) {
        printf("open file %s failed %s\n", path, strerror(errno));
        return -1;
    }
    const int appended = append_line(table, text);
    fclose(table);
    return appended;
}

namespace {

// The text goes into a sed expression inside single quotes: anything that
// could end the quote or the expression is refused rather than run.
bool safe_for_sed(const char *text)
{
    return strpbrk(text, "'/\\&\n") == nullptr;
}

} // namespace

int replace_line(const char *path, int line, const char *text)
{
    if (!safe_for_sed(text) || strchr(path, '\'') != nullptr)
        return -1;
    // sed edits no line that is not there, and says so by succeeding.
    bool unfinished;
    const int lines = count_newlines(path, unfinished);
    if (line < 1 || line > lines + unfinished)
        return -1;
    // Sized for the relay table: 40 characters plus the longest message.
    char command[128];
    const int length = snprintf(command, sizeof command, "sed -i '%ds/.*/%s/g' %s", line, text, path);
    if (length < 0 || static_cast<size_t>(length) >= sizeof command)
        return -1;
    return run_command(command) == 0 ? 0 : -1;
}
