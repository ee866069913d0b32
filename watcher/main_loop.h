// The daemon's passes over the event source table and its waits on the CPLD.
#pragma once

#include <cstddef>

#include "watcher/event_source.h"

constexpr unsigned poll_period_us = 100000;

// Sum of the relay_active bytes of the first `count` records.
int relay_active_count(const event_source *table, size_t count);

// One poll of every source, id 0 first, after the event directory's check.
void poll_all(source_table &table);

// Polls every period while any source holds its relay line.
void hold_relays(source_table &table);

// Sleeps a period at a time until register 16 reads 0; a failed read counts
// as non-zero.
void wait_for_busy_clear();

// Start-up, then the endless interrupt loop. -1: no interrupt device; 1:
// another daemon runs or detaching failed.
int run_daemon(bool foreground);
