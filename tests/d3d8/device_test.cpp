// Device creation, capabilities and the test hook, argument checking and
// object lifetimes.
#include "d3d8_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {

class DeviceCreation : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d) {
            GTEST_SKIP() << "no EGL/OpenGL 3.3 context can be created here";
        }
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
    }
    void TearDown() override
    {
        VantorD3D8SetTestHooks(nullptr);
        if (d3d)
            d3d->Release();
    }
    IDirect3D8* d3d = nullptr;
    D3DPRESENT_PARAMETERS pp{};
};

TEST_F(DeviceCreation, ReportsTheDesignCapsAndFillsInTheBackBufferSize)
{
    EXPECT_EQ(Direct3DCreate8(120), nullptr);
    D3DCAPS8 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    EXPECT_EQ(caps.MaxSimultaneousTextures, 8u);
    EXPECT_GE(caps.VertexShaderVersion, static_cast<DWORD>(D3DVS_VERSION(1, 1)));
    EXPECT_GE(caps.PixelShaderVersion, static_cast<DWORD>(D3DPS_VERSION(1, 1)));
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    pp.BackBufferFormat = mode.Format;
    IDirect3DDevice8* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 640u);
    EXPECT_EQ(pp.BackBufferHeight, 480u);
    D3DVIEWPORT8 vp;
    ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 640u);
    EXPECT_EQ(vp.Height, 480u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    IDirect3DSurface8* ds = nullptr;
    ASSERT_EQ(dev->GetDepthStencilSurface(&ds), D3D_OK);
    D3DSURFACE_DESC desc;
    ds->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    ds->Release();
    EXPECT_EQ(dev->Release(), 0u);
}

TEST_F(DeviceCreation, TestHookCapsDriveTheEnginesFallbacks)
{
    VantorD3D8TestHooks hooks;
    VantorD3D8DefaultCaps(&hooks.caps);
    hooks.overrideCaps = true;
    hooks.caps.MaxTextureBlendStages = 1;
    hooks.caps.MaxSimultaneousTextures = 1;
    hooks.caps.DevCaps &= ~static_cast<DWORD>(D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    hooks.caps.PixelShaderVersion = D3DPS_VERSION(1, 0);
    VantorD3D8SetTestHooks(&hooks);
    D3DCAPS8 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.MaxTextureBlendStages, 1u);
    IDirect3DDevice8* dev = nullptr;
    // No hardware transform: hardware vertex processing is refused, software works.
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev, nullptr);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    ASSERT_EQ(dev->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.MaxSimultaneousTextures, 1u);
    EXPECT_EQ(caps.PixelShaderVersion, static_cast<DWORD>(D3DPS_VERSION(1, 0)));
    dev->Release();
    dev = nullptr;
    // A hardware device that cannot be made leaves the reference device.
    hooks.failDeviceTypes = 1u << D3DDEVTYPE_HAL;
    VantorD3D8SetTestHooks(&hooks);
    EXPECT_TRUE(FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev)));
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    D3DDEVICE_CREATION_PARAMETERS cp;
    dev->GetCreationParameters(&cp);
    EXPECT_EQ(cp.DeviceType, D3DDEVTYPE_REF);
    dev->Release();
}

TEST_F(DeviceCreation, InvalidCreationArguments)
{
    IDirect3DDevice8* dev = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, nullptr, &dev),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &dev), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(3, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    pp.AutoDepthStencilFormat = D3DFMT_A8R8G8B8;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev, nullptr);
}

TEST_F(D3D8Test, InvalidCallsAreRefusedLikeTheRealRuntime)
{
    EXPECT_EQ(dev->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    const float c[8] = {};
    EXPECT_EQ(dev->SetVertexShaderConstant(95, c, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetVertexShaderConstant(0, nullptr, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetPixelShaderConstant(7, c, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetStreamSource(16, vb, 68), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetVertexShader(0x80000101), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->DeleteVertexShader(0x80000101), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetPixelShader(12345), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->BeginScene(), D3D_OK);
    EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->EndScene(), D3D_OK);
    const D3DVIEWPORT8 tooBig = {32, 0, 64, 64, 0, 1};
    EXPECT_EQ(dev->SetViewport(&tooBig), D3DERR_INVALIDCALL);
    const D3DVIEWPORT8 badZ = {0, 0, 8, 8, 0.5f, 0.25f};
    EXPECT_EQ(dev->SetViewport(&badZ), D3DERR_INVALIDCALL);

    // Buffers.
    BYTE* p = nullptr;
    EXPECT_EQ(vb->Lock(0, 70000, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(vb->Lock(70000, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(68, 68, &p, 0), D3D_OK);
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    IDirect3DVertexBuffer8* nb = nullptr;
    EXPECT_EQ(dev->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &nb), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer8* ib = nullptr;
    EXPECT_EQ(dev->CreateIndexBuffer(64, 0, D3DFMT_D16, D3DPOOL_DEFAULT, &ib), D3DERR_INVALIDCALL);

    // Textures.
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(dev->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateTexture(1u << 20, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    ASSERT_EQ(dev->CreateTexture(8, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 4u);  // 8x2, 4x1, 2x1, 1x1
    D3DSURFACE_DESC desc;
    ASSERT_EQ(t->GetLevelDesc(3, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(t->GetLevelDesc(4, &desc), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);  // default pool is not lockable
    t->Release();

    IDirect3DSurface8* none = reinterpret_cast<IDirect3DSurface8*>(1);
    IDirect3DSurface8* rt = nullptr;
    dev->GetRenderTarget(&rt);
    ASSERT_EQ(dev->SetRenderTarget(rt, nullptr), D3D_OK);
    EXPECT_EQ(dev->GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // no depth bound
    rt->Release();
}

TEST_F(D3D8Test, ObjectsOutlivingTheirDeviceBecomeInert)
{
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    level->Release();  // the level lives with its texture
    dev->SetTexture(0, t);
    ASSERT_EQ(dev->SetTexture(0, nullptr), D3D_OK);
    vb->Release();
    vb = nullptr;
    IDirect3DVertexBuffer8* keep = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &keep), D3D_OK);
    dev->SetStreamSource(0, nullptr, 0);
    EXPECT_EQ(dev->Release(), 0u);
    dev = nullptr;
    D3DLOCKED_RECT lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    BYTE* p = nullptr;
    EXPECT_EQ(keep->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    IDirect3DDevice8* back = nullptr;
    EXPECT_EQ(t->GetDevice(&back), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->Release(), 0u);
    EXPECT_EQ(keep->Release(), 0u);
}

TEST_F(D3D8Test, AnotherDirect3DObjectLeavesALiveDeviceItsContext)
{
    IDirect3D8* second = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(second, nullptr);
    second->Release();
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF20A040u, 1.0f, 0), D3D_OK);
    EXPECT_ARGB_NEAR(Center(), 0xFF20A040u, 1);
    EXPECT_EQ(VantorD3D8LiveObjects().devices, 1);
}

size_t AddressSpaceBytes()
{
    size_t pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%zu", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The driver's storage is what runs out: a gigabyte target with a quarter of
// that left in the address space.
TEST_F(D3D8Test, TargetsTheDriverCannotStoreAreRefused)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators do not live under an address-space limit";
#endif
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    if (saved.rlim_cur != RLIM_INFINITY)
        GTEST_SKIP() << "the address space is already limited";
    // Each call gets `spare` bytes more than is in use just before it.
    auto tight = [&saved](auto&& make, size_t spare = 256u << 20) {
        rlimit limit = saved;
        limit.rlim_cur = AddressSpaceBytes() + spare;
        EXPECT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
        const HRESULT hr = make();
        setrlimit(RLIMIT_AS, &saved);
        return hr;
    };
    IDirect3DSurface8* target = nullptr;
    IDirect3DSurface8* depth = nullptr;
    const HRESULT targetResult = tight(
        [&] { return dev->CreateRenderTarget(16384, 16384, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &target); });
    const HRESULT depthResult = tight(
        [&] { return dev->CreateDepthStencilSurface(16384, 16384, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, &depth); });
    EXPECT_EQ(targetResult, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(depthResult, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(depth, nullptr);
    // The largest texture target the caps allow (64 MB) with 16 MB to spare.
    IDirect3DTexture8* texture = nullptr;
    const HRESULT textureResult = tight(
        [&] {
            return dev->CreateTexture(4096, 4096, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                      &texture);
        },
        16u << 20);
    EXPECT_EQ(textureResult, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture, nullptr);
    // Nothing was left half made, and the device carries on.
    ASSERT_EQ(dev->CreateRenderTarget(32, 32, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &target), D3D_OK);
    ASSERT_EQ(dev->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
    EXPECT_EQ(dev->SetRenderTarget(target, depth), D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0), D3D_OK);
    EXPECT_ARGB_NEAR(Read().At(16, 16), 0xFF102030u, 1);
    target->Release();
    depth->Release();
}

}  // namespace

#include "platform/d3d8/gl.h"

#include <SDL.h>

#include <cstdlib>

namespace {

// The suite runs a second time with the driver offering only OpenGL 3.3
// (tests/d3d8/CMakeLists.txt): without the upper-left clip origin the back
// buffer keeps Direct3D's row order and Present turns it over. This makes
// sure that run did get the older context instead of passing on the newer.
TEST_F(D3D8Test, RunsOnTheOpenGlVersionTheRunAsksFor)
{
    const char* wanted = std::getenv("VANTOR_EXPECT_GL");
    if (!wanted)
        GTEST_SKIP() << "no OpenGL version asked for";
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    EXPECT_EQ(std::to_string(major) + "." + std::to_string(minor), wanted);
}

// The window path: only where a display exists (run the suite under
// xvfb-run to include it).
TEST(SdlWindowDevice, RendersAndPresentsIntoAnSdlWindow)
{
    if (!std::getenv("DISPLAY")) {
        GTEST_SKIP() << "no display";
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        GTEST_SKIP() << "SDL video unavailable: " << SDL_GetError();
    }
    SDL_Window* window = SDL_CreateWindow("vantor-d3d8-test", 0, 0, 96, 64, SDL_WINDOW_OPENGL);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    IDirect3DDevice8* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, reinterpret_cast<HWND>(window),
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
              D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 96u);  // the window's client size
    EXPECT_EQ(pp.BackBufferHeight, 64u);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204080, 1.0f, 0), D3D_OK);
    IDirect3DSurface8* bb = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &bb), D3D_OK);
    VantorImage img;
    ASSERT_EQ(VantorReadSurface(bb, &img), D3D_OK);
    EXPECT_EQ(img.At(95, 63), 0xFF204080u);
    bb->Release();
    // Upper half red: on screen it must be the upper half too, although
    // GL's window rows run bottom-up.
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    const D3DRECT top = {0, 0, 96, 32};
    ASSERT_EQ(dev->Clear(1, &top, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(VantorReadPresented(dev, &img), D3DERR_NOTAVAILABLE);  // the window holds it
    // The front buffer cannot be read back under Xvfb; Mesa's software
    // swap copies, so the back buffer still holds the last presented frame.
    uint32_t upper = 0, lower = 0;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(10, 63 - 5, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &upper);  // GL row 58 = screen row 5
    glReadPixels(10, 5, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &lower);
    EXPECT_EQ(upper | 0xFF000000u, 0xFFFF0000u);
    EXPECT_EQ(lower | 0xFF000000u, 0xFF0000FFu);
    dev->Release();
    d3d->Release();
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace

namespace {

// A GL error some earlier call left behind (here: one the runtime never
// made) is not taken for the failure of the next allocation.
TEST_F(D3D8Test, AnEarlierGlErrorDoesNotFailTheNextAllocation)
{
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(dev->CreateTexture(0, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateTexture(8192, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3DERR_INVALIDCALL);
    glBindTexture(GL_TEXTURE_2D, 0x7FFFFFFFu);  // never generated: an error in the core profile
    ASSERT_EQ(dev->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), D3D_OK);
    glBindTexture(GL_TEXTURE_2D, 0x7FFFFFFFu);
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &buffer), D3D_OK);
    // The texture is a working target.
    IDirect3DSurface8 *level = nullptr, *target = nullptr, *depth = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(dev->GetRenderTarget(&target), D3D_OK);
    ASSERT_EQ(dev->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(dev->SetRenderTarget(level, nullptr), D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF306090u, 1.0f, 0), D3D_OK);
    VantorImage img;
    ASSERT_EQ(VantorReadSurface(level, &img), D3D_OK);
    EXPECT_EQ(img.At(3, 3), 0xFF306090u);
    EXPECT_EQ(dev->SetRenderTarget(target, depth), D3D_OK);
    target->Release();
    depth->Release();
    level->Release();
    buffer->Release();
    texture->Release();
}

// What the soak run relies on: with debug output on, an error the driver
// reports reaches the counter.
TEST(DebugOutput, DriverErrorsAreCounted)
{
    VantorD3D8EnableDebugOutput(true);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d) {
        VantorD3D8EnableDebugOutput(false);
        GTEST_SKIP() << "no EGL/OpenGL 3.3 context can be created here";
    }
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.BackBufferWidth = 16;
    pp.BackBufferHeight = 16;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    IDirect3DDevice8* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    VantorD3D8EnableDebugOutput(false);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    const uint64_t before = VantorD3D8DebugErrors();
    glBindTexture(GL_TEXTURE_2D, 0x7FFFFFFFu);  // never generated: an error in the core profile
    EXPECT_EQ(VantorD3D8DebugErrors(), before + 1);
    while (glGetError() != GL_NO_ERROR) {
    }
    dev->Release();
    d3d->Release();
}

}  // namespace
