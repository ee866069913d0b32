// /tmp/events is taken only as the daemon's own: made by it, or a directory
// of the daemon's user that no other user can write. Anything else standing
// there (a link, a directory someone made to feed the daemon forged states)
// is moved, its contents untouched, into a directory of a unique name in
// /tmp (/tmp/events.XXXXXX/events), and a fresh one is made, with a
// diagnostic. What cannot be moved aside is left as it is: the daemon goes
// on. `at_start` prints why mkdir failed, as start-up always has, even when
// the directory is there.
#pragma once

void make_events_directory(bool at_start);
