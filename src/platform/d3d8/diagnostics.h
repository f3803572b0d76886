// Process-wide counters of what the runtime holds, and the GL debug output
// that long runs switch on.
#pragma once

#include <atomic>
#include <cstdint>

namespace d3d8diag {

extern std::atomic<int64_t> g_liveContexts;
extern std::atomic<int64_t> g_liveDevices;
extern std::atomic<int64_t> g_liveResources;

// Whether new contexts should be debug contexts.
bool DebugOutputRequested();
// Routes the current context's debug messages to the error counter.
void InstallDebugOutput();

}  // namespace d3d8diag
