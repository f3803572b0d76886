// CDrawer: the rendering engine. It owns the Direct3D 8 device on the saver
// window, the texture and shader caches, the canyon, the flight path and the
// pterodactyls, and draws one frame per idle pass: sky, haze, canyon,
// pterodactyls, lens flares, motion blur, frame counter.
//
//   1. Set-up and release (Init, Load, Shutdown)
//   2. Caches (textures, fixed table, shaders, constants)
//   3. The frame (clock, sub-frames, sky, haze, camera, creatures)
//   4. Post effects (flares, motion blur, gamma)
//   5. Overlay, text, frame counter, loading screen
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/irender.h"
#include "canyon/canyon.h"
#include "creatures/heli_sound.h"
#include "creatures/pterodactyl.h"
#include "gfxutil/d3dx8.h"
#include "model/render_vertex.h"
#include "model/skeleton.h"

// The loading screen's side of the engine.
class CProgress {
public:
    virtual void SetProgress(float fraction) = 0;
    virtual ~CProgress() = default;
};

class CDrawer final : public CProgress, public IRender {
public:
    static constexpr int kFixedTextureCount = 14;
    static constexpr UINT kDynamicVertices = 1024;

    // `seed` seeds the random generator (the millisecond clock in normal
    // runs) and with it the path start offset.
    explicit CDrawer(uint32_t seed);
    ~CDrawer() override;
    CDrawer(const CDrawer&) = delete;
    CDrawer& operator=(const CDrawer&) = delete;

    // Creates the device on `window` (the saver window; for off-screen
    // rendering at the size given by SetOffscreenSize, null on Linux and a
    // hidden window on Windows) and loads the scene.
    // False on failure; a device without two texture stages or without
    // vertex shaders 1.1 raises its own error.
    bool Init(HWND window);
    void SetOffscreenSize(UINT width, UINT height);
    void Shutdown();
    bool Released() const { return m_released; }

    void RenderFrame();

    // IRender
    IDirect3DTexture8* LoadTexture(const char* path, UINT mipLevels, D3DFORMAT format) override;
    IDirect3DDevice8* GetDevice() override { return m_device; }

    // CProgress
    void SetProgress(float fraction) override;

    // Pieces of the frame, public so each can be exercised alone.
    bool LoadFixedTextures();
    void SelectFixedTexture(int slot);
    void ClearFixedTextures() { m_fixed.fill(nullptr); }
    IDirect3DTexture8* FixedTexture(int slot) const { return m_fixed[static_cast<size_t>(slot)]; }
    bool LoadVertexShader(const char* path, const DWORD* declaration, DWORD& handle);
    bool LoadPixelShader(const char* path, DWORD& handle);
    void UploadShaderConstants();

    void EnterOverlayMode();
    void LeaveOverlayMode();
    void DrawRect(float x0, float y0, float x1, float y1, D3DCOLOR colour, float angle);
    void OutText(float x, float y, float charWidth, float charHeight, D3DCOLOR colour, const char* text);
    void DrawFrameCounter();
    void SetGammaFromBrightness(double brightness);
    // Projects a world point; x and y as fractions of the viewport.
    bool ProjectToScreen(const D3DXVECTOR3& point, float& sx, float& sy, float& sz);

    // State for tests and the off-screen renderer.
    double SceneClock() const { return m_sceneClock; }
    double SmoothedFrameTime() const { return m_smoothed; }
    double PathStartOffset() const { return m_pathStartOffset; }
    void SetPathStartOffset(double offset) { m_pathStartOffset = offset; }
    void SetSceneClock(double t) { m_sceneClock = t; }
    void SetSmoothedFrameTime(double t) { m_smoothed = t; }
    float FlareIntensity() const { return m_flareIntensity; }
    double DisplayedRate() const { return m_displayedRate; }
    int SampleCount() const { return m_blurSamples; }
    bool PixelShadersOn() const { return m_pixelShadersOn; }
    bool HardwareVertexProcessing() const { return m_hardwareVertexProcessing; }
    size_t CachedTextureCount() const { return m_textures.size(); }
    const D3DXVECTOR3& Eye() const { return m_eye; }

private:
    bool Load();
    bool RenderSubFrame(int k);
    void PostPass();
    void SetupCamera();
    void UpdateCamera();
    void PlacePterodactyls();
    // Both draw at the far end of the depth range with the depth test on,
    // after the opaque geometry (see RenderSubFrame).
    bool DrawSky();
    bool DrawHaze();
    void DrawLensFlares();
    void MotionBlurAccumulate(int k);
    void MotionBlurComposite();
    bool WriteBlurQuad(D3DCOLOR colour);
    void BindDynamicBuffers();
    RenderVertex* LockDynamic(UINT vertices);

    // Clocks.
    double m_sceneClock = 0;
    double m_smoothed = 0;
    double m_currentTime = 0;
    double m_lastFrame = 0;
    double m_lastCounterUpdate = 0;
    double m_displayedRate = 0;
    double m_pathStartOffset = 0;

    D3DXMATRIX m_world, m_view, m_projection;
    D3DXMATRIX m_savedWorld, m_savedView, m_savedProjection;
    D3DXVECTOR3 m_eye;
    int m_subFrame = 0;

    UINT m_offscreenWidth = 0, m_offscreenHeight = 0;
    IDirect3D8* m_d3d = nullptr;
    IDirect3DDevice8* m_device = nullptr;
    IDirect3DVertexBuffer8* m_vertexBuffer = nullptr;
    IDirect3DIndexBuffer8* m_indexBuffer = nullptr;
    IDirect3DSurface8* m_backBuffer = nullptr;
    IDirect3DSurface8* m_depthSurface = nullptr;

    std::vector<std::string> m_textureNames;
    std::vector<IDirect3DTexture8*> m_textures;
    std::array<IDirect3DTexture8*, kFixedTextureCount> m_fixed{};
    std::vector<DWORD> m_vertexShaders;
    std::vector<DWORD> m_pixelShaders;
    bool m_pixelShadersOn = false;
    bool m_hardwareVertexProcessing = false;

    // Motion blur.
    bool m_blurEnabled = false;
    UINT m_blurSize = 512;
    int m_blurSamples = 1;
    IDirect3DTexture8* m_blurTextureA = nullptr;
    IDirect3DTexture8* m_blurTextureB = nullptr;
    IDirect3DSurface8* m_blurSurfaceA = nullptr;
    IDirect3DSurface8* m_blurSurfaceB = nullptr;
    IDirect3DSurface8* m_blurDepth = nullptr;

    float m_flareIntensity = 0;

    CCanyon m_canyon;
    CSkeleton m_path;
    CHeliSound m_heli;
    CPterodactyl m_leader;
    std::array<CPterodactyl, 10> m_flock;

    bool m_released = false;
    // Set once Load has built every table a frame indexes; a failed Init
    // leaves the drawer unable to render, not unsafe to call.
    bool m_loaded = false;
};
