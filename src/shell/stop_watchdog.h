#pragma once
// The headless modes stop a run at its next row when asked to end (SIGINT,
// SIGTERM). A run that does not come to a next row (a driver call waiting
// for a server that does not answer, a statement that runs for hours) would
// then keep a service manager's one SIGTERM from ending the program. The
// watchdog ends the process once a stop has been requested and the program
// has not ended within a grace period.

#include <chrono>

namespace kestrel {

constexpr std::chrono::seconds kStopGrace{5};

// Starts the watchdog thread (once per process). After the grace period it
// writes one line to standard error and ends the process with status 1; what
// the run left behind (a rolled-back transaction, its temporary file) is
// cleaned up by the server and by the next run.
void startStopWatchdog(std::chrono::milliseconds grace = kStopGrace);

}  // namespace kestrel
