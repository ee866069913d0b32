// The daemon's passes over the event source table and its waits on the CPLD.
#pragma once

#include <cstddef>

#include "watcher/event_source.h"

constexpr unsigned poll_period_us = 100000;

// Sum of the relay_active bytes of the first `count` records.
int relay_active_count(const event_source *table, size_t count);

// One poll of every source, id 0 first, in the event directory checked first:
// the tables of one taken anew prepared, the states memory holds and the
// status files do not saved.
void poll_all(source_table &table);

// Polls every period while any source holds its relay line.
void hold_relays(source_table &table);

// Sleeps a period at a time until register 16 reads 0; a failed read counts
// as non-zero.
void wait_for_busy_clear();

// Start-up up to the detach (none when `foreground`), then the endless
// interrupt loop. Returns -1 when the interrupt device cannot be opened, 1
// when another daemon runs or detaching fails.
int run_daemon(bool foreground);
