// The termination flag and its signal handlers.
#include "platform/termination.h"

#include <csignal>

namespace os {
namespace {

volatile std::sig_atomic_t g_terminate = 0;

extern "C" void OnTerminationSignal(int)
{
    g_terminate = 1;
}

} // namespace

void InstallTerminationHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Blocking calls are interrupted, so a wait notices the flag at once.
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool TerminationRequested()
{
    return g_terminate != 0;
}

} // namespace os
