// SIGTERM and SIGINT as a request to end the run.
//
// The handlers only set a flag. Whatever loop runs (the flight's, the
// preview's, the settings dialog's toolkit loop) looks at it often enough to
// end within a fraction of a second, through its own normal teardown.
#pragma once

namespace os {

// Installs the handlers for SIGTERM and SIGINT (once per process).
void InstallTerminationHandlers();

// True once either signal arrived.
bool TerminationRequested();

} // namespace os
