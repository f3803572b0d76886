// What this Direct3D 8 runtime offers beyond the published interface: the
// caps test hook, and reading a rendered picture back (tests and the
// off-screen renderer). Engine code never includes this.
//
// On Windows the same declarations sit over the system's Direct3D 8
// (platform/win32/d3d8_extras_win32.cpp): what the real API can do is done
// with its own calls, the rest answers E_NOTIMPL (or reports nothing), and
// the callers say so. The test hooks, default caps and stats exist only in
// this runtime.
#pragma once

// Our runtime's header on Linux (its folder is on the include path), the
// system's on Windows.
#include <d3d8.h>

#include <cstdint>
#include <vector>

struct VantorD3D8TestHooks {
    // Reported instead of the real caps by both GetDeviceCaps calls; device
    // creation honours HWTRANSFORMANDLIGHT for hardware vertex processing.
    bool overrideCaps = false;
    D3DCAPS8 caps{};
    // Bit (1 << D3DDEVTYPE_x): CreateDevice fails for that device type.
    DWORD failDeviceTypes = 0;
    // When set, Direct3DCreate8 returns what this makes instead of this
    // runtime (the engine's own CPU time is measured against a device that
    // does nothing).
    IDirect3D8* (*createDirect3D)() = nullptr;
};

// Null restores the real behaviour. Read at Direct3DCreate8/CreateDevice/
// GetDeviceCaps time; not thread-safe (tests only).
void VantorD3D8SetTestHooks(const VantorD3D8TestHooks* hooks);

// The caps this runtime reports for itself.
void VantorD3D8DefaultCaps(D3DCAPS8* caps);

// A rendered picture as 0xAARRGGBB values, row 0 at the top.
struct VantorImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(UINT x, UINT y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Reads a render-target surface (the back buffer or a render-target
// texture level) as it stands.
HRESULT VantorReadSurface(IDirect3DSurface8* surface, VantorImage* out);

// Reads what the last Present put on screen (after the gamma lookup). For a
// headless device this is its off-screen front buffer.
HRESULT VantorReadPresented(IDirect3DDevice8* device, VantorImage* out);

// The depth buffer that the back buffer was drawn with, as window-space
// depth in [0, 1] (1 where nothing was drawn since the clear), row 0 at the
// top. Measuring tools use it to tell near rock from distant views.
struct VantorDepthImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<float> depth;
    float At(UINT x, UINT y) const { return depth[static_cast<size_t>(y) * width + x]; }
};
HRESULT VantorReadBackBufferDepth(IDirect3DDevice8* device, VantorDepthImage* out);

// Counters that show the caches at work (tests and benchmarks).
struct VantorD3D8Stats {
    uint64_t glStateCalls = 0;     // GL state changes made while preparing draws
    uint64_t programsLinked = 0;
    uint64_t shadersCompiled = 0;
};
HRESULT VantorGetStats(IDirect3DDevice8* device, VantorD3D8Stats* out);

// Someone else made another GL context current on this thread: the next
// device call makes its own context current again.
void VantorD3D8ContextChanged();

// Driver diagnostics for long runs: devices created after this call get a
// GL debug context, and every error the driver reports through it is counted
// (the first few are also printed on standard error).
void VantorD3D8EnableDebugOutput(bool on);
uint64_t VantorD3D8DebugErrors();

// What this runtime holds in the whole process: GL contexts, devices and the
// resources (textures, surfaces, buffers) that own GL objects.
struct VantorD3D8Live {
    int64_t contexts = 0;
    int64_t devices = 0;
    int64_t resources = 0;
};
VantorD3D8Live VantorD3D8LiveObjects();

// Headless devices: CreateDevice with no window uses the back-buffer size of
// the presentation parameters (640 x 480 when zero).

// The window an off-screen device is created on. This runtime renders
// headless and answers null; the real Direct3D 8 needs a window even when
// nothing is shown, so on Windows this is a hidden window of the given
// client size (null when it cannot be made). Destroying null does nothing.
HWND VantorCreateOffscreenWindow(UINT width, UINT height);
void VantorDestroyOffscreenWindow(HWND window);
