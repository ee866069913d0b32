#include "common/replace_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/format.h"

namespace {

constexpr char scratch_marker[] = ".new-";
constexpr int scratch_random = 6;
constexpr int scratch_attempts = 100;

// mkostemp in a directory given by its descriptor.
int make_scratch(int directory, char *scratch)
{
    char *random = scratch + strlen(scratch) - scratch_random;
    for (int attempt = 0; attempt < scratch_attempts; ++attempt) {
        unsigned char bytes[scratch_random];
        // Never waiting for the pool at boot: O_EXCL keeps the name ours.
        if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            for (int i = 0; i < scratch_random; ++i)
                bytes[i] = static_cast<unsigned char>(static_cast<unsigned long>(now.tv_nsec) >> (i * 5));
        }
        for (int i = 0; i < scratch_random; ++i)
            random[i] = static_cast<char>('a' + bytes[i] % 26);
        const int fd = openat(directory, scratch, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool begin_replacement_at(file_replacement &replacement, int directory, const char *name, mode_t mode, gid_t group)
{
    replacement.directory = directory;
    replacement.name = name;
    replacement.stream = nullptr;
    if (!format_whole(replacement.scratch, sizeof replacement.scratch, "%s%sXXXXXX", name, scratch_marker)) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int fd = make_scratch(directory, replacement.scratch);
    if (fd < 0)
        return false;
    fchmod(fd, mode);
    // If the group cannot be given, the user's own serves.
    if (group != static_cast<gid_t>(-1) && fchown(fd, static_cast<uid_t>(-1), group) != 0) {
    }
    replacement.stream = fdopen(fd, "w");
    if (replacement.stream == nullptr) {
        const int saved = errno;
        close(fd);
        unlinkat(directory, replacement.scratch, 0);
        errno = saved;
        return false;
    }
    return true;
}

bool begin_replacement(file_replacement &replacement, const char *path, mode_t mode)
{
    return begin_replacement_at(replacement, AT_FDCWD, path, mode);
}

int finish_replacement(file_replacement &replacement, bool content_ok)
{
    const bool closed = fclose(replacement.stream) == 0;
    const int directory = replacement.directory;
    if (content_ok && closed && renameat(directory, replacement.scratch, directory, replacement.name) == 0)
        return 0;
    const int saved = errno;
    unlinkat(directory, replacement.scratch, 0);
    errno = saved;
    return -1;
}

mode_t new_file_mode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void remove_stale_scratch_at(int directory, const char *name)
{
    const int listing = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listing < 0 ? nullptr : fdopendir(listing);
    if (entries == nullptr) {
        if (listing >= 0)
            close(listing);
        return;
    }
    // NAME, the marker, six characters: not someone's "distatus.backup".
    const size_t suffix = sizeof scratch_marker - 1 + scratch_random;
    for (const dirent *entry; (entry = readdir(entries)) != nullptr;) {
        const size_t length = strlen(entry->d_name);
        const size_t stem = length - suffix;
        if (length > suffix && entry->d_name[0] != '.'
            && strncmp(entry->d_name + stem, scratch_marker, sizeof scratch_marker - 1) == 0
            && (name == nullptr || (strlen(name) == stem && strncmp(entry->d_name, name, stem) == 0)))
            unlinkat(directory, entry->d_name, 0);
    }
    closedir(entries);
}

void remove_stale_scratch(const char *path)
{
    char directory[PATH_MAX];
    const char *name = strrchr(path, '/');
    const int fd = name != nullptr && format_whole(directory, sizeof directory, "%.*s/", static_cast<int>(name - path), path)
                       ? openat(AT_FDCWD, directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                       : -1;
    if (fd >= 0) {
        remove_stale_scratch_at(fd, name + 1);
        close(fd);
    }
}
