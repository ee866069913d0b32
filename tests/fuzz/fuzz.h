// What the fuzz targets share: a check whose failure is a crash the fuzzer keeps, and stand-ins for
// libcpld.so and libconfig.so that fail every read.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#define FUZZ_CHECK(condition) \
    ((condition) ? void() : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), abort()))

extern "C" int zrbcpld_read(int) { return -1; }
extern "C" int zrbcpld_write(int, unsigned char) { return -1; }
extern "C" char *config_get(const char *) { return nullptr; }
