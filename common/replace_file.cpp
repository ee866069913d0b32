#include "common/replace_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/format.h"

bool begin_replacement(file_replacement &replacement, const char *path, mode_t mode)
{
    replacement.path = path;
    replacement.stream = nullptr;
    if (!format_whole(replacement.scratch, sizeof replacement.scratch, "%s.new-XXXXXX", path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int fd = mkostemp(replacement.scratch, O_CLOEXEC);
    if (fd < 0)
        return false;
    fchmod(fd, mode);
    replacement.stream = fdopen(fd, "w");
    if (replacement.stream == nullptr) {
        const int saved = errno;
        close(fd);
        unlink(replacement.scratch);
        errno = saved;
        return false;
    }
    return true;
}

int finish_replacement(file_replacement &replacement, bool content_ok)
{
    const bool closed = fclose(replacement.stream) == 0;
    if (content_ok && closed && rename(replacement.scratch, replacement.path) == 0)
        return 0;
    const int saved = errno;
    unlink(replacement.scratch);
    errno = saved;
    return -1;
}

mode_t new_file_mode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void remove_stale_scratch(const char *path)
{
    // The marker sets them apart from what someone keeps beside a file (a
    // "distatus.backup").
    char pattern[PATH_MAX];
    if (!format_whole(pattern, sizeof pattern, "%s.new-??????", path))
        return;
    glob_t found;
    if (glob(pattern, GLOB_NOSORT, nullptr, &found) == 0)
        for (size_t i = 0; i < found.gl_pathc; ++i)
            unlink(found.gl_pathv[i]);
    globfree(&found);
}
