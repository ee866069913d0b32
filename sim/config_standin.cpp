// Host stand-in for the device's libconfig.so: settings are "key=value" lines
// in the twin's settings file, read afresh at every lookup so that changes
// apply while the daemon runs. Every key yields a text, "" when unset.
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "sim/twin_paths.h"
#include "watcher/config_store.h"

namespace {

std::string lookup(const char *key)
{
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s/config", twin::dir());
    FILE *file = fopen(path, "re");
    if (file == nullptr)
        return {};
    const size_t key_length = strlen(key);
    std::string value;
    char line[8192];
    while (fgets(line, sizeof line, file) != nullptr) {
        if (strncmp(line, key, key_length) != 0 || line[key_length] != '=')
            continue;
        value = line + key_length + 1;
        while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
            value.pop_back();
    }
    fclose(file);
    return value;
}

} // namespace

extern "C" char *config_get(const char *key)
{
    // The store owns what it returns; one slot per key keeps each text valid
    // until that key is looked up again.
    static std::map<std::string, std::string> values;
    if (key == nullptr)
        key = "";
    std::string &slot = values[key];
    slot = lookup(key);
    return &slot[0];
}
