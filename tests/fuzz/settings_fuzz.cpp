// Configuration values, as the store hands them over, through the settings
// refresh of one source.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "tests/fuzz/fuzz_support.h"
#include "watcher/change.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    event_source source = initial_sources[input.ConsumeIntegralInRange<size_t>(0, source_count - 1)];
    const char **keys[] = {&source.syslog_key, &source.email_key, &source.trap_key, &source.relay_key};
    uint8_t *modes[] = {&source.syslog_mode, &source.email_mode, &source.trap_mode, &source.relay_mode};

    // Modes from an earlier poll, and now and then a key field left unset.
    uint8_t before[4];
    std::vector<std::string> expected_keys;
    for (int i = 0; i < 4; ++i) {
        before[i] = *modes[i] = input.ConsumeIntegral<uint8_t>();
        if (input.ConsumeProbability<float>() < 0.1f)
            *keys[i] = nullptr;
        else
            expected_keys.emplace_back(*keys[i]);
    }
    auto &store = fuzz::store();
    store = {};
    for (size_t i = 0; i < expected_keys.size(); ++i) {
        std::string value = input.ConsumeRandomLengthString(32);
        if (input.ConsumeBool())
            store.answers.emplace_back(std::move(value));
        else
            store.answers.emplace_back();
    }

    load_settings(source);

    FUZZ_CHECK(store.keys_asked == expected_keys);
    size_t answer = 0;
    for (int i = 0; i < 4; ++i) {
        if (*keys[i] == nullptr) {
            FUZZ_CHECK(*modes[i] == before[i]);
            continue;
        }
        const auto &value = store.answers[answer++];
        // The low eight bits of the number the text starts with, as atoi
        // reads it; no text reads as 0.
        const int number = value ? static_cast<int>(strtol(value->c_str(), nullptr, 10)) : 0;
        FUZZ_CHECK(*modes[i] == static_cast<uint8_t>(number));
    }
    return 0;
}
