// The device configuration store, libconfig.so. The returned text belongs to
// the store and is never released by the caller.
#pragma once

extern "C" char *config_get(const char *key);
