// The engine's own CPU time per frame: the flight (camera, creatures, sky,
// canyon batches, flares, blur passes, frame counter) drawn on a Direct3D
// device whose calls return at once, so neither this runtime's translation
// to OpenGL nor the GL driver is in the figure. vantor-render --bench gives
// the time with both.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "d3d8_vantor.h"
#include "fake_d3d.h"
#include "platform/resources.h"
#include "render/offscreen.h"
#include "settings/settings.h"

namespace {

constexpr UINT kWidth = 640, kHeight = 480;

class NullSurface final : public IDirect3DSurface8 {
public:
    NullSurface(UINT w, UINT h, D3DFORMAT f) : m_desc{} { m_desc.Width = w, m_desc.Height = h, m_desc.Format = f; }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetDevice(IDirect3DDevice8**) override { return E_NOTIMPL; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override { return *desc = m_desc, D3D_OK; }
    HRESULT LockRect(D3DLOCKED_RECT*, const RECT*, DWORD) override { return E_NOTIMPL; }
    HRESULT UnlockRect() override { return D3D_OK; }

private:
    D3DSURFACE_DESC m_desc;
};

// Keeps the texels the loaders write (the texture loads run the real
// decoders and mip-map filters) and hands out a surface per level.
class NullTexture final : public fake::Texture {
public:
    NullTexture(UINT w, UINT h, UINT levels, D3DFORMAT format) : m_w(w), m_h(h), m_format(format)
    {
        for (UINT l = 0; l < levels; ++l) {
            m_levels.emplace_back(size_t(std::max(w >> l, 1u)) * std::max(h >> l, 1u) * 4);
            m_surfaces.push_back(std::make_unique<NullSurface>(std::max(w >> l, 1u), std::max(h >> l, 1u), format));
        }
    }
    DWORD GetLevelCount() override { return static_cast<DWORD>(m_levels.size()); }
    HRESULT GetLevelDesc(UINT l, D3DSURFACE_DESC* desc) override
    {
        return l < m_surfaces.size() ? m_surfaces[l]->GetDesc(desc) : D3DERR_INVALIDCALL;
    }
    HRESULT GetSurfaceLevel(UINT l, IDirect3DSurface8** out) override
    {
        if (l >= m_surfaces.size())
            return D3DERR_INVALIDCALL;
        *out = m_surfaces[l].get();
        return D3D_OK;
    }
    HRESULT LockRect(UINT l, D3DLOCKED_RECT* r, const RECT*, DWORD) override
    {
        if (l >= m_levels.size())
            return D3DERR_INVALIDCALL;
        r->pBits = m_levels[l].data();
        r->Pitch = static_cast<INT>(std::max(m_w >> l, 1u) * 4);
        return D3D_OK;
    }
    HRESULT UnlockRect(UINT) override { return D3D_OK; }

private:
    UINT m_w, m_h;
    D3DFORMAT m_format;
    std::vector<std::vector<uint8_t>> m_levels;
    std::vector<std::unique_ptr<NullSurface>> m_surfaces;
};

class NullDevice final : public fake::Device {
public:
    NullDevice() { record = false; }
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override { return VantorD3D8DefaultCaps(caps), D3D_OK; }
    HRESULT GetViewport(D3DVIEWPORT8* v) override { return *v = {0, 0, kWidth, kHeight, 0.0f, 1.0f}, D3D_OK; }
    HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return D3D_OK; }
    HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD, D3DFORMAT format, D3DPOOL,
                          IDirect3DTexture8** out) override
    {
        m_textures.push_back(std::make_unique<NullTexture>(w, h, levels ? levels : 1, format));
        *out = m_textures.back().get();
        return D3D_OK;
    }
    HRESULT CreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE,
                                      IDirect3DSurface8** out) override
    {
        m_surfaces.push_back(std::make_unique<NullSurface>(w, h, f));
        *out = m_surfaces.back().get();
        return D3D_OK;
    }
    HRESULT GetRenderTarget(IDirect3DSurface8** out) override { return *out = &m_backBuffer, D3D_OK; }
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** out) override { return *out = &m_depth, D3D_OK; }
    HRESULT SetRenderTarget(IDirect3DSurface8*, IDirect3DSurface8*) override { return D3D_OK; }
    HRESULT CreateVertexShader(const DWORD*, const DWORD*, DWORD* handle, DWORD) override
    {
        return *handle = ++m_shaders, D3D_OK;
    }
    HRESULT CreatePixelShader(const DWORD*, DWORD* handle) override { return *handle = ++m_shaders, D3D_OK; }

private:
    NullSurface m_backBuffer{kWidth, kHeight, D3DFMT_X8R8G8B8};
    NullSurface m_depth{kWidth, kHeight, D3DFMT_D16};
    std::vector<std::unique_ptr<NullTexture>> m_textures;
    std::vector<std::unique_ptr<NullSurface>> m_surfaces;
    DWORD m_shaders = 0;
};

class NullDirect3D final : public IDirect3D8 {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* mode) override
    {
        return *mode = {kWidth, kHeight, 60, D3DFMT_X8R8G8B8}, D3D_OK;
    }
    HRESULT CheckDeviceType(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) override { return D3D_OK; }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override
    {
        return D3D_OK;
    }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS8* caps) override { return VantorD3D8DefaultCaps(caps), D3D_OK; }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice8** out) override
    {
        *out = &device;
        return D3D_OK;
    }
    NullDevice device;
};

// One flight at default settings; `blurSamples` above 0 turns motion blur on
// with that many sub-frames.
void BM_EngineFrameCPU(benchmark::State& state)
{
    if (!OpenProgramArchive(os::FindEmbeddedResource(os::EmbeddedResources(), os::ResourceType::RCData, 144))) {
        state.SkipWithError("no resource archive");
        return;
    }
    SetDefaultSettings(g_Settings);
    g_Settings.Sound = 0;
    if (state.range(0) > 0) {
        g_Settings.MotionBlur = 1;
        g_Settings.MotionBlurSamples = static_cast<int32_t>(state.range(0));
    }
    static NullDirect3D* s_d3d = nullptr;
    NullDirect3D d3d;
    s_d3d = &d3d;
    VantorD3D8TestHooks hooks;
    hooks.createDirect3D = [] { return static_cast<IDirect3D8*>(s_d3d); };
    VantorD3D8SetTestHooks(&hooks);
    {
        COffscreenFlight flight(1);
        std::string error;
        if (!flight.Init(kWidth, kHeight, error)) {
            state.SkipWithError(error.c_str());
        } else {
            flight.StartAt(0.0);
            for (auto _ : state)
                flight.Frame();
            state.counters["sub-frames"] = flight.Drawer().SampleCount();
        }
    }
    VantorD3D8SetTestHooks(nullptr);
    CloseResourceArchive();
}
BENCHMARK(BM_EngineFrameCPU)->Name("Engine/FrameCPU")->ArgName("blur")->Arg(0)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace
