// The rendering engine.
#include "base/release.h"
#include "render/drawer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "archive/archive.h"
#include "base/error.h"
#include "base/random.h"
#include "base/system.h"
#include "creatures/sound_system.h"
#include "model/camera_path.h"
#include "model/d3d_matrix.h"
#include "render/render_math.h"
#include "settings/settings.h"

// SetGammaRamp's flag for a ramp that the driver may calibrate; MinGW's
// Direct3D 8 headers leave it out.
#ifndef D3DSGR_CALIBRATE
#define D3DSGR_CALIBRATE 1L
#endif

namespace {

// Notes which archive member failed and why ("textures/sky.png: not a PNG
// image ..."); false, so that a failing step can return it.
bool NoteMemberFailure(std::string_view member, std::string_view why)
{
    NoteErrorDetail(std::string(member) + ": " + std::string(why));
    return false;
}

constexpr float kPi = 3.14159265358979f;
constexpr DWORD kVs11 = 0xFFFE0101u;
constexpr DWORD kPs11 = 0xFFFF0101u;
constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;

const char* const kFixedTexturePaths[CDrawer::kFixedTextureCount] = {
    "textures/default.jpg", "textures/font.png", nullptr,          "textures/fog.tga", "textures/loading1.jpg",
    "textures/loading2.jpg", "textures/sky.png", nullptr,          "textures/bump.jpg", "textures/flare.jpg",
    "textures/f1.jpg",       "textures/f2.jpg",  "textures/f3.jpg", "textures/f4.jpg",
};

enum FixedSlot { kSlotDefault = 0, kSlotFont = 1, kSlotFog = 3, kSlotLoading1 = 4, kSlotLoading2 = 5, kSlotSky = 6, kSlotBump = 8 };

// The one vertex declaration all three vertex shaders read.
const DWORD kDeclaration[] = {
    D3DVSD_STREAM(0),
    D3DVSD_REG(0, D3DVSDT_FLOAT3),
    D3DVSD_REG(1, D3DVSDT_FLOAT3),
    D3DVSD_REG(2, D3DVSDT_D3DCOLOR),
    D3DVSD_REG(3, D3DVSDT_FLOAT2),
    D3DVSD_REG(4, D3DVSDT_FLOAT2),
    D3DVSD_REG(5, D3DVSDT_FLOAT3),
    D3DVSD_REG(6, D3DVSDT_FLOAT3),
    D3DVSD_END(),
};

D3DXMATRIX ToD3D(const vmath::Mat4& m)
{
    D3DMATRIX raw;
    std::memcpy(&raw, &m, sizeof(raw));
    return D3DXMATRIX(raw);
}

RenderVertex Vertex(float x, float y, float z, D3DCOLOR colour, float u, float v, float u2 = 0, float v2 = 0)
{
    RenderVertex r{};
    r.x = x;
    r.y = y;
    r.z = z;
    r.color = colour;
    r.u = u;
    r.v = v;
    r.u2 = u2;
    r.v2 = v2;
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// 1. Set-up and release
// ---------------------------------------------------------------------------

CDrawer::CDrawer(uint32_t seed)
{
    SeedRandom(seed);
    m_pathStartOffset = RandomFloat(0.0f, 200.0f);
    D3DXMatrixIdentity(&m_world);
    D3DXMatrixIdentity(&m_view);
    D3DXMatrixIdentity(&m_projection);
    m_savedWorld = m_savedView = m_savedProjection = m_world;
}

CDrawer::~CDrawer()
{
    Shutdown();
}

void CDrawer::SetOffscreenSize(UINT width, UINT height)
{
    m_offscreenWidth = width;
    m_offscreenHeight = height;
}

bool CDrawer::Init(HWND window)
{
    m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!m_d3d)
        return false;
    D3DCAPS8 caps{};
    if (FAILED(m_d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps)))
        return false;
    const bool hardwareEligible = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) && caps.VertexShaderVersion >= kVs11;

    D3DDISPLAYMODE mode{};
    if (FAILED(m_d3d->GetAdapterDisplayMode(0, &mode)))
        return false;

    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    // Zero takes the window's client size. An off-screen size (the still
    // renderer) is given as it is, whether the device has a window or not:
    // on Windows even an off-screen device sits on a (hidden) window.
    pp.BackBufferWidth = m_offscreenWidth;
    pp.BackBufferHeight = m_offscreenHeight;
    pp.BackBufferFormat = mode.Format;
    pp.BackBufferCount = 0;
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    // Off-screen pictures are read back after Present; a discarding swap
    // leaves the back buffer undefined there, so they keep it with a copy.
    pp.SwapEffect = m_offscreenWidth ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;

    struct Attempt {
        D3DDEVTYPE type;
        DWORD flags;
        bool allowed;
    } attempts[] = {
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, hardwareEligible},
        {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, true},
        {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING, true},
    };
    for (const Attempt& a : attempts) {
        if (a.allowed && SUCCEEDED(m_d3d->CreateDevice(0, a.type, window, a.flags, &pp, &m_device))) {
            m_hardwareVertexProcessing = a.flags == D3DCREATE_HARDWARE_VERTEXPROCESSING;
            break;
        }
        m_device = nullptr;
    }
    if (!m_device)
        return false;

    D3DCAPS8 dcaps{};
    if (FAILED(m_device->GetDeviceCaps(&dcaps)))
        return false;
    DWORD stages = dcaps.MaxTextureBlendStages < dcaps.MaxSimultaneousTextures ? dcaps.MaxTextureBlendStages
                                                                                : dcaps.MaxSimultaneousTextures;
    if (stages == 0)
        stages = 1;
    if (stages <= 1)
        RaiseError("Multitexture 3D hardware required");
    m_pixelShadersOn = dcaps.PixelShaderVersion >= kPs11 && g_Settings.AdvancedRendering != 0;
    if (dcaps.VertexShaderVersion < kVs11)
        RaiseError("Vertex Shaders v1.1 or better required");

    m_device->GetRenderTarget(&m_backBuffer);
    m_device->GetDepthStencilSurface(&m_depthSurface);

    if (g_Settings.Gamma)
        SetGammaFromBrightness(g_Settings.Brightness / 100.0);

    m_blurEnabled = g_Settings.MotionBlur != 0;
    m_blurSize = render::MotionBlurTargetSize(g_Settings.MotionBlurQuality);
    m_blurSamples = render::MotionBlurSampleCount(g_Settings.MotionBlur, g_Settings.MotionBlurSamples);
    return Load();
}

bool CDrawer::Load()
{
    if (m_blurEnabled) {
        if (FAILED(D3DXCreateTexture(m_device, m_blurSize, m_blurSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                     D3DPOOL_DEFAULT, &m_blurTextureA)) ||
            FAILED(D3DXCreateTexture(m_device, m_blurSize, m_blurSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                     D3DPOOL_DEFAULT, &m_blurTextureB)) ||
            FAILED(m_blurTextureA->GetSurfaceLevel(0, &m_blurSurfaceA)) ||
            FAILED(m_blurTextureB->GetSurfaceLevel(0, &m_blurSurfaceB)) ||
            FAILED(m_device->CreateDepthStencilSurface(m_blurSize, m_blurSize, D3DFMT_D16, D3DMULTISAMPLE_NONE,
                                                       &m_blurDepth)))
            return false;
    }
    if (!LoadFixedTextures())
        return false;

    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_device->SetRenderState(D3DRS_ZENABLE, TRUE);
    m_device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    for (DWORD stage = 0; stage < 4; ++stage) {
        m_device->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        m_device->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        m_device->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    }

    const DWORD usage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
    if (FAILED(m_device->CreateVertexBuffer(kDynamicVertices * sizeof(RenderVertex), usage, 0, D3DPOOL_DEFAULT,
                                            &m_vertexBuffer)) ||
        FAILED(m_device->CreateIndexBuffer(kDynamicVertices * 2, usage, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                           &m_indexBuffer)))
        return false;

    for (const char* path : {"dx/basic.vsh", "dx/bump.vsh", "dx/light.vsh"}) {
        DWORD handle = 0;
        if (!LoadVertexShader(path, kDeclaration, handle))
            return false;
        m_vertexShaders.push_back(handle);
    }
    if (m_pixelShadersOn) {
        for (const char* path : {"dx/basic.psh", "dx/bump.psh"}) {
            DWORD handle = 0;
            if (!LoadPixelShader(path, handle))
                return false;
            m_pixelShaders.push_back(handle);
        }
    }
    BindDynamicBuffers();
    m_device->SetVertexShader(m_vertexShaders[0]);

    SetProgress(0);
    m_canyon.SetProgressCallback([this](float f) { SetProgress(f); });
    // Each failure names its member; a texture's own reason is noted first
    // by LoadTexture, and the first note of a run is the one reported.
    if (!m_canyon.Load("models/canyon.smd", *this))
        return NoteMemberFailure("models/canyon.smd", "not a usable canyon model");
    for (CPterodactyl& p : m_flock) {
        if (!p.Load(*this))
            return NoteMemberFailure("models/ptero.smd", "not a usable skinned model");
    }
    if (!m_leader.Load(*this))
        return NoteMemberFailure("models/ptero.smd", "not a usable skinned model");
    if (!m_path.Load("models/camera.ani"))
        return NoteMemberFailure("models/camera.ani", "not a usable animation");
    m_loaded = m_heli.Init(m_path, "ClassicCamera");
    return m_loaded;
}

void CDrawer::Shutdown()
{
    if (m_released)
        return;
    ModelCache::Clear();
    m_canyon.Release();
    if (m_device) {
        for (DWORD h : m_vertexShaders)
            m_device->DeleteVertexShader(h);
        for (DWORD h : m_pixelShaders)
            m_device->DeletePixelShader(h);
    }
    for (IDirect3DTexture8*& t : m_textures)
        ReleaseAndClear(t);
    m_vertexShaders.clear();
    m_pixelShaders.clear();
    m_textures.clear();
    m_textureNames.clear();
    ClearFixedTextures();
    ReleaseAndClear(m_blurSurfaceA);
    ReleaseAndClear(m_blurSurfaceB);
    ReleaseAndClear(m_blurTextureA);
    ReleaseAndClear(m_blurTextureB);
    ReleaseAndClear(m_blurDepth);
    ReleaseAndClear(m_backBuffer);
    ReleaseAndClear(m_depthSurface);
    ReleaseAndClear(m_vertexBuffer);
    ReleaseAndClear(m_indexBuffer);
    ReleaseAndClear(m_device);
    ReleaseAndClear(m_d3d);
    m_released = true;
}

// ---------------------------------------------------------------------------
// 2. Caches
// ---------------------------------------------------------------------------

IDirect3DTexture8* CDrawer::LoadTexture(const char* path, UINT mipLevels, D3DFORMAT format)
{
    if (!path || !m_device)
        return nullptr;
    for (size_t i = 0; i < m_textureNames.size(); ++i) {
        if (strcasecmp(m_textureNames[i].c_str(), path) == 0)
            return m_textures[i];
    }
    DataRef data = ReadArchiveFile(path);
    if (!data) {
        NoteMemberFailure(path, "missing from the archive");
        return nullptr;
    }
    IDirect3DTexture8* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileInMemoryEx(m_device, data.GetData(), data.GetSize(), D3DX_DEFAULT,
                                                   D3DX_DEFAULT, mipLevels, 0, format, D3DPOOL_MANAGED,
                                                   D3DX_FILTER_TRIANGLE, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                   &texture)) ||
        !texture) {
        NoteMemberFailure(path, VantorTextureError().empty() ? "not a usable texture" : VantorTextureError());
        return nullptr;
    }
    m_textureNames.emplace_back(path);
    m_textures.push_back(texture);
    return texture;
}

bool CDrawer::LoadFixedTextures()
{
    for (int slot = 0; slot < kFixedTextureCount; ++slot) {
        if (!kFixedTexturePaths[slot])
            continue;
        m_fixed[static_cast<size_t>(slot)] = LoadTexture(kFixedTexturePaths[slot], 0, D3DFMT_UNKNOWN);
        if (!m_fixed[static_cast<size_t>(slot)])
            return false;
    }
    return true;
}

void CDrawer::SelectFixedTexture(int slot)
{
    if (slot < 0 || slot >= kFixedTextureCount)
        slot = 0;
    if (IDirect3DTexture8* texture = m_fixed[static_cast<size_t>(slot)])
        m_device->SetTexture(0, texture);
}

namespace {

// The assembled token stream of a shader source in the archive, or null.
LPD3DXBUFFER AssembleShader(const char* path)
{
    DataRef source = ReadArchiveFile(path);
    if (!source) {
        NoteMemberFailure(path, "missing from the archive");
        return nullptr;
    }
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    if (FAILED(D3DXAssembleShader(source.GetData(), source.GetSize(), 0, nullptr, &code, &errors))) {
        // "(LINE): error: MESSAGE\n" becomes "PATH(LINE): error: MESSAGE".
        std::string text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : ": does not assemble";
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        NoteErrorDetail(path + text);
        if (errors)
            errors->Release();
        return nullptr;
    }
    if (errors)
        errors->Release();
    return code;
}

}  // namespace

bool CDrawer::LoadVertexShader(const char* path, const DWORD* declaration, DWORD& handle)
{
    LPD3DXBUFFER code = AssembleShader(path);
    if (!code)
        return false;
    const HRESULT hr =
        m_device->CreateVertexShader(declaration, static_cast<const DWORD*>(code->GetBufferPointer()), &handle, 0);
    code->Release();
    return SUCCEEDED(hr) || NoteMemberFailure(path, "refused by the device");
}

bool CDrawer::LoadPixelShader(const char* path, DWORD& handle)
{
    LPD3DXBUFFER code = AssembleShader(path);
    if (!code)
        return false;
    const HRESULT hr = m_device->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &handle);
    code->Release();
    return SUCCEEDED(hr) || NoteMemberFailure(path, "refused by the device");
}

void CDrawer::UploadShaderConstants()
{
    D3DXMATRIX viewProjection, transposed;
    D3DXMatrixMultiply(&viewProjection, &m_view, &m_projection);
    D3DXMatrixTranspose(&transposed, &viewProjection);

    uint32_t fogSlopeBits = 0x380BCF65u;  // 1 / 30000 exactly as stored
    float fogSlope;
    std::memcpy(&fogSlope, &fogSlopeBits, sizeof(fogSlope));
    const float c0[4] = {0.0f, 2.0f, 0.8f, 0.2f};
    const float c1[4] = {1.0f, 0.5f, 1.3f, fogSlope};
    const float root = std::sqrt(1.5f);
    const float light[4] = {-0.5f / root, -0.5f / root, 1.0f / root, 0.0f};
    m_device->SetVertexShaderConstant(0, c0, 1);
    m_device->SetVertexShaderConstant(1, c1, 1);
    m_device->SetVertexShaderConstant(20, light, 1);
    m_device->SetVertexShaderConstant(4, &transposed, 4);
    const float p0[4] = {0.2f, 0.2f, 0.2f, 0.0f};
    const float p1[4] = {-0.2f, -0.2f, -0.2f, 0.0f};
    m_device->SetPixelShaderConstant(0, p0, 1);
    m_device->SetPixelShaderConstant(1, p1, 1);
}

// ---------------------------------------------------------------------------
// 3. The frame
// ---------------------------------------------------------------------------

void CDrawer::BindDynamicBuffers()
{
    m_device->SetStreamSource(0, m_vertexBuffer, sizeof(RenderVertex));
    m_device->SetIndices(m_indexBuffer, 0);
}

RenderVertex* CDrawer::LockDynamic(UINT vertices)
{
    BYTE* data = nullptr;
    if (vertices > kDynamicVertices ||
        FAILED(m_vertexBuffer->Lock(0, vertices * sizeof(RenderVertex), &data, D3DLOCK_DISCARD)))
        return nullptr;
    return reinterpret_cast<RenderVertex*>(data);
}

void CDrawer::RenderFrame()
{
    if (!m_device || m_released || !m_loaded)
        return;
    m_leader.Update();
    for (CPterodactyl& p : m_flock)
        p.Update();

    if (g_pSystem) {
        m_currentTime = g_pSystem->GetTime();
        m_lastFrame = g_pSystem->GetFrameTime();
    }
    m_smoothed = render::SmoothFrameTime(m_smoothed, m_lastFrame);
    m_sceneClock += m_smoothed;

    for (int k = 0; k < m_blurSamples; ++k) {
        if (!RenderSubFrame(k))
            return;
    }
    PostPass();
}

bool CDrawer::RenderSubFrame(int k)
{
    m_subFrame = k;
    if (m_blurEnabled)
        m_device->SetRenderTarget(m_blurSurfaceA, m_blurDepth);
    BindDynamicBuffers();
    m_device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF6060C0u, 1.0f, 0);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    m_device->BeginScene();

    SetupCamera();
    // The sky and the haze lie behind everything, so they are drawn last
    // and only where nothing else was: the opaque canyon and creatures write
    // depths below render::kOpaqueMaxZ, and the sky, pinned at the far end
    // of the depth range, fails the test under them. The picture is the one the
    // sky-first order gives, without shading the whole sky under the rock.
    D3DVIEWPORT8 full{};
    m_device->GetViewport(&full);
    D3DVIEWPORT8 band = full;
    band.MaxZ = full.MinZ + (full.MaxZ - full.MinZ) * render::kOpaqueMaxZ;
    m_device->SetViewport(&band);

    // Stage 1 as the sky leaves it: canyon batches without a shadow texture
    // draw with it.
    m_device->SetTexture(1, m_fixed[kSlotFog]);
    if (m_pixelShadersOn) {
        m_device->SetTexture(2, m_fixed[kSlotBump]);
        m_device->SetVertexShader(m_vertexShaders[1]);
        m_device->SetPixelShader(m_pixelShaders[1]);
    }
    D3DXMATRIX viewProjection;
    D3DXMatrixMultiply(&viewProjection, &m_view, &m_projection);
    const vmath::Mat4 clip = FromD3DMatrix(viewProjection);
    const vmath::Vec3 eye{m_eye.x, m_eye.y, m_eye.z};
    m_canyon.Draw(g_Settings.Fog != 0, &clip, &eye);
    BindDynamicBuffers();
    if (m_pixelShadersOn) {
        m_device->SetVertexShader(m_vertexShaders[0]);
        m_device->SetPixelShader(0);
    }
    m_device->SetVertexShader(m_vertexShaders[2]);
    PlacePterodactyls();
    m_device->SetVertexShader(m_vertexShaders[0]);
    BindDynamicBuffers();

    D3DVIEWPORT8 behind = full;
    behind.MinZ = behind.MaxZ = full.MaxZ;
    m_device->SetViewport(&behind);
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    const bool backdrop = DrawSky() && (!g_Settings.Fog || DrawHaze());
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    m_device->SetViewport(&full);
    if (!backdrop)
        return false;
    if (g_Settings.Flare)
        DrawLensFlares();
    m_device->EndScene();
    if (m_blurEnabled)
        MotionBlurAccumulate(k);
    return true;
}

void CDrawer::PostPass()
{
    m_device->BeginScene();
    if (m_blurEnabled)
        MotionBlurComposite();
    if (g_Settings.FPS)
        DrawFrameCounter();
    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
}

void CDrawer::SetupCamera()
{
    D3DXMatrixIdentity(&m_world);
    UpdateCamera();
    m_projection = ToD3D(camera::ProjectionMatrix());
    UploadShaderConstants();
}

void CDrawer::UpdateCamera()
{
    camera::CameraInputs in;
    in.sceneTime = m_sceneClock;
    in.pathStartOffset = m_pathStartOffset;
    in.frameTime = m_smoothed;
    in.subFrame = m_subFrame;
    in.subFrameCount = m_blurSamples;
    in.velocity = g_Settings.Velocity;
    in.classicCamera = g_Settings.ClassicCamera != 0;
    const camera::CameraFrame frame = camera::UpdateCamera(m_path, in);
    m_eye = D3DXVECTOR3(frame.pose.eye.x, frame.pose.eye.y, frame.pose.eye.z);
    m_view = ToD3D(frame.view);
    const camera::ListenerValues& l = frame.listener;
    SoundSetListener(l.position, l.forward, l.up, l.range, l.speed);
    if (in.classicCamera)
        m_heli.Tick(frame.pathTime, frame.pathRate);
}

void CDrawer::PlacePterodactyls()
{
    m_leader.SetWorldMatrix(camera::LeaderWorld(m_path));
    m_leader.Draw();
    camera::PlaceFlock(m_path, m_sceneClock, [this](int32_t member, const vmath::Mat4& world) {
        CPterodactyl& p = m_flock[static_cast<size_t>(member)];
        p.SetWorldMatrix(world);
        p.Draw();
    });
}

bool CDrawer::DrawSky()
{
    const render::SkyOffsets o = render::SkyTextureOffsets(m_sceneClock);
    RenderVertex* v = LockDynamic(16);
    if (!v)
        return false;
    v[0] = Vertex(m_eye.x, m_eye.y, m_eye.z + 50.0f, kWhite, -o.s, o.s, -o.cu, o.cv);
    for (int i = 0; i < 15; ++i) {
        const float theta = static_cast<float>(i) * 2.0f * kPi / 14.0f;
        const float sn = std::sin(theta), cs = std::cos(theta);
        v[i + 1] = Vertex(m_eye.x + 300.0f * sn, m_eye.y + 300.0f * cs, m_eye.z - 50.0f, kWhite, 2.0f * sn - o.s,
                          2.0f * cs + o.s, 2.0f * sn - o.cu, 2.0f * cs + o.cv);
    }
    m_vertexBuffer->Unlock();
    m_device->SetTexture(0, m_fixed[kSlotSky]);
    m_device->SetTexture(1, m_fixed[kSlotFog]);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
    m_device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 14);
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    return true;
}

bool CDrawer::DrawHaze()
{
    RenderVertex* v = LockDynamic(64);
    if (!v)
        return false;
    for (int i = 0; i < 32; ++i) {
        const float theta = static_cast<float>(i) * 2.0f * kPi / 31.0f;
        const float x = m_eye.x + 300.0f * std::sin(theta), y = m_eye.y + 300.0f * std::cos(theta);
        v[2 * i] = Vertex(x, y, m_eye.z - 50.0f, 0xFFCFCFCFu, 0, 0);
        v[2 * i + 1] = Vertex(x, y, m_eye.z + 80.0f, 0x00CFCFCFu, 0, 0);
    }
    m_vertexBuffer->Unlock();
    SelectFixedTexture(kSlotDefault);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 62);
    return true;
}

// ---------------------------------------------------------------------------
// 4. Post effects
// ---------------------------------------------------------------------------

bool CDrawer::ProjectToScreen(const D3DXVECTOR3& point, float& sx, float& sy, float& sz)
{
    D3DVIEWPORT8 viewport{};
    m_device->GetViewport(&viewport);
    D3DXVECTOR3 out;
    D3DXVec3Project(&out, &point, &viewport, &m_projection, &m_view, &m_world);
    const float w = static_cast<float>(viewport.Width), h = static_cast<float>(viewport.Height);
    const float px = out.x - static_cast<float>(viewport.X), py = out.y - static_cast<float>(viewport.Y);
    const bool inside = px >= 0 && px < w && py >= 0 && py < h && out.z >= viewport.MinZ && out.z <= viewport.MaxZ;
    sx = w > 0 ? px / w : 0;
    sy = h > 0 ? py / h : 0;
    sz = out.z;
    return inside;
}

void CDrawer::DrawLensFlares()
{
    const D3DXVECTOR3 sun(m_eye.x - 5000.0f, m_eye.y - 5000.0f, m_eye.z + 5000.0f);
    float sx = 0, sy = 0, sz = 0;
    const bool inside = ProjectToScreen(sun, sx, sy, sz);
    const bool visible = inside && !m_canyon.IntersectRay({m_eye.x, m_eye.y, m_eye.z}, {-0.5f, -0.5f, 0.5f});
    if (m_subFrame == 0)
        m_flareIntensity = render::StepFlareIntensity(m_flareIntensity, visible, m_smoothed);
    if (m_flareIntensity <= 0.0f)
        return;
    const float m = m_flareIntensity * render::FlareEdgeFactor(sx, sy);

    EnterOverlayMode();
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetRenderState(D3DRS_ZENABLE, FALSE);
    const float dx = 2.0f * (0.5f - sx), dy = 2.0f * (0.5f - sy);
    for (const render::FlareElement& e : render::kFlareElements) {
        SelectFixedTexture(e.slot);
        const float cx = sx + dx * e.position, cy = sy + dy * e.position;
        const float angle = e.rotates ? (sx + sy) * -3.14f : 0.0f;
        DrawRect(cx - e.size, cy - 1.333f * e.size, cx + e.size, cy + 1.333f * e.size,
                 render::FlareColour(e.colour, m), angle);
    }
    LeaveOverlayMode();
}

bool CDrawer::WriteBlurQuad(D3DCOLOR colour)
{
    RenderVertex* v = LockDynamic(4);
    if (!v)
        return false;
    // Flipped vertically on both copies, so the picture ends up upright.
    v[0] = Vertex(0, 0, 0, colour, 0, 1);
    v[1] = Vertex(0, 1, 0, colour, 0, 0);
    v[2] = Vertex(1, 0, 0, colour, 1, 1);
    v[3] = Vertex(1, 1, 0, colour, 1, 0);
    m_vertexBuffer->Unlock();
    return true;
}

void CDrawer::MotionBlurAccumulate(int k)
{
    m_device->SetRenderTarget(m_blurSurfaceB, nullptr);
    m_device->BeginScene();
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    EnterOverlayMode();
    if (!WriteBlurQuad((render::AccumulationAlpha(k) << 24) | 0xFFFFFFu))
        return;
    m_device->SetTexture(0, m_blurTextureA);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    m_device->SetRenderState(D3DRS_ZENABLE, FALSE);
    m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    m_device->SetRenderState(D3DRS_ZENABLE, TRUE);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
    LeaveOverlayMode();
    m_device->EndScene();
}

void CDrawer::MotionBlurComposite()
{
    m_device->SetRenderTarget(m_backBuffer, nullptr);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    EnterOverlayMode();
    if (!WriteBlurQuad(kWhite))
        return;
    m_device->SetTexture(0, m_blurTextureB);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    m_device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
    LeaveOverlayMode();
}

void CDrawer::SetGammaFromBrightness(double brightness)
{
    D3DGAMMARAMP ramp{};
    render::BuildGammaRamp(brightness, ramp);
    m_device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
}

// ---------------------------------------------------------------------------
// 5. Overlay, text, frame counter, loading screen
// ---------------------------------------------------------------------------

void CDrawer::EnterOverlayMode()
{
    m_savedWorld = m_world;
    m_savedView = m_view;
    m_savedProjection = m_projection;
    D3DXMatrixIdentity(&m_world);
    D3DXMatrixIdentity(&m_view);
    D3DXMatrixOrthoOffCenterLH(&m_projection, 0, 1, 1, 0, 0, 1);
    UploadShaderConstants();
}

void CDrawer::LeaveOverlayMode()
{
    m_world = m_savedWorld;
    m_view = m_savedView;
    m_projection = m_savedProjection;
    UploadShaderConstants();
}

void CDrawer::DrawRect(float x0, float y0, float x1, float y1, D3DCOLOR colour, float angle)
{
    const auto corners = render::RectCorners(x0, y0, x1, y1, angle);
    RenderVertex* v = LockDynamic(4);
    if (!v)
        return;
    static const float uv[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    for (int i = 0; i < 4; ++i)
        v[i] = Vertex(corners[static_cast<size_t>(i)].x, corners[static_cast<size_t>(i)].y, 0.5f, colour, uv[i][0],
                      uv[i][1]);
    m_vertexBuffer->Unlock();
    m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

void CDrawer::OutText(float x, float y, float w, float h, D3DCOLOR colour, const char* text)
{
    InChain("CDrawer::OutText", [&] {
        EnterOverlayMode();
        // Four vertices a character: the dynamic buffer holds 256 of them;
        // longer text is cut there.
        size_t count = text ? std::strlen(text) : 0;
        if (count > kDynamicVertices / 4)
            count = kDynamicVertices / 4;
        RenderVertex* v = LockDynamic(static_cast<UINT>(count ? count * 4 : 4));
        if (!v)
            return;
        for (size_t i = 0; i < count; ++i) {
            const render::GlyphCell c = render::GlyphCellFor(text[i]);
            const float left = x + static_cast<float>(i) * w, right = left + w;
            v[4 * i + 0] = Vertex(left, y, 0.001f, colour, c.uL, c.vT);
            v[4 * i + 1] = Vertex(left, y + h, 0.001f, colour, c.uL, c.vB);
            v[4 * i + 2] = Vertex(right, y, 0.001f, colour, c.uR, c.vT);
            v[4 * i + 3] = Vertex(right, y + h, 0.001f, colour, c.uR, c.vB);
        }
        m_vertexBuffer->Unlock();
        m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_device->SetRenderState(D3DRS_ZENABLE, FALSE);
        SelectFixedTexture(kSlotFont);
        for (size_t j = 0; j < count; ++j)
            m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, static_cast<UINT>(4 * j), 2);
        LeaveOverlayMode();
    });
}

void CDrawer::DrawFrameCounter()
{
    if (m_lastCounterUpdate == 0 || m_currentTime - m_lastCounterUpdate > 1.0) {
        if (m_lastFrame < 0.0001)
            m_lastFrame = 0.0001;
        m_displayedRate = 1.0 / m_lastFrame;
        m_lastCounterUpdate = m_currentTime;
    }
    char buffer[256];
    std::snprintf(buffer, sizeof(buffer), "%4.2f", m_displayedRate);
    OutText(0.01f, 0.01f, 0.02f, 0.02f, kWhite, buffer);
}

void CDrawer::SetProgress(float fraction)
{
    if (!m_device)
        return;
    fraction = render::ClampProgress(fraction);
    m_device->BeginScene();
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    EnterOverlayMode();
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetRenderState(D3DRS_ZENABLE, FALSE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    SelectFixedTexture(kSlotLoading2);
    DrawRect(0.4f, 0.47f, 0.6f, 0.52f, kWhite, 0);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
    SelectFixedTexture(kSlotDefault);
    DrawRect(0.4f + 0.2f * fraction, 0.47f, 0.6f, 0.52f, 0xFF000000u, 0);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    SelectFixedTexture(kSlotLoading1);
    DrawRect(0.4f, 0.47f, 0.6f, 0.52f, 0xFF5F5F5Fu, 0);
    LeaveOverlayMode();
    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
}
