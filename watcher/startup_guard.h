// What a starter hands the daemon and would otherwise keep for its whole
// life: an ignored SIGCHLD (the kernel then reaps every command before the
// daemon can wait for it), an ignored SIGTERM, SIGINT or SIGHUP (stop would
// have to kill it), an armed interval timer (its SIGALRM would end the
// daemon), a blocked signal mask, and open descriptors, which every command
// would inherit. Called first thing at start-up.
#pragma once

void shed_inherited_state();
