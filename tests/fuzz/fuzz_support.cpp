#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

void fail(const char *what, const char *file, int line)
{
    fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    abort();
}

void require_sandbox()
{
    if (getenv("LINEWATCH_SIM_DIR") == nullptr) {
        fprintf(stderr, "run inside the sandbox: sim/sandbox --build BUILD -- TARGET ...\n");
        exit(2);
    }
}

bool read_file(const char *path, std::string &content)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char block[4096];
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) > 0)
        content.append(block, static_cast<size_t>(got));
    close(fd);
    return got == 0;
}

void write_file(const char *path, const std::string &content)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()));
    close(fd);
}

std::vector<std::string> entries(const char *directory)
{
    std::vector<std::string> names;
    DIR *dir = opendir(directory);
    FUZZ_CHECK(dir != nullptr);
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void empty_directory(const char *directory)
{
    for (const std::string &name : entries(directory)) {
        const std::string path = std::string(directory) + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            empty_directory(path.c_str());
            rmdir(path.c_str());
        } else
            unlink(path.c_str());
    }
}

int registers[256];

store_state &store()
{
    static store_state state;
    return state;
}

} // namespace fuzz

extern "C" int zrbcpld_read(int reg)
{
    return reg >= 0 && reg < 256 ? fuzz::registers[reg] : -1;
}

extern "C" int zrbcpld_write(int reg, unsigned char value)
{
    if (reg < 0 || reg >= 256)
        return -1;
    fuzz::registers[reg] = value;
    return 0;
}

extern "C" char *config_get(const char *key)
{
    auto &store = fuzz::store();
    const size_t turn = store.keys_asked.size();
    store.keys_asked.emplace_back(key);
    if (turn >= store.answers.size() || !store.answers[turn])
        return nullptr;
    return &(*store.answers[turn])[0];
}
