// The stand-in engine and sound system.
#include "app/null_services.h"

#include <chrono>
#include <thread>

void CNullEngine::RenderFrame()
{
    // A real present waits for the display; so does the stand-in, so that
    // the loop does not spin a core for nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
}
