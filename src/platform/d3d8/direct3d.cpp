// Direct3DCreate8 and the adapter. There is one adapter: the GL context's.
#include "platform/d3d8/direct3d.h"

#include "platform/d3d8/device.h"
#include "platform/foreign_target.h"
#include "platform/d3d8/diagnostics.h"

#include <SDL.h>

#include <new>

namespace {

VantorD3D8TestHooks g_hooks;
bool g_hooksSet = false;

bool IsDisplayFormat(D3DFORMAT f)
{
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5;
}

}  // namespace

void VantorD3D8SetTestHooks(const VantorD3D8TestHooks* hooks)
{
    g_hooksSet = hooks != nullptr;
    g_hooks = hooks ? *hooks : VantorD3D8TestHooks{};
}

void VantorD3D8DefaultCaps(D3DCAPS8* c)
{
    *c = D3DCAPS8{};
    c->DeviceType = D3DDEVTYPE_HAL;
    c->AdapterOrdinal = 0;
    c->Caps2 = D3DCAPS2_FULLSCREENGAMMA;
    c->PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                 D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                 D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
    c->PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    c->RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_FOGVERTEX;
    c->ZCmpCaps = 0xFF;
    c->SrcBlendCaps = 0x1FFF;
    c->DestBlendCaps = 0x1FFF;
    c->AlphaCmpCaps = 0xFF;
    c->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
    c->TextureFilterCaps = 0x03030300;
    c->TextureAddressCaps = 0x1F;
    c->MaxTextureWidth = 4096;
    c->MaxTextureHeight = 4096;
    c->MaxTextureRepeat = 8192;
    c->MaxTextureAspectRatio = 4096;
    c->MaxAnisotropy = 1;
    c->MaxVertexW = 1e10f;
    c->GuardBandLeft = -8192;
    c->GuardBandTop = -8192;
    c->GuardBandRight = 8192;
    c->GuardBandBottom = 8192;
    c->TextureOpCaps = 0x03FFFFFF & ~((1u << (D3DTOP_PREMODULATE - 1)) | (1u << (D3DTOP_BUMPENVMAP - 1)) |
                                      (1u << (D3DTOP_BUMPENVMAPLUMINANCE - 1)));
    c->MaxTextureBlendStages = 8;
    c->MaxSimultaneousTextures = 8;
    c->MaxPrimitiveCount = 0xFFFFF;
    c->MaxVertexIndex = 0xFFFFFF;
    c->MaxStreams = 16;
    c->MaxStreamStride = 255;
    c->VertexShaderVersion = D3DVS_VERSION(1, 1);
    c->MaxVertexShaderConst = 96;
    c->PixelShaderVersion = D3DPS_VERSION(1, 1);
    c->MaxPixelShaderValue = 1.0f;
    c->MaxPointSize = 1.0f;
}

void CurrentCaps(D3DCAPS8* caps)
{
    if (g_hooksSet && g_hooks.overrideCaps)
        *caps = g_hooks.caps;
    else
        VantorD3D8DefaultCaps(caps);
}

IDirect3D8* Direct3DCreate8(UINT SDKVersion)
{
    if (SDKVersion != D3D_SDK_VERSION)
        return nullptr;
    if (g_hooksSet && g_hooks.createDirect3D)
        return g_hooks.createDirect3D();
    // No GL of any kind: say so now rather than at CreateDevice. A device
    // that is alive has already shown that GL works, and the probe would
    // make its own context current in that device's place.
    if (!SDL_WasInit(SDL_INIT_VIDEO) && d3d8diag::g_liveDevices.load() == 0) {
        if (!CGLContext::CreateHeadless())
            return nullptr;
        VantorD3D8ContextChanged();
    }
    return new (std::nothrow) CDirect3D8();
}

HRESULT CDirect3D8::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode)
{
    if (Adapter != 0 || !pMode)
        return D3DERR_INVALIDCALL;
    *pMode = {640, 480, 60, D3DFMT_X8R8G8B8};
    SDL_DisplayMode mode;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        pMode->Width = static_cast<UINT>(mode.w);
        pMode->Height = static_cast<UINT>(mode.h);
        pMode->RefreshRate = static_cast<UINT>(mode.refresh_rate);
    }
    return D3D_OK;
}

HRESULT CDirect3D8::CheckDeviceType(UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat,
                                    D3DFORMAT BackBufferFormat, BOOL)
{
    if (Adapter != 0 || (CheckType != D3DDEVTYPE_HAL && CheckType != D3DDEVTYPE_REF))
        return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(DisplayFormat) || !IsDisplayFormat(BackBufferFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT CDirect3D8::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE, D3DFORMAT, DWORD Usage, D3DRESOURCETYPE RType,
                                      D3DFORMAT CheckFormat)
{
    if (Adapter != 0)
        return D3DERR_INVALIDCALL;
    if (Usage & D3DUSAGE_DEPTHSTENCIL)
        return IsDepthFormat(CheckFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    FormatInfo info;
    if (RType != D3DRTYPE_TEXTURE && RType != D3DRTYPE_SURFACE)
        return D3DERR_NOTAVAILABLE;
    if (!LookupTextureFormat(CheckFormat, &info))
        return D3DERR_NOTAVAILABLE;
    if ((Usage & D3DUSAGE_RENDERTARGET) && !info.renderable)
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT CDirect3D8::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps)
{
    if (Adapter != 0 || !pCaps || (DeviceType != D3DDEVTYPE_HAL && DeviceType != D3DDEVTYPE_REF))
        return D3DERR_INVALIDCALL;
    CurrentCaps(pCaps);
    pCaps->DeviceType = DeviceType;
    return D3D_OK;
}

HRESULT CDirect3D8::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                 D3DPRESENT_PARAMETERS* pp, IDirect3DDevice8** ppDevice)
{
    if (ppDevice)
        *ppDevice = nullptr;
    if (Adapter != 0 || !pp || !ppDevice || (DeviceType != D3DDEVTYPE_HAL && DeviceType != D3DDEVTYPE_REF))
        return D3DERR_INVALIDCALL;
    if (g_hooksSet && (g_hooks.failDeviceTypes & (1u << DeviceType)))
        return D3DERR_NOTAVAILABLE;
    const DWORD vp = BehaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        vp != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    D3DCAPS8 caps;
    CurrentCaps(&caps);
    caps.DeviceType = DeviceType;
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && !(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT))
        return D3DERR_INVALIDCALL;
    if (pp->BackBufferFormat != D3DFMT_UNKNOWN && !IsDisplayFormat(pp->BackBufferFormat))
        return D3DERR_INVALIDCALL;
    if (pp->EnableAutoDepthStencil && !IsDepthFormat(pp->AutoDepthStencilFormat))
        return D3DERR_INVALIDCALL;
    if (pp->BackBufferCount > 3 || pp->BackBufferWidth > 16384 || pp->BackBufferHeight > 16384)
        return D3DERR_INVALIDCALL;
    HWND window = pp->hDeviceWindow ? pp->hDeviceWindow : hFocusWindow;
    std::unique_ptr<CGLContext> context;
    if (!window)
        context = CGLContext::CreateHeadless();
    else if (os::ForeignGLTargets().count(window))
        context = CGLContext::CreateForForeign(*reinterpret_cast<const os::ForeignGLTarget*>(window));
    else
        context = CGLContext::CreateForWindow(reinterpret_cast<SDL_Window*>(window));
    if (!context)
        return D3DERR_NOTAVAILABLE;
    auto* device = new (std::nothrow) CDevice(this, std::move(context), caps, DeviceType, window, BehaviorFlags);
    if (!device)
        return E_OUTOFMEMORY;
    const HRESULT hr = device->Init(pp);
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    *ppDevice = device;
    return D3D_OK;
}

// This runtime renders off-screen devices headless: no window is needed.
HWND VantorCreateOffscreenWindow(UINT, UINT)
{
    return nullptr;
}

void VantorDestroyOffscreenWindow(HWND) {}
