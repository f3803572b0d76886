// Live-object counters and GL debug output.
#include "platform/d3d8/diagnostics.h"

#include "platform/d3d8/d3d8_vantor.h"
#include "platform/d3d8/gl.h"

#include <cstdio>

namespace d3d8diag {

std::atomic<int64_t> g_liveContexts{0};
std::atomic<int64_t> g_liveDevices{0};
std::atomic<int64_t> g_liveResources{0};

namespace {

std::atomic<bool> g_debug{false};
std::atomic<uint64_t> g_errors{0};
// Enough to show what went wrong without flooding a run that repeats the
// same mistake every frame.
constexpr uint64_t kPrintedErrors = 10;

void APIENTRY OnDebugMessage(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei, const GLchar* message,
                               const void*)
{
    // Performance hints and notifications are the driver's commentary;
    // only errors and undefined behaviour count against a run.
    if (type != GL_DEBUG_TYPE_ERROR && type != GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR)
        return;
    const uint64_t n = ++g_errors;
    if (n <= kPrintedErrors)
        std::fprintf(stderr, "GL error (source 0x%x, id %u, severity 0x%x): %s\n", source, id, severity,
                     message ? message : "");
}

}  // namespace

bool DebugOutputRequested()
{
    return g_debug.load();
}

void InstallDebugOutput()
{
    if (!g_debug.load())
        return;
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(OnDebugMessage, nullptr);
    glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_TRUE);
}

}  // namespace d3d8diag

void VantorD3D8EnableDebugOutput(bool on)
{
    d3d8diag::g_debug = on;
}

uint64_t VantorD3D8DebugErrors()
{
    return d3d8diag::g_errors.load();
}

VantorD3D8Live VantorD3D8LiveObjects()
{
    VantorD3D8Live live;
    live.contexts = d3d8diag::g_liveContexts.load();
    live.devices = d3d8diag::g_liveDevices.load();
    live.resources = d3d8diag::g_liveResources.load();
    return live;
}
