// IDirect3DDevice8 over an OpenGL 3.3 core context.
//
// Direct3D state is recorded as set; the GL state is derived from it lazily
// at draw time through dirty flags and a shadow of what GL already holds, so
// repeated or cancelling Set* calls cost no GL calls. Programs are cached by
// (vertex shader, pixel shader or texture-stage key, fog, alpha test).
#pragma once

#include "platform/d3d8/d3d8_vantor.h"
#include "platform/d3d8/gl_context.h"
#include "platform/d3d8/objects.h"
#include "platform/d3d8/shader_gen.h"

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CDirect3D8;

class CDevice final : public TUnknown<IDirect3DDevice8> {
public:
    CDevice(CDirect3D8* d3d, std::unique_ptr<CGLContext> context, const D3DCAPS8& caps, D3DDEVTYPE type,
            HWND window, DWORD behavior);
    ~CDevice() override;
    // Builds the back buffer, depth buffer and fixed GL objects.
    HRESULT Init(D3DPRESENT_PARAMETERS* pp);

    // ---- IDirect3DDevice8
    HRESULT TestCooperativeLevel() override { return D3D_OK; }
    HRESULT GetDirect3D(IDirect3D8** ppD3D8) override;
    HRESULT GetDeviceCaps(D3DCAPS8* pCaps) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* pMode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override;
    HRESULT GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** ppBackBuffer) override;
    void SetGammaRamp(DWORD Flags, const D3DGAMMARAMP* pRamp) override;
    void GetGammaRamp(D3DGAMMARAMP* pRamp) override;
    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                          IDirect3DTexture8** ppTexture) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer8** ppVertexBuffer) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer8** ppIndexBuffer) override;
    HRESULT CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                               BOOL Lockable, IDirect3DSurface8** ppSurface) override;
    HRESULT CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                      IDirect3DSurface8** ppSurface) override;
    HRESULT SetRenderTarget(IDirect3DSurface8* pRenderTarget, IDirect3DSurface8* pNewZStencil) override;
    HRESULT GetRenderTarget(IDirect3DSurface8** ppRenderTarget) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** ppZStencilSurface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT SetViewport(const D3DVIEWPORT8* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* pViewport) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices, UINT startIndex,
                                 UINT primCount) override;
    HRESULT CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle,
                               DWORD Usage) override;
    HRESULT SetVertexShader(DWORD Handle) override;
    HRESULT GetVertexShader(DWORD* pHandle) override;
    HRESULT DeleteVertexShader(DWORD Handle) override;
    HRESULT SetVertexShaderConstant(DWORD Register, const void* pConstantData, DWORD ConstantCount) override;
    HRESULT GetVertexShaderConstant(DWORD Register, void* pConstantData, DWORD ConstantCount) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) override;
    HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) override;
    HRESULT GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) override;
    HRESULT CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) override;
    HRESULT SetPixelShader(DWORD Handle) override;
    HRESULT GetPixelShader(DWORD* pHandle) override;
    HRESULT DeletePixelShader(DWORD Handle) override;
    HRESULT SetPixelShaderConstant(DWORD Register, const void* pConstantData, DWORD ConstantCount) override;
    HRESULT GetPixelShaderConstant(DWORD Register, void* pConstantData, DWORD ConstantCount) override;

    // ---- runtime internals
    bool Use();  // makes this device's context current
    void Register(CResourceLink* r) { m_resources.insert(r); }
    void Unregister(CResourceLink* r) { m_resources.erase(r); }
    void ForgetSurface(CSurface* s);
    void ForgetTexture(CTexture* t);
    void ForgetBuffer(GLuint name);
    void BindTextureForUpload(GLuint tex);
    bool TextureStorage() const { return m_textureStorage; }
    void BindArrayBufferForUpload(GLuint buf);
    HRESULT ReadSurface(CSurface* s, UINT* w, UINT* h, std::vector<uint32_t>* pixels);
    HRESULT ReadPresented(UINT* w, UINT* h, std::vector<uint32_t>* pixels);
    HRESULT ReadBackBufferDepth(UINT* w, UINT* h, std::vector<float>* depth);
    const VantorD3D8Stats& Stats() const { return m_stats; }

private:
    struct VertexShader {
        bool live = false;
        VertexDecl decl;
        std::string glsl;                  // texture outputs still to be chosen
        std::map<uint32_t, GLuint> variants;  // by TexCoordUsage key
        UINT id = 0;
    };
    GLuint VertexVariant(VertexShader& vs, const TexCoordUsage& usage);
    struct PixelShader {
        bool live = false;
        std::string body;
        UINT id = 0;
    };
    struct StreamSource {
        CVertexBuffer* buffer = nullptr;
        UINT stride = 0;
    };
    struct GLShadow {
        GLuint fbo = ~0u;
        GLint vp[4] = {-1, -1, -1, -1};
        float depthRange[2] = {-1, -1};
        GLenum clipOrigin = GL_LOWER_LEFT;
        GLuint program = ~0u;
        int blend = -1;
        GLenum blendSrc = 0, blendDst = 0, blendEq = 0;
        int depthTest = -1;
        GLenum depthFunc = 0;
        int depthMask = -1;
        int cull = -1;
        GLenum cullFace = 0;
        DWORD colorMask = ~0u;
        GLuint unitTexture[8] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
        int activeUnit = -1;
        GLuint arrayBuffer = ~0u;
        GLuint elementBuffer = ~0u;
        int scissor = -1;
        GLuint vao = ~0u;
    };

    HRESULT PrepareDraw(UINT vertexEnd);
    bool ApplyFramebuffer();
    bool ApplyProgram();
    bool ApplyVertexInput();
    void ApplyTextures();
    void ApplyFixedState();
    void UploadUniforms();
    GLuint FramebufferFor(CSurface* color, CSurface* depth);
    GLuint LinkProgram(GLuint vs, GLuint fs);
    GLuint CompileShader(GLenum type, const std::string& source, std::string* log);
    void SetActiveUnit(int unit);
    void ResetViewportToTarget();
    void UpdateSamplers(int stage);
    void UpdateGammaTexture();
    void PaceFrame();
    HRESULT FinishPresent(bool headless);

    CDirect3D8* m_d3d;
    std::unique_ptr<CGLContext> m_context;
    D3DCAPS8 m_caps;
    D3DDEVTYPE m_type;
    HWND m_window;
    DWORD m_behavior;
    bool m_clipControl = false;
    // glTexStorage2D (GL 4.2) allocates at once, so a target the driver
    // cannot store fails when it is made rather than at its first draw.
    bool m_textureStorage = false;
    bool m_vsync = false;
    int m_windowAlpha = -1;  // whether the window has alpha bits; -1 until the first Present
    std::chrono::steady_clock::time_point m_nextPresent{};

    CSurface* m_backBuffer = nullptr;
    CSurface* m_autoDepth = nullptr;
    CSurface* m_renderTarget = nullptr;
    CSurface* m_depthStencil = nullptr;
    GLuint m_frontTexture = 0, m_frontFbo = 0;  // headless stand-in for the window
    bool m_presented = false;

    D3DVIEWPORT8 m_viewport{};
    D3DMATRIX m_transforms[512]{};
    DWORD m_rs[256]{};
    DWORD m_tss[8][32]{};
    IDirect3DBaseTexture8* m_textures[8]{};
    StreamSource m_streams[16]{};
    CIndexBuffer* m_indices = nullptr;
    UINT m_baseVertex = 0;
    bool m_inScene = false;

    std::vector<VertexShader> m_vertexShaders;
    std::vector<PixelShader> m_pixelShaders;
    DWORD m_vsHandle = 0;
    DWORD m_psHandle = 0;
    UINT m_nextShaderId = 1;

    UniformBlock m_uniforms{};
    size_t m_uniformDirtyLo = 0, m_uniformDirtyHi = sizeof(UniformBlock);
    GLuint m_ubo = 0;

    D3DGAMMARAMP m_gamma{};
    bool m_gammaDirty = true;
    GLuint m_gammaTexture = 0;
    GLuint m_presentProgram[2] = {};
    GLint m_presentGeometry[2] = {-1, -1};
    bool m_gammaIdentity = true;
    GLuint m_emptyVao = 0;
    GLuint m_vao = 0;
    GLuint m_samplers[8]{};
    bool m_samplerDirty[8]{};
    bool m_texturesDirty = true;

    // Dirty flags of the lazily applied state.
    bool m_programDirty = true;
    bool m_inputDirty = true;
    bool m_fixedDirty = true;
    GLuint m_currentProgram = 0;
    GLuint m_enabledAttribs = 0;

    std::map<std::pair<CSurface*, CSurface*>, GLuint> m_fbos;
    std::map<std::pair<UINT, std::string>, GLuint> m_fragmentShaders;  // (ps id or 0, key) -> shader
    std::map<std::pair<GLuint, GLuint>, GLuint> m_programs;
    std::map<std::vector<DWORD>, std::string> m_stageBodies;
    std::set<CResourceLink*> m_resources;
    GLShadow m_gl;
    VantorD3D8Stats m_stats;
    friend class CSurface;
};
