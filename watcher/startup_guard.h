// What a starter hands the daemon and would otherwise keep for its whole
// life: an ignored SIGCHLD (the kernel then reaps every command before the
// daemon can wait for it), a blocked signal mask, and open descriptors, which
// every command would inherit. Called first thing at start-up.
#pragma once

void shed_inherited_state();
