// What the benchmarks need of the platform under the daemon's code beyond
// its ABI: a device at rest and a way to fill the configuration store, which
// the ABI only reads. Registers are set through zrbcpld_write, which every
// platform has.
#pragma once

namespace bench_platform {

// "in-process" or "twin", for the report.
extern const char *const name;

// Registers all 0, no settings. False when the platform cannot be reached.
bool reset();

bool configure(const char *key, const char *value);

} // namespace bench_platform
