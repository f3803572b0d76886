// What d3d8_vantor.h declares, over the system's Direct3D 8: reading a
// rendered picture back through the API's own copies, and the hidden window
// an off-screen device needs. What only our Linux runtime can know (GL
// holdings, GL debug output, the depth buffer of a D16 surface) answers
// E_NOTIMPL or nothing, and the callers say so.
#include <windows.h>

#include <d3d8.h>

#include <cstdint>

#include "d3d8_vantor.h"

namespace {

// One pixel of a surface format the back buffer or a render target can have,
// as 0xAARRGGBB. Formats without alpha read as opaque.
bool PixelToArgb(D3DFORMAT format, const uint8_t* p, uint32_t& argb)
{
    auto expand = [](uint32_t v, int bits) { return (v * 255u + ((1u << bits) - 1) / 2) / ((1u << bits) - 1); };
    switch (format) {
    case D3DFMT_A8R8G8B8:
        argb = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
        return true;
    case D3DFMT_X8R8G8B8:
        argb = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               0xFF000000u;
        return true;
    case D3DFMT_R8G8B8:
        argb = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               0xFF000000u;
        return true;
    case D3DFMT_R5G6B5: {
        const uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
        argb = 0xFF000000u | expand(v >> 11, 5) << 16 | expand((v >> 5) & 63, 6) << 8 | expand(v & 31, 5);
        return true;
    }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
        const uint32_t a = format == D3DFMT_X1R5G5B5 || (v & 0x8000u) ? 0xFF000000u : 0;
        argb = a | expand((v >> 10) & 31, 5) << 16 | expand((v >> 5) & 31, 5) << 8 | expand(v & 31, 5);
        return true;
    }
    default:
        return false;
    }
}

UINT BytesPerPixel(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        return 4;
    case D3DFMT_R8G8B8:
        return 3;
    default:
        return 2;
    }
}

constexpr wchar_t kOffscreenClass[] = L"VantorOffscreen";

}  // namespace

// A render target cannot be locked; it is copied into a lockable image
// surface of the same format first (CopyRects between pool-default and
// system-memory surfaces is the API's own read-back path).
HRESULT VantorReadSurface(IDirect3DSurface8* surface, VantorImage* out)
{
    if (!surface || !out)
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    uint32_t probe = 0;
    const uint8_t zero[4] = {};
    if (!PixelToArgb(desc.Format, zero, probe))
        return D3DERR_INVALIDCALL;
    IDirect3DDevice8* device = nullptr;
    if (FAILED(hr = surface->GetDevice(&device)))
        return hr;
    IDirect3DSurface8* image = nullptr;
    hr = device->CreateImageSurface(desc.Width, desc.Height, desc.Format, &image);
    if (SUCCEEDED(hr))
        hr = device->CopyRects(surface, nullptr, 0, image, nullptr);
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(hr))
        hr = image->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        out->width = desc.Width;
        out->height = desc.Height;
        out->pixels.assign(static_cast<size_t>(desc.Width) * desc.Height, 0);
        const UINT bpp = BytesPerPixel(desc.Format);
        for (UINT y = 0; y < desc.Height; ++y) {
            const auto* row = static_cast<const uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch;
            for (UINT x = 0; x < desc.Width; ++x)
                PixelToArgb(desc.Format, row + x * bpp, out->pixels[static_cast<size_t>(y) * desc.Width + x]);
        }
        image->UnlockRect();
    }
    if (image)
        image->Release();
    device->Release();
    return hr;
}

// A windowed device shows its back buffer as it is: the system's Direct3D 8
// applies no gamma ramp to a windowed swap chain. The off-screen devices
// this serves present with D3DSWAPEFFECT_COPY, so after Present the back
// buffer still holds what was shown. (Reading the front buffer instead
// would copy the desktop, where a hidden window shows nothing.)
HRESULT VantorReadPresented(IDirect3DDevice8* device, VantorImage* out)
{
    if (!device || !out)
        return D3DERR_INVALIDCALL;
    IDirect3DSurface8* back = nullptr;
    HRESULT hr = device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    if (FAILED(hr))
        return hr;
    hr = VantorReadSurface(back, out);
    back->Release();
    return hr;
}

// The device's D16 depth buffer cannot be locked or copied on Direct3D 8.
HRESULT VantorReadBackBufferDepth(IDirect3DDevice8*, VantorDepthImage*)
{
    return E_NOTIMPL;
}

HRESULT VantorGetStats(IDirect3DDevice8*, VantorD3D8Stats*)
{
    return E_NOTIMPL;
}

// The system's runtime keeps no GL context of ours.
void VantorD3D8ContextChanged() {}

// The system's runtime reports nothing of this kind: no errors are counted.
void VantorD3D8EnableDebugOutput(bool) {}

uint64_t VantorD3D8DebugErrors()
{
    return 0;
}

// Nothing of ours to count: all zero.
VantorD3D8Live VantorD3D8LiveObjects()
{
    return {};
}

HWND VantorCreateOffscreenWindow(UINT width, UINT height)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kOffscreenClass, &wc)) {
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = kOffscreenClass;
        if (!RegisterClassW(&wc))
            return nullptr;
    }
    // A pop-up window has no frame, so its window size is its client size;
    // it is never shown. The device is given the back-buffer size itself,
    // so a size beyond the screen's does no harm.
    return CreateWindowExW(WS_EX_TOOLWINDOW, kOffscreenClass, L"Vantor off-screen", WS_POPUP, 0, 0,
                           static_cast<int>(width), static_cast<int>(height), nullptr, nullptr, instance, nullptr);
}

void VantorDestroyOffscreenWindow(HWND window)
{
    if (window)
        DestroyWindow(window);
}
