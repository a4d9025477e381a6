// Ctrl-C, SIGTERM and a closed terminal as a request to end the program
// normally, seen by an event loop and by code that polls between steps.
#pragma once

#include <cstdio>

namespace mervik {

// Installs the handlers once. Returns a close-on-exec descriptor that becomes
// readable at the first request, or -1 when none could be made. A reader of
// our output that went away no longer kills the program either.
int installStopSignals();

// True once a stop was requested.
bool stopRequested();

// Requests a stop as the signals do (the window's close box during a run).
void requestStop();

// The descriptor installStopSignals returned, or -1 before it was called.
int stopDescriptor();

// Whether the stream is a terminal.
bool isTerminal(std::FILE* stream);

}  // namespace mervik
