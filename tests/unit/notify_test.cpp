// What follows one change: syslog lines, e-mail and trap commands, records, relay lines.
#include <vector>

#include "common/call_ticks.h"
#include "notify/notify.h"
#include "watcher/event_source.h"
#include "tables/tables.h"
#include "tests/unit/world.h"

// Each line's tick; glibc's syslog gives a line up at the second, which comes once its receiver stopped.
bool receiver_reads = true;
std::vector<unsigned> ticks_ms;
void start_call_ticks(unsigned period_ms) { ticks_ms.push_back(period_ms); }
unsigned stop_call_ticks() { return receiver_reads ? 0 : 2; }

TEST(Notify, ARecordIsWholeOrNotWritten)
{
    // The longest record the table takes, then one a byte longer: whole or not at all.
    world::fresh();
    EXPECT_EQ(record_result(tables::email_table, 0, std::string(20, 'x').c_str()), 0);
    EXPECT_EQ(record_result(tables::email_table, 0, std::string(21, 'x').c_str()), -1);
    EXPECT_EQ(world::read(tables::email_table), std::string(20, 'x') + "##Success\n");
}

TEST(Notify, ALineWaitsOver5SecondsForItsReceiverButBrieflyAfterOneWasLostUntilOneGetsThrough)
{
    ticks_ms.clear();
    for (const bool reads : {false, true}) {
        receiver_reads = reads;
        log_event(initial_sources[source_di]);
    }
    // Two ticks a line: over 5 s at first, briefly once one was lost, over 5 s once one got through.
    EXPECT_TRUE(ticks_ms.size() == 4 && 2 * ticks_ms[0] > 5000 && 2 * ticks_ms[1] <= 250 && ticks_ms[2] == ticks_ms[1]
                && ticks_ms[3] == ticks_ms[0])
        << testing::PrintToString(ticks_ms);
}
