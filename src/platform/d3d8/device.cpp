// IDirect3DDevice8 over OpenGL 3.3 core.
//
// Sections: 1 set-up and teardown  2 resources  3 targets and viewport
//           4 state  5 shaders  6 drawing and the lazy GL state
//           7 present and gamma  8 read-back
//
// Orientation: every render target texture stores the picture with row 0
// at the top, as Direct3D does (the vertex program negates y). Texture row
// 0 is the image's top, so a render-target texture sampled with Direct3D
// texture coordinates is upright, and winding is judged on the same
// picture the user sees: Direct3D's clockwise is GL's counter-clockwise in
// this row order. The back buffer, which Direct3D never samples, keeps
// GL's own order (row 0 at the bottom) where the upper-left clip origin is
// available: drawing into it with that origin turns the rows over and
// keeps the driver's rule for pixel centres on an edge Direct3D's (top-left
// as seen on screen); only its viewport and clear rectangles are mirrored.
// Present is then a straight copy to a window or the headless front
// buffer; read-backs of those turn the rows over.
#include "platform/d3d8/device.h"

#include "platform/d3d8/diagnostics.h"
#include "platform/d3d8/direct3d.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>

namespace {

CDevice* g_current = nullptr;

// The first GL row of a band of `height` rows that starts `y` rows from the
// top of `target`.
GLint GlRow(const CSurface* target, int64_t y, int64_t height)
{
    return static_cast<GLint>(target->m_bottomUp ? int64_t{target->m_height} - y - height : y);
}

// Turns the rows of a read-back picture over.
template <typename T>
void TurnRowsOver(std::vector<T>& pixels, UINT width, UINT height)
{
    for (UINT y = 0; y < height / 2; ++y)
        std::swap_ranges(pixels.begin() + static_cast<ptrdiff_t>(y) * width,
                         pixels.begin() + static_cast<ptrdiff_t>(y + 1) * width,
                         pixels.begin() + static_cast<ptrdiff_t>(height - 1 - y) * width);
}

constexpr DWORD kShaderHandleBase = 0x80000001u;

bool IsShaderHandle(DWORD h) { return h >= kShaderHandleBase && ((h - kShaderHandleBase) & 1) == 0; }
size_t ShaderIndex(DWORD h) { return (h - kShaderHandleBase) / 2; }
DWORD ShaderHandle(size_t index) { return kShaderHandleBase + static_cast<DWORD>(index) * 2; }

void ColorToFloats(D3DCOLOR c, float* out)
{
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
}

GLenum BlendFactor(DWORD b)
{
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
    }
}

GLenum CompareFunc(DWORD f)
{
    switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

bool PrimitiveShape(D3DPRIMITIVETYPE type, UINT count, GLenum* mode, UINT* vertices)
{
    switch (type) {
    case D3DPT_POINTLIST: *mode = GL_POINTS; *vertices = count; break;
    case D3DPT_LINELIST: *mode = GL_LINES; *vertices = count * 2; break;
    case D3DPT_LINESTRIP: *mode = GL_LINE_STRIP; *vertices = count + 1; break;
    case D3DPT_TRIANGLELIST: *mode = GL_TRIANGLES; *vertices = count * 3; break;
    case D3DPT_TRIANGLESTRIP: *mode = GL_TRIANGLE_STRIP; *vertices = count + 2; break;
    case D3DPT_TRIANGLEFAN: *mode = GL_TRIANGLE_FAN; *vertices = count + 2; break;
    default: return false;
    }
    return count <= 0xFFFFF;
}

const char* const kPresentVs =
    "#version 330 core\n"
    "void main() {\n"
    "  vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));\n"
    "  gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);\n"
    "}\n";
// The 8-bit display takes each ramp entry's high byte, as the hardware
// gamma tables of the era did; the identity ramp (i * 256) is exact.
const char* const kPresentFs =
    "uniform sampler2D image;\n"
    "uniform sampler2D ramp;\n"
    "uniform vec4 geometry;\n"  // source size over target size, target height, flip
    "out vec4 fragColor;\n"
    "void main() {\n"
    "  vec2 t = gl_FragCoord.xy;\n"
    "  if (geometry.w > 0.5) t.y = geometry.z - t.y;\n"
    "  ivec2 p = ivec2(t * geometry.xy);\n"
    "#ifdef GAMMA\n"
    "  ivec3 i = ivec3(texelFetch(image, p, 0).rgb * 255.0 + 0.5);\n"
    "  fragColor = vec4(texelFetch(ramp, ivec2(i.r, 0), 0).r, texelFetch(ramp, ivec2(i.g, 0), 0).g,\n"
    "                   texelFetch(ramp, ivec2(i.b, 0), 0).b, 1.0);\n"
    "#else\n"
    "  fragColor = vec4(texelFetch(image, p, 0).rgb, 1.0);\n"
    "#endif\n"
    "}\n";

}  // namespace

// ------------------------------------------------ 1 set-up and teardown
CDevice::CDevice(CDirect3D8* d3d, std::unique_ptr<CGLContext> context, const D3DCAPS8& caps, D3DDEVTYPE type,
                 HWND window, DWORD behavior)
    : m_d3d(d3d), m_context(std::move(context)), m_caps(caps), m_type(type), m_window(window), m_behavior(behavior)
{
    m_d3d->AddRef();
    ++d3d8diag::g_liveDevices;
}

bool CDevice::Use()
{
    if (g_current == this)
        return true;
    if (!m_context->MakeCurrent())
        return false;
    g_current = this;
    return true;
}

HRESULT CDevice::Init(D3DPRESENT_PARAMETERS* pp)
{
    g_current = nullptr;
    if (!Use())
        return D3DERR_NOTAVAILABLE;
    d3d8diag::InstallDebugOutput();
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major < 3 || (major == 3 && minor < 3))
        return D3DERR_NOTAVAILABLE;
    m_textureStorage = major > 4 || (major == 4 && minor >= 2);
    if (major > 4 || (major == 4 && minor >= 5)) {
        glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
        m_clipControl = true;
    }
    UINT w = pp->BackBufferWidth, h = pp->BackBufferHeight;
    if (!m_context->IsHeadless() && (w == 0 || h == 0)) {
        int dw = 0, dh = 0;
        m_context->GetDrawableSize(dw, dh);
        if (w == 0)
            w = static_cast<UINT>(std::max(dw, 1));
        if (h == 0)
            h = static_cast<UINT>(std::max(dh, 1));
    }
    if (w == 0)
        w = 640;
    if (h == 0)
        h = 480;
    if (pp->BackBufferFormat == D3DFMT_UNKNOWN)
        pp->BackBufferFormat = D3DFMT_X8R8G8B8;
    pp->BackBufferWidth = w;
    pp->BackBufferHeight = h;
    if (pp->BackBufferCount == 0)
        pp->BackBufferCount = 1;

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glFrontFace(GL_CCW);
    glGenVertexArrays(1, &m_vao);
    glGenVertexArrays(1, &m_emptyVao);
    glBindVertexArray(m_vao);
    glGenSamplers(8, m_samplers);
    for (GLuint i = 0; i < 8; ++i) {
        glBindSampler(i, m_samplers[i]);
        m_samplerDirty[i] = true;
    }
    glGenBuffers(1, &m_ubo);
    glBindBuffer(GL_UNIFORM_BUFFER, m_ubo);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(UniformBlock), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, m_ubo);

    // Back buffer: an off-screen target copied to the window by Present.
    const D3DFORMAT bbFormat = pp->BackBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    m_backBuffer = new CSurface(this, CSurface::ColorTarget, w, h, bbFormat, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    // GL's row order for the back buffer needs the upper-left clip origin
    // (GL 4.5); without it the back buffer keeps Direct3D's order and
    // Present turns it over on the way.
    m_backBuffer->m_bottomUp = m_clipControl;
    m_renderTarget = m_backBuffer;
    m_renderTarget->AddRef();
    if (pp->EnableAutoDepthStencil) {
        m_autoDepth = new CSurface(this, CSurface::DepthStencil, w, h, pp->AutoDepthStencilFormat,
                                   D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
        m_depthStencil = m_autoDepth;
        m_depthStencil->AddRef();
    }
    if (!m_backBuffer->m_allocated || (m_autoDepth && !m_autoDepth->m_allocated))
        return D3DERR_OUTOFVIDEOMEMORY;
    if (m_context->IsHeadless()) {
        glGenTextures(1, &m_frontTexture);
        BindTextureForUpload(m_frontTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &m_frontFbo);
        glBindFramebuffer(GL_FRAMEBUFFER, m_frontFbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_frontTexture, 0);
        m_gl.fbo = m_frontFbo;
    } else {
        m_vsync = m_context->EnableVsync();
    }

    // Two copies: with the gamma lookup, and a plain one while the ramp is
    // the identity.
    std::string log;
    const GLuint pvs = CompileShader(GL_VERTEX_SHADER, kPresentVs, &log);
    if (!pvs)
        return D3DERR_DRIVERINTERNALERROR;
    for (int variant = 0; variant < 2; ++variant) {
        const std::string fsText =
            std::string("#version 330 core\n") + (variant ? "#define GAMMA 1\n" : "") + kPresentFs;
        const GLuint pfs = CompileShader(GL_FRAGMENT_SHADER, fsText, &log);
        if (!pfs)
            return D3DERR_DRIVERINTERNALERROR;
        GLuint& prog = m_presentProgram[variant];
        prog = glCreateProgram();
        glAttachShader(prog, pvs);
        glAttachShader(prog, pfs);
        glLinkProgram(prog);
        glDeleteShader(pfs);
        GLint ok = 0;
        glGetProgramiv(prog, GL_LINK_STATUS, &ok);
        if (!ok)
            return D3DERR_DRIVERINTERNALERROR;
        glUseProgram(prog);
        glUniform1i(glGetUniformLocation(prog, "image"), 0);
        glUniform1i(glGetUniformLocation(prog, "ramp"), 1);
        m_presentGeometry[variant] = glGetUniformLocation(prog, "geometry");
        m_gl.program = prog;
    }
    glDeleteShader(pvs);
    glGenTextures(1, &m_gammaTexture);
    BindTextureForUpload(m_gammaTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    for (int i = 0; i < 256; ++i)
        m_gamma.red[i] = m_gamma.green[i] = m_gamma.blue[i] = static_cast<WORD>(i * 256);
    m_gammaDirty = true;

    // Direct3D's initial states.
    m_rs[D3DRS_ZENABLE] = pp->EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    m_rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    m_rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    m_rs[D3DRS_ZWRITEENABLE] = TRUE;
    m_rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    m_rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    m_rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    m_rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    m_rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    const float one = 1.0f;
    std::memcpy(&m_rs[D3DRS_FOGEND], &one, 4);
    std::memcpy(&m_rs[D3DRS_FOGDENSITY], &one, 4);
    std::memcpy(&m_rs[D3DRS_POINTSIZE], &one, 4);
    m_rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    m_rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    m_rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    m_rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    m_rs[D3DRS_CLIPPING] = TRUE;
    m_rs[D3DRS_LIGHTING] = TRUE;
    m_rs[D3DRS_COLORVERTEX] = TRUE;
    m_rs[D3DRS_LOCALVIEWER] = TRUE;
    m_rs[D3DRS_DIFFUSEMATERIALSOURCE] = 1;
    m_rs[D3DRS_SPECULARMATERIALSOURCE] = 2;
    m_rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    m_rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    m_rs[D3DRS_COLORWRITEENABLE] = 0xF;
    m_rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    ColorToFloats(m_rs[D3DRS_TEXTUREFACTOR], m_uniforms.textureFactor);
    for (DWORD s = 0; s < 8; ++s) {
        m_tss[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        m_tss[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        m_tss[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
        m_tss[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        m_tss[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        m_tss[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        m_tss[s][D3DTSS_TEXCOORDINDEX] = s;
        m_tss[s][D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        m_tss[s][D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        m_tss[s][D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        m_tss[s][D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        m_tss[s][D3DTSS_MINFILTER] = D3DTEXF_POINT;
        m_tss[s][D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        m_tss[s][D3DTSS_MAXANISOTROPY] = 1;
        m_tss[s][D3DTSS_COLORARG0] = D3DTA_CURRENT;
        m_tss[s][D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        m_tss[s][D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (D3DMATRIX& m : m_transforms)
        m._11 = m._22 = m._33 = m._44 = 1.0f;
    ResetViewportToTarget();
    return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

CDevice::~CDevice()
{
    Use();
    for (auto*& t : m_textures)
        if (t) {
            t->Release();
            t = nullptr;
        }
    for (StreamSource& s : m_streams)
        if (s.buffer) {
            s.buffer->Release();
            s.buffer = nullptr;
        }
    if (m_indices)
        m_indices->Release();
    m_indices = nullptr;
    for (CSurface** s : {&m_renderTarget, &m_depthStencil, &m_backBuffer, &m_autoDepth})
        if (*s) {
            (*s)->Release();
            *s = nullptr;
        }
    // Whatever the application still holds loses its GL objects now, while
    // the context exists; its interfaces stay valid but inert.
    const std::set<CResourceLink*> left = m_resources;
    for (CResourceLink* r : left)
        r->Orphan();
    for (auto& f : m_fbos)
        glDeleteFramebuffers(1, &f.second);
    for (auto& p : m_programs)
        glDeleteProgram(p.second);
    for (auto& f : m_fragmentShaders)
        glDeleteShader(f.second);
    for (VertexShader& v : m_vertexShaders)
        for (auto& variant : v.variants)
            glDeleteShader(variant.second);
    glDeleteProgram(m_presentProgram[0]);
    glDeleteProgram(m_presentProgram[1]);
    glDeleteTextures(1, &m_gammaTexture);
    if (m_frontFbo)
        glDeleteFramebuffers(1, &m_frontFbo);
    if (m_frontTexture)
        glDeleteTextures(1, &m_frontTexture);
    glDeleteBuffers(1, &m_ubo);
    glDeleteSamplers(8, m_samplers);
    glDeleteVertexArrays(1, &m_vao);
    glDeleteVertexArrays(1, &m_emptyVao);
    m_context.reset();
    g_current = nullptr;
    m_d3d->Release();
    --d3d8diag::g_liveDevices;
}

HRESULT CDevice::GetDirect3D(IDirect3D8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    m_d3d->AddRef();
    *pp = m_d3d;
    return D3D_OK;
}

HRESULT CDevice::GetDeviceCaps(D3DCAPS8* pCaps)
{
    if (!pCaps)
        return D3DERR_INVALIDCALL;
    *pCaps = m_caps;
    return D3D_OK;
}

HRESULT CDevice::GetDisplayMode(D3DDISPLAYMODE* pMode)
{
    return m_d3d->GetAdapterDisplayMode(0, pMode);
}

HRESULT CDevice::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p)
{
    if (!p)
        return D3DERR_INVALIDCALL;
    *p = {0, m_type, m_window, m_behavior};
    return D3D_OK;
}

// ---------------------------------------------------------- 2 resources
HRESULT CDevice::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                               IDirect3DTexture8** ppTexture)
{
    if (!ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    FormatInfo info;
    if (Width == 0 || Height == 0 || Width > m_caps.MaxTextureWidth || Height > m_caps.MaxTextureHeight ||
        Pool > D3DPOOL_SYSTEMMEM || !LookupTextureFormat(Format, &info) ||
        (Usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) != 0)
        return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_RENDERTARGET) && (Pool != D3DPOOL_DEFAULT || !info.renderable))
        return D3DERR_INVALIDCALL;
    UINT full = 1;
    for (UINT w = Width, h = Height; w > 1 || h > 1; w = std::max(w / 2, 1u), h = std::max(h / 2, 1u))
        ++full;
    if (Levels == 0 || Levels > full)
        Levels = full;
    Use();
    auto* tex = new CTexture(this, Width, Height, Levels, Usage, Format, Pool, info);
    if (!tex->Create()) {
        tex->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *ppTexture = tex;
    return D3D_OK;
}

HRESULT CDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (Length == 0 || Length > (256u << 20) || Pool > D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    Use();
    auto* vb = new CVertexBuffer(this, Length, Usage, FVF, Pool);
    if (!vb->Create()) {
        vb->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *pp = vb;
    return D3D_OK;
}

HRESULT CDevice::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                   IDirect3DIndexBuffer8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (Length == 0 || Length > (256u << 20) || Pool > D3DPOOL_SYSTEMMEM ||
        (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    Use();
    auto* ib = new CIndexBuffer(this, Length, Usage, Format, Pool);
    if (!ib->Create()) {
        ib->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *pp = ib;
    return D3D_OK;
}

HRESULT CDevice::CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                    BOOL, IDirect3DSurface8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = nullptr;
    FormatInfo info;
    if (Width == 0 || Height == 0 || Width > 16384 || Height > 16384 || MultiSample != D3DMULTISAMPLE_NONE ||
        !LookupTextureFormat(Format, &info) || !info.renderable)
        return D3DERR_INVALIDCALL;
    Use();
    auto* s = new CSurface(this, CSurface::ColorTarget, Width, Height, Format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    if (!s->m_allocated) {
        s->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *pp = s;
    return D3D_OK;
}

HRESULT CDevice::CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                           D3DMULTISAMPLE_TYPE MultiSample, IDirect3DSurface8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (Width == 0 || Height == 0 || Width > 16384 || Height > 16384 || MultiSample != D3DMULTISAMPLE_NONE ||
        !IsDepthFormat(Format))
        return D3DERR_INVALIDCALL;
    Use();
    auto* s = new CSurface(this, CSurface::DepthStencil, Width, Height, Format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
    if (!s->m_allocated) {
        s->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *pp = s;
    return D3D_OK;
}

void CDevice::ForgetSurface(CSurface* s)
{
    for (auto it = m_fbos.begin(); it != m_fbos.end();) {
        if (it->first.first == s || it->first.second == s) {
            if (m_gl.fbo == it->second)
                m_gl.fbo = ~0u;
            glDeleteFramebuffers(1, &it->second);
            it = m_fbos.erase(it);
        } else {
            ++it;
        }
    }
}

void CDevice::ForgetTexture(CTexture* t)
{
    for (GLuint& u : m_gl.unitTexture)
        if (u == t->m_gl)
            u = ~0u;
}

void CDevice::ForgetBuffer(GLuint name)
{
    if (m_gl.arrayBuffer == name)
        m_gl.arrayBuffer = ~0u;
    if (m_gl.elementBuffer == name)
        m_gl.elementBuffer = ~0u;
    m_inputDirty = true;
}

void CDevice::SetActiveUnit(int unit)
{
    if (m_gl.activeUnit != unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        m_gl.activeUnit = unit;
    }
}

void CDevice::BindTextureForUpload(GLuint tex)
{
    if (m_gl.activeUnit < 0)
        SetActiveUnit(0);
    glBindTexture(GL_TEXTURE_2D, tex);
    m_gl.unitTexture[m_gl.activeUnit] = tex;
    m_texturesDirty = true;
}

void CDevice::BindArrayBufferForUpload(GLuint buf)
{
    if (m_gl.arrayBuffer != buf) {
        glBindBuffer(GL_ARRAY_BUFFER, buf);
        m_gl.arrayBuffer = buf;
    }
}

// ------------------------------------------------- 3 targets and viewport
HRESULT CDevice::GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (BackBuffer != 0 || Type != D3DBACKBUFFER_TYPE_MONO)
        return D3DERR_INVALIDCALL;
    m_backBuffer->AddRef();
    *pp = m_backBuffer;
    return D3D_OK;
}

HRESULT CDevice::SetRenderTarget(IDirect3DSurface8* pRenderTarget, IDirect3DSurface8* pNewZStencil)
{
    auto* rt = pRenderTarget ? static_cast<CSurface*>(pRenderTarget) : m_renderTarget;
    auto* ds = static_cast<CSurface*>(pNewZStencil);
    if (!rt || !(rt->m_usage & D3DUSAGE_RENDERTARGET) || rt->m_kind == CSurface::DepthStencil || !rt->m_device)
        return D3DERR_INVALIDCALL;
    if (ds && (ds->m_kind != CSurface::DepthStencil || ds->m_width < rt->m_width || ds->m_height < rt->m_height))
        return D3DERR_INVALIDCALL;
    rt->AddRef();
    if (ds)
        ds->AddRef();
    if (m_renderTarget)
        m_renderTarget->Release();
    if (m_depthStencil)
        m_depthStencil->Release();
    m_renderTarget = rt;
    m_depthStencil = ds;
    m_fixedDirty = true;
    ResetViewportToTarget();
    return D3D_OK;
}

HRESULT CDevice::GetRenderTarget(IDirect3DSurface8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    m_renderTarget->AddRef();
    *pp = m_renderTarget;
    return D3D_OK;
}

HRESULT CDevice::GetDepthStencilSurface(IDirect3DSurface8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = m_depthStencil;
    if (!m_depthStencil)
        return D3DERR_NOTFOUND;
    m_depthStencil->AddRef();
    return D3D_OK;
}

void CDevice::ResetViewportToTarget()
{
    const D3DVIEWPORT8 vp = {0, 0, m_renderTarget->m_width, m_renderTarget->m_height, 0.0f, 1.0f};
    SetViewport(&vp);
}

HRESULT CDevice::SetViewport(const D3DVIEWPORT8* vp)
{
    if (!vp || vp->Width == 0 || vp->Height == 0 || vp->X + vp->Width > m_renderTarget->m_width ||
        vp->Y + vp->Height > m_renderTarget->m_height || vp->X > m_renderTarget->m_width ||
        vp->Y > m_renderTarget->m_height || !(vp->MinZ >= 0.0f && vp->MaxZ <= 1.0f && vp->MinZ <= vp->MaxZ))
        return D3DERR_INVALIDCALL;
    m_viewport = *vp;
    m_uniforms.pixelAdjust[0] = 1.0f / static_cast<float>(vp->Width);
    m_uniforms.pixelAdjust[1] = 1.0f / static_cast<float>(vp->Height);
    const size_t off = offsetof(UniformBlock, pixelAdjust);
    m_uniformDirtyLo = std::min(m_uniformDirtyLo, off);
    m_uniformDirtyHi = std::max(m_uniformDirtyHi, off + 16);
    m_fixedDirty = true;
    return D3D_OK;
}

HRESULT CDevice::GetViewport(D3DVIEWPORT8* vp)
{
    if (!vp)
        return D3DERR_INVALIDCALL;
    *vp = m_viewport;
    return D3D_OK;
}

HRESULT CDevice::BeginScene()
{
    if (m_inScene)
        return D3DERR_INVALIDCALL;
    m_inScene = true;
    return D3D_OK;
}

HRESULT CDevice::EndScene()
{
    if (!m_inScene)
        return D3DERR_INVALIDCALL;
    m_inScene = false;
    return D3D_OK;
}

HRESULT CDevice::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil)
{
    if ((Flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) || (Count && !pRects))
        return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_ZBUFFER) && !m_depthStencil)
        return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_STENCIL) && (!m_depthStencil || !m_depthStencil->m_hasStencil))
        return D3DERR_INVALIDCALL;
    if (!Use() || !ApplyFramebuffer())
        return D3DERR_INVALIDCALL;
    GLbitfield mask = 0;
    if (Flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorToFloats(Color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        if (m_gl.colorMask != 0xF) {
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            m_gl.colorMask = 0xF;
            m_fixedDirty = true;
        }
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(std::clamp(Z, 0.0f, 1.0f));
        if (m_gl.depthMask != 1) {
            glDepthMask(GL_TRUE);
            m_gl.depthMask = 1;
            m_fixedDirty = true;
        }
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(Stencil));
        glStencilMask(0xFF);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (!mask)
        return D3D_OK;
    // Direct3D clears the viewport (and the rectangles within it). A clear
    // of the whole target goes without the scissor, which keeps the
    // driver's fast clear.
    const bool whole = Count == 0 && m_viewport.X == 0 && m_viewport.Y == 0 &&
                       m_viewport.Width == m_renderTarget->m_width && m_viewport.Height == m_renderTarget->m_height;
    if (whole) {
        glClear(mask);
        return D3D_OK;
    }
    glEnable(GL_SCISSOR_TEST);
    m_gl.scissor = 1;
    const LONG vx0 = static_cast<LONG>(m_viewport.X), vy0 = static_cast<LONG>(m_viewport.Y);
    const LONG vx1 = vx0 + static_cast<LONG>(m_viewport.Width), vy1 = vy0 + static_cast<LONG>(m_viewport.Height);
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max(x0, vx0);
        y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1);
        y1 = std::min(y1, vy1);
        if (x1 <= x0 || y1 <= y0)
            return;
        glScissor(x0, GlRow(m_renderTarget, y0, y1 - y0), x1 - x0, y1 - y0);
        glClear(mask);
    };
    if (Count == 0)
        clearRect(vx0, vy0, vx1, vy1);
    for (DWORD i = 0; i < Count; ++i)
        clearRect(pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
    glDisable(GL_SCISSOR_TEST);
    m_gl.scissor = 0;
    return D3D_OK;
}

// -------------------------------------------------------------- 4 state
HRESULT CDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix)
{
    if (!pMatrix || static_cast<DWORD>(State) >= 512)
        return D3DERR_INVALIDCALL;
    m_transforms[State] = *pMatrix;
    return D3D_OK;
}

HRESULT CDevice::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix)
{
    if (!pMatrix || static_cast<DWORD>(State) >= 512)
        return D3DERR_INVALIDCALL;
    *pMatrix = m_transforms[State];
    return D3D_OK;
}

HRESULT CDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    if (static_cast<DWORD>(State) >= 256)
        return D3DERR_INVALIDCALL;
    if (m_rs[State] == Value)
        return D3D_OK;
    m_rs[State] = Value;
    auto touch = [&](size_t off, size_t len) {
        m_uniformDirtyLo = std::min(m_uniformDirtyLo, off);
        m_uniformDirtyHi = std::max(m_uniformDirtyHi, off + len);
    };
    switch (State) {
    case D3DRS_FOGENABLE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
        m_programDirty = true;
        break;
    case D3DRS_FOGCOLOR:
        ColorToFloats(Value, m_uniforms.fogColor);
        touch(offsetof(UniformBlock, fogColor), 16);
        break;
    case D3DRS_TEXTUREFACTOR:
        ColorToFloats(Value, m_uniforms.textureFactor);
        touch(offsetof(UniformBlock, textureFactor), 16);
        break;
    case D3DRS_ALPHAREF:
        m_uniforms.pixelAdjust[2] = static_cast<float>(Value & 0xFF);
        touch(offsetof(UniformBlock, pixelAdjust), 16);
        break;
    default:
        m_fixedDirty = true;
        break;
    }
    return D3D_OK;
}

HRESULT CDevice::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    if (static_cast<DWORD>(State) >= 256 || !pValue)
        return D3DERR_INVALIDCALL;
    *pValue = m_rs[State];
    return D3D_OK;
}

HRESULT CDevice::GetTexture(DWORD Stage, IDirect3DBaseTexture8** pp)
{
    if (Stage >= 8 || !pp)
        return D3DERR_INVALIDCALL;
    *pp = m_textures[Stage];
    if (*pp)
        (*pp)->AddRef();
    return D3D_OK;
}

HRESULT CDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture)
{
    if (Stage >= 8)
        return D3DERR_INVALIDCALL;
    if (m_textures[Stage] == pTexture)
        return D3D_OK;
    if (pTexture)
        pTexture->AddRef();
    if (m_textures[Stage])
        m_textures[Stage]->Release();
    m_textures[Stage] = pTexture;
    m_texturesDirty = true;
    return D3D_OK;
}

HRESULT CDevice::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    if (Stage >= 8 || static_cast<DWORD>(Type) >= 32 || !pValue)
        return D3DERR_INVALIDCALL;
    *pValue = m_tss[Stage][Type];
    return D3D_OK;
}

HRESULT CDevice::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    if (Stage >= 8 || static_cast<DWORD>(Type) >= 32)
        return D3DERR_INVALIDCALL;
    if (m_tss[Stage][Type] == Value)
        return D3D_OK;
    m_tss[Stage][Type] = Value;
    switch (Type) {
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case D3DTSS_ADDRESSW:
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER:
    case D3DTSS_MIPFILTER:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL:
    case D3DTSS_MAXANISOTROPY:
        m_samplerDirty[Stage] = true;
        m_texturesDirty = true;
        break;
    default:
        if (m_psHandle == 0)
            m_programDirty = true;
        break;
    }
    return D3D_OK;
}

HRESULT CDevice::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride)
{
    if (StreamNumber >= 16 || Stride > 2048)
        return D3DERR_INVALIDCALL;
    StreamSource& s = m_streams[StreamNumber];
    auto* vb = static_cast<CVertexBuffer*>(pStreamData);
    if (s.buffer == vb && s.stride == Stride)
        return D3D_OK;
    if (vb)
        vb->AddRef();
    if (s.buffer)
        s.buffer->Release();
    s.buffer = vb;
    s.stride = Stride;
    m_inputDirty = true;
    return D3D_OK;
}

HRESULT CDevice::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** pp, UINT* pStride)
{
    if (StreamNumber >= 16 || !pp || !pStride)
        return D3DERR_INVALIDCALL;
    *pp = m_streams[StreamNumber].buffer;
    if (*pp)
        (*pp)->AddRef();
    *pStride = m_streams[StreamNumber].stride;
    return D3D_OK;
}

HRESULT CDevice::SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex)
{
    auto* ib = static_cast<CIndexBuffer*>(pIndexData);
    if (ib != m_indices) {
        if (ib)
            ib->AddRef();
        if (m_indices)
            m_indices->Release();
        m_indices = ib;
    }
    m_baseVertex = BaseVertexIndex;
    return D3D_OK;
}

HRESULT CDevice::GetIndices(IDirect3DIndexBuffer8** pp, UINT* pBase)
{
    if (!pp || !pBase)
        return D3DERR_INVALIDCALL;
    *pp = m_indices;
    if (*pp)
        (*pp)->AddRef();
    *pBase = m_baseVertex;
    return D3D_OK;
}

// ------------------------------------------------------------ 5 shaders
GLuint CDevice::CompileShader(GLenum type, const std::string& source, std::string* log)
{
    const GLuint s = glCreateShader(type);
    ++m_stats.shadersCompiled;
    const char* text = source.c_str();
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char buf[2048] = {};
        glGetShaderInfoLog(s, sizeof buf - 1, nullptr, buf);
        *log = buf;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

HRESULT CDevice::CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle, DWORD)
{
    if (!pHandle || !pDeclaration)
        return D3DERR_INVALIDCALL;
    *pHandle = 0;
    // A declaration without a function asks for fixed-function vertex
    // processing, which this runtime does not offer.
    if (!pFunction)
        return D3DERR_INVALIDCALL;
    VertexShader vs;
    std::string why, glsl;
    if (!ParseDeclaration(pDeclaration, kMaxDeclarationTokens, &vs.decl, &why) ||
        !TranslateVertexShader(pFunction, kMaxShaderTokens, vs.decl, m_clipControl, &glsl, &why))
        return D3DERR_INVALIDCALL;
    Use();
    vs.glsl = std::move(glsl);
    // Compile the variant with every output now, so that a program GL
    // refuses fails here rather than at a draw.
    TexCoordUsage all;
    for (int i = 0; i < 8; ++i) {
        all.components[i] = 4;
        all.key |= 4u << (3 * i);
    }
    if (!VertexVariant(vs, all))
        return D3DERR_INVALIDCALL;
    vs.live = true;
    vs.id = m_nextShaderId++;
    size_t index = m_vertexShaders.size();
    for (size_t i = 0; i < m_vertexShaders.size(); ++i)
        if (!m_vertexShaders[i].live) {
            index = i;
            break;
        }
    if (index == m_vertexShaders.size())
        m_vertexShaders.push_back(std::move(vs));
    else
        m_vertexShaders[index] = std::move(vs);
    *pHandle = ShaderHandle(index);
    return D3D_OK;
}

HRESULT CDevice::SetVertexShader(DWORD Handle)
{
    if (IsShaderHandle(Handle)) {
        const size_t i = ShaderIndex(Handle);
        if (i >= m_vertexShaders.size() || !m_vertexShaders[i].live)
            return D3DERR_INVALIDCALL;
        // The declaration's constant loads take effect when it is selected.
        for (const auto& c : m_vertexShaders[i].decl.constants)
            SetVertexShaderConstant(c.first, c.second.data(), 1);
    }
    if (m_vsHandle != Handle) {
        m_vsHandle = Handle;
        m_programDirty = true;
        m_inputDirty = true;
    }
    return D3D_OK;
}

HRESULT CDevice::GetVertexShader(DWORD* pHandle)
{
    if (!pHandle)
        return D3DERR_INVALIDCALL;
    *pHandle = m_vsHandle;
    return D3D_OK;
}

HRESULT CDevice::DeleteVertexShader(DWORD Handle)
{
    if (!IsShaderHandle(Handle) || ShaderIndex(Handle) >= m_vertexShaders.size() ||
        !m_vertexShaders[ShaderIndex(Handle)].live)
        return D3DERR_INVALIDCALL;
    Use();
    VertexShader& vs = m_vertexShaders[ShaderIndex(Handle)];
    auto isVariant = [&](GLuint shader) {
        for (const auto& v : vs.variants)
            if (v.second == shader)
                return true;
        return false;
    };
    for (auto it = m_programs.begin(); it != m_programs.end();) {
        if (isVariant(it->first.first)) {
            if (m_gl.program == it->second)
                m_gl.program = ~0u;
            glDeleteProgram(it->second);
            it = m_programs.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& v : vs.variants)
        glDeleteShader(v.second);
    vs = VertexShader{};
    if (m_vsHandle == Handle)
        m_vsHandle = 0;
    m_programDirty = true;
    return D3D_OK;
}

HRESULT CDevice::SetVertexShaderConstant(DWORD Register, const void* pData, DWORD Count)
{
    if (!pData || Register >= kMaxVertexConstants || Count > kMaxVertexConstants - Register)
        return D3DERR_INVALIDCALL;
    std::memcpy(m_uniforms.vsConst[Register], pData, Count * 16);
    const size_t off = offsetof(UniformBlock, vsConst) + Register * 16;
    m_uniformDirtyLo = std::min(m_uniformDirtyLo, off);
    m_uniformDirtyHi = std::max(m_uniformDirtyHi, off + Count * 16);
    return D3D_OK;
}

HRESULT CDevice::GetVertexShaderConstant(DWORD Register, void* pData, DWORD Count)
{
    if (!pData || Register >= kMaxVertexConstants || Count > kMaxVertexConstants - Register)
        return D3DERR_INVALIDCALL;
    std::memcpy(pData, m_uniforms.vsConst[Register], Count * 16);
    return D3D_OK;
}

HRESULT CDevice::CreatePixelShader(const DWORD* pFunction, DWORD* pHandle)
{
    if (!pHandle)
        return D3DERR_INVALIDCALL;
    *pHandle = 0;
    PixelShader ps;
    std::string why;
    if (!TranslatePixelShader(pFunction, kMaxShaderTokens, &ps.body, &why))
        return D3DERR_INVALIDCALL;
    Use();
    // Compile the common variant now so a bad program fails here, not at a draw.
    ps.id = m_nextShaderId++;
    const GLuint fs = CompileShader(GL_FRAGMENT_SHADER, FinishFragment(ps.body, false, 0), &why);
    if (!fs)
        return D3DERR_INVALIDCALL;
    m_fragmentShaders[{ps.id, "f0a0"}] = fs;
    ps.live = true;
    size_t index = m_pixelShaders.size();
    for (size_t i = 0; i < m_pixelShaders.size(); ++i)
        if (!m_pixelShaders[i].live) {
            index = i;
            break;
        }
    if (index == m_pixelShaders.size())
        m_pixelShaders.push_back(std::move(ps));
    else
        m_pixelShaders[index] = std::move(ps);
    *pHandle = ShaderHandle(index);
    return D3D_OK;
}

HRESULT CDevice::SetPixelShader(DWORD Handle)
{
    if (Handle != 0 && (!IsShaderHandle(Handle) || ShaderIndex(Handle) >= m_pixelShaders.size() ||
                        !m_pixelShaders[ShaderIndex(Handle)].live))
        return D3DERR_INVALIDCALL;
    if (m_psHandle != Handle) {
        m_psHandle = Handle;
        m_programDirty = true;
    }
    return D3D_OK;
}

HRESULT CDevice::GetPixelShader(DWORD* pHandle)
{
    if (!pHandle)
        return D3DERR_INVALIDCALL;
    *pHandle = m_psHandle;
    return D3D_OK;
}

HRESULT CDevice::DeletePixelShader(DWORD Handle)
{
    if (!IsShaderHandle(Handle) || ShaderIndex(Handle) >= m_pixelShaders.size() ||
        !m_pixelShaders[ShaderIndex(Handle)].live)
        return D3DERR_INVALIDCALL;
    Use();
    PixelShader& ps = m_pixelShaders[ShaderIndex(Handle)];
    for (auto it = m_fragmentShaders.begin(); it != m_fragmentShaders.end();) {
        if (it->first.first == ps.id) {
            for (auto p = m_programs.begin(); p != m_programs.end();) {
                if (p->first.second == it->second) {
                    if (m_gl.program == p->second)
                        m_gl.program = ~0u;
                    glDeleteProgram(p->second);
                    p = m_programs.erase(p);
                } else {
                    ++p;
                }
            }
            glDeleteShader(it->second);
            it = m_fragmentShaders.erase(it);
        } else {
            ++it;
        }
    }
    ps = PixelShader{};
    if (m_psHandle == Handle)
        m_psHandle = 0;
    m_programDirty = true;
    return D3D_OK;
}

HRESULT CDevice::SetPixelShaderConstant(DWORD Register, const void* pData, DWORD Count)
{
    if (!pData || Register >= kMaxPixelConstants || Count > kMaxPixelConstants - Register)
        return D3DERR_INVALIDCALL;
    std::memcpy(m_uniforms.psConst[Register], pData, Count * 16);
    const size_t off = offsetof(UniformBlock, psConst) + Register * 16;
    m_uniformDirtyLo = std::min(m_uniformDirtyLo, off);
    m_uniformDirtyHi = std::max(m_uniformDirtyHi, off + Count * 16);
    return D3D_OK;
}

HRESULT CDevice::GetPixelShaderConstant(DWORD Register, void* pData, DWORD Count)
{
    if (!pData || Register >= kMaxPixelConstants || Count > kMaxPixelConstants - Register)
        return D3DERR_INVALIDCALL;
    std::memcpy(pData, m_uniforms.psConst[Register], Count * 16);
    return D3D_OK;
}

// --------------------------------------- 6 drawing and the lazy GL state
GLuint CDevice::FramebufferFor(CSurface* color, CSurface* depth)
{
    const auto key = std::make_pair(color, depth);
    const auto it = m_fbos.find(key);
    if (it != m_fbos.end())
        return it->second;
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    m_gl.fbo = fbo;
    if (color) {
        if (color->m_kind == CSurface::TextureLevel)
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color->m_container->m_gl,
                                   static_cast<GLint>(color->m_level));
        else
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color->m_texture, 0);
    }
    if (depth)
        glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                  depth->m_hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depth->m_renderbuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glDeleteFramebuffers(1, &fbo);
        m_gl.fbo = ~0u;
        return 0;
    }
    m_fbos[key] = fbo;
    return fbo;
}

bool CDevice::ApplyFramebuffer()
{
    const GLuint fbo = FramebufferFor(m_renderTarget, m_depthStencil);
    if (!fbo)
        return false;
    if (m_gl.fbo != fbo) {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        ++m_stats.glStateCalls;
        m_gl.fbo = fbo;
    }
    const GLint vp[4] = {static_cast<GLint>(m_viewport.X), GlRow(m_renderTarget, m_viewport.Y, m_viewport.Height),
                         static_cast<GLint>(m_viewport.Width), static_cast<GLint>(m_viewport.Height)};
    if (std::memcmp(vp, m_gl.vp, sizeof vp) != 0) {
        glViewport(vp[0], vp[1], vp[2], vp[3]);
        ++m_stats.glStateCalls;
        std::memcpy(m_gl.vp, vp, sizeof vp);
    }
    const GLenum origin = m_renderTarget->m_bottomUp ? GL_UPPER_LEFT : GL_LOWER_LEFT;
    if (m_clipControl && m_gl.clipOrigin != origin) {
        glClipControl(origin, GL_ZERO_TO_ONE);
        ++m_stats.glStateCalls;
        m_gl.clipOrigin = origin;
    }
    if (m_gl.depthRange[0] != m_viewport.MinZ || m_gl.depthRange[1] != m_viewport.MaxZ) {
        glDepthRange(m_viewport.MinZ, m_viewport.MaxZ);
        ++m_stats.glStateCalls;
        m_gl.depthRange[0] = m_viewport.MinZ;
        m_gl.depthRange[1] = m_viewport.MaxZ;
    }
    return true;
}

GLuint CDevice::VertexVariant(VertexShader& vs, const TexCoordUsage& usage)
{
    const auto it = vs.variants.find(usage.key);
    if (it != vs.variants.end())
        return it->second;
    std::string log;
    const GLuint shader = CompileShader(GL_VERTEX_SHADER, SpecialiseVertexShader(vs.glsl, usage), &log);
    if (shader)
        vs.variants[usage.key] = shader;
    return shader;
}

GLuint CDevice::LinkProgram(GLuint vs, GLuint fs)
{
    const auto key = std::make_pair(vs, fs);
    const auto it = m_programs.find(key);
    if (it != m_programs.end())
        return it->second;
    const GLuint p = glCreateProgram();
    ++m_stats.programsLinked;
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        glDeleteProgram(p);
        return 0;
    }
    const GLuint block = glGetUniformBlockIndex(p, "D3DState");
    if (block != GL_INVALID_INDEX)
        glUniformBlockBinding(p, block, 0);
    glUseProgram(p);
    ++m_stats.glStateCalls;
    m_gl.program = p;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "s" + std::to_string(i);
        const GLint loc = glGetUniformLocation(p, name.c_str());
        if (loc >= 0)
            glUniform1i(loc, i);
    }
    m_programs[key] = p;
    return p;
}

bool CDevice::ApplyProgram()
{
    if (!m_programDirty && m_currentProgram) {
        if (m_gl.program != m_currentProgram) {
            glUseProgram(m_currentProgram);
            ++m_stats.glStateCalls;
            m_gl.program = m_currentProgram;
        }
        return true;
    }
    if (!IsShaderHandle(m_vsHandle) || ShaderIndex(m_vsHandle) >= m_vertexShaders.size() ||
        !m_vertexShaders[ShaderIndex(m_vsHandle)].live)
        return false;
    VertexShader& vs = m_vertexShaders[ShaderIndex(m_vsHandle)];
    const bool fog = m_rs[D3DRS_FOGENABLE] != 0;
    DWORD alphaFunc = m_rs[D3DRS_ALPHATESTENABLE] ? m_rs[D3DRS_ALPHAFUNC] : 0;
    if (alphaFunc == D3DCMP_ALWAYS || alphaFunc > D3DCMP_ALWAYS)
        alphaFunc = 0;
    const std::string variant = std::string("f") + (fog ? "1" : "0") + "a" + std::to_string(alphaFunc);
    std::pair<UINT, std::string> fsKey;
    const std::string* body = nullptr;
    std::string stageBody;
    if (m_psHandle) {
        const PixelShader& ps = m_pixelShaders[ShaderIndex(m_psHandle)];
        fsKey = {ps.id, variant};
        body = &ps.body;
    } else {
        std::vector<DWORD> key;
        std::vector<StageKey> stages;
        for (DWORD s = 0; s < 8; ++s) {
            const DWORD* t = m_tss[s];
            if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE)
                break;
            stages.push_back({t[D3DTSS_COLOROP], t[D3DTSS_COLORARG0], t[D3DTSS_COLORARG1], t[D3DTSS_COLORARG2],
                              t[D3DTSS_ALPHAOP], t[D3DTSS_ALPHAARG0], t[D3DTSS_ALPHAARG1], t[D3DTSS_ALPHAARG2],
                              t[D3DTSS_RESULTARG], t[D3DTSS_TEXCOORDINDEX]});
            // Arguments an operation does not read stay out of the key.
            const StageKey& k = stages.back();
            key.insert(key.end(), {k.colorOp, k.colorArg1, k.colorArg2, k.alphaOp, k.alphaArg1, k.alphaArg2,
                                   k.resultArg, k.texCoordIndex});
            const bool three = k.colorOp == D3DTOP_MULTIPLYADD || k.colorOp == D3DTOP_LERP ||
                               k.alphaOp == D3DTOP_MULTIPLYADD || k.alphaOp == D3DTOP_LERP;
            key.push_back(three ? k.colorArg0 : 0);
            key.push_back(three ? k.alphaArg0 : 0);
        }
        auto it = m_stageBodies.find(key);
        if (it == m_stageBodies.end()) {
            std::string why;
            if (!GenerateStagesBody(stages, &stageBody, &why))
                return false;
            it = m_stageBodies.emplace(key, stageBody).first;
        }
        std::string keyText = "ffp";
        for (DWORD v : key)
            keyText += "." + std::to_string(v);
        fsKey = {0, keyText + variant};
        body = &it->second;
    }
    GLuint fs = 0;
    const auto f = m_fragmentShaders.find(fsKey);
    if (f != m_fragmentShaders.end()) {
        fs = f->second;
    } else {
        std::string log;
        fs = CompileShader(GL_FRAGMENT_SHADER, FinishFragment(*body, fog, alphaFunc), &log);
        if (!fs)
            return false;
        m_fragmentShaders[fsKey] = fs;
    }
    const GLuint vsShader = VertexVariant(vs, TexCoordUsageOf(*body));
    if (!vsShader)
        return false;
    const GLuint program = LinkProgram(vsShader, fs);
    if (!program)
        return false;
    if (m_gl.program != program) {
        glUseProgram(program);
        ++m_stats.glStateCalls;
        m_gl.program = program;
    }
    m_currentProgram = program;
    m_programDirty = false;
    return true;
}

bool CDevice::ApplyVertexInput()
{
    if (!m_inputDirty)
        return true;
    const VertexShader& vs = m_vertexShaders[ShaderIndex(m_vsHandle)];
    GLuint enabled = 0;
    for (const VertexElement& e : vs.decl.elements) {
        const StreamSource& s = m_streams[e.stream];
        if (!s.buffer || !s.buffer->m_gl)
            return false;
        BindArrayBufferForUpload(s.buffer->m_gl);
        const auto offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(e.offset));
        const GLsizei stride = static_cast<GLsizei>(s.stride);
        switch (e.type) {
        case D3DVSDT_FLOAT1:
        case D3DVSDT_FLOAT2:
        case D3DVSDT_FLOAT3:
        case D3DVSDT_FLOAT4:
            glVertexAttribPointer(e.reg, static_cast<GLint>(e.type + 1), GL_FLOAT, GL_FALSE, stride, offset);
            ++m_stats.glStateCalls;
            break;
        case D3DVSDT_D3DCOLOR:
            glVertexAttribPointer(e.reg, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset);
            ++m_stats.glStateCalls;
            break;
        case D3DVSDT_UBYTE4:
            glVertexAttribPointer(e.reg, 4, GL_UNSIGNED_BYTE, GL_FALSE, stride, offset);
            ++m_stats.glStateCalls;
            break;
        case D3DVSDT_SHORT2:
            glVertexAttribPointer(e.reg, 2, GL_SHORT, GL_FALSE, stride, offset);
            ++m_stats.glStateCalls;
            break;
        default:
            glVertexAttribPointer(e.reg, 4, GL_SHORT, GL_FALSE, stride, offset);
            ++m_stats.glStateCalls;
            break;
        }
        enabled |= 1u << e.reg;
    }
    for (GLuint r = 0; r < 16; ++r) {
        const bool want = (enabled >> r) & 1;
        if (want != static_cast<bool>((m_enabledAttribs >> r) & 1)) {
            if (want)
                glEnableVertexAttribArray(r);
            else
                glDisableVertexAttribArray(r);
            ++m_stats.glStateCalls;
        }
    }
    m_enabledAttribs = enabled;
    m_inputDirty = false;
    return true;
}

void CDevice::UpdateSamplers(int stage)
{
    const DWORD* t = m_tss[stage];
    const GLuint s = m_samplers[stage];
    auto wrap = [](DWORD a) -> GLint {
        switch (a) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;
        default: return GL_REPEAT;
        }
    };
    glSamplerParameteri(s, GL_TEXTURE_WRAP_S, wrap(t[D3DTSS_ADDRESSU]));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_T, wrap(t[D3DTSS_ADDRESSV]));
    const bool magLinear = t[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
    const bool minLinear = t[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
    glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    GLint minFilter;
    switch (t[D3DTSS_MIPFILTER]) {
    case D3DTEXF_POINT: minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
    case D3DTEXF_LINEAR:
    case D3DTEXF_ANISOTROPIC: minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
    default: minFilter = minLinear ? GL_LINEAR : GL_NEAREST; break;
    }
    glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, minFilter);
    glSamplerParameterf(s, GL_TEXTURE_MIN_LOD, static_cast<float>(t[D3DTSS_MAXMIPLEVEL]));
    float bias;
    std::memcpy(&bias, &t[D3DTSS_MIPMAPLODBIAS], 4);
    glSamplerParameterf(s, GL_TEXTURE_LOD_BIAS, bias);
    float border[4];
    ColorToFloats(t[D3DTSS_BORDERCOLOR], border);
    glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
    m_samplerDirty[stage] = false;
}

void CDevice::ApplyTextures()
{
    if (!m_texturesDirty)
        return;
    for (int s = 0; s < 8; ++s) {
        const GLuint tex = m_textures[s] ? static_cast<CTexture*>(m_textures[s])->m_gl : 0;
        if (m_gl.unitTexture[s] != tex) {
            SetActiveUnit(s);
            glBindTexture(GL_TEXTURE_2D, tex);
            ++m_stats.glStateCalls;
            m_gl.unitTexture[s] = tex;
        }
        if (m_samplerDirty[s])
            UpdateSamplers(s);
    }
    m_texturesDirty = false;
}

void CDevice::ApplyFixedState()
{
    if (!m_fixedDirty)
        return;
    // ONE/ZERO with ADD is plain replacement, which the engine sets for
    // its opaque passes with blending left enabled: skip the blend unit.
    const bool replace = m_rs[D3DRS_SRCBLEND] == D3DBLEND_ONE && m_rs[D3DRS_DESTBLEND] == D3DBLEND_ZERO &&
                         (m_rs[D3DRS_BLENDOP] == D3DBLENDOP_ADD || m_rs[D3DRS_BLENDOP] == 0);
    const int blend = (m_rs[D3DRS_ALPHABLENDENABLE] && !replace) ? 1 : 0;
    if (m_gl.blend != blend) {
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        ++m_stats.glStateCalls;
        m_gl.blend = blend;
    }
    if (blend) {
        GLenum src = BlendFactor(m_rs[D3DRS_SRCBLEND]), dst = BlendFactor(m_rs[D3DRS_DESTBLEND]);
        if (m_rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
            src = GL_SRC_ALPHA;
            dst = GL_ONE_MINUS_SRC_ALPHA;
        } else if (m_rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
            src = GL_ONE_MINUS_SRC_ALPHA;
            dst = GL_SRC_ALPHA;
        }
        if (m_gl.blendSrc != src || m_gl.blendDst != dst) {
            glBlendFunc(src, dst);
            ++m_stats.glStateCalls;
            m_gl.blendSrc = src;
            m_gl.blendDst = dst;
        }
        GLenum eq = GL_FUNC_ADD;
        switch (m_rs[D3DRS_BLENDOP]) {
        case D3DBLENDOP_SUBTRACT: eq = GL_FUNC_SUBTRACT; break;
        case D3DBLENDOP_REVSUBTRACT: eq = GL_FUNC_REVERSE_SUBTRACT; break;
        case D3DBLENDOP_MIN: eq = GL_MIN; break;
        case D3DBLENDOP_MAX: eq = GL_MAX; break;
        default: break;
        }
        if (m_gl.blendEq != eq) {
            glBlendEquation(eq);
            ++m_stats.glStateCalls;
            m_gl.blendEq = eq;
        }
    }
    const int depth = (m_rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depthStencil) ? 1 : 0;
    if (m_gl.depthTest != depth) {
        depth ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        ++m_stats.glStateCalls;
        m_gl.depthTest = depth;
    }
    if (depth) {
        const GLenum func = CompareFunc(m_rs[D3DRS_ZFUNC]);
        if (m_gl.depthFunc != func) {
            glDepthFunc(func);
            ++m_stats.glStateCalls;
            m_gl.depthFunc = func;
        }
        const int mask = m_rs[D3DRS_ZWRITEENABLE] ? 1 : 0;
        if (m_gl.depthMask != mask) {
            glDepthMask(mask ? GL_TRUE : GL_FALSE);
            ++m_stats.glStateCalls;
            m_gl.depthMask = mask;
        }
    }
    const DWORD cullMode = m_rs[D3DRS_CULLMODE];
    const int cull = (cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW) ? 1 : 0;
    if (m_gl.cull != cull) {
        cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        ++m_stats.glStateCalls;
        m_gl.cull = cull;
    }
    if (cull) {
        const GLenum face = cullMode == D3DCULL_CW ? GL_FRONT : GL_BACK;
        if (m_gl.cullFace != face) {
            glCullFace(face);
            ++m_stats.glStateCalls;
            m_gl.cullFace = face;
        }
    }
    const DWORD cm = m_rs[D3DRS_COLORWRITEENABLE] & 0xF;
    if (m_gl.colorMask != cm) {
        glColorMask(cm & 1, (cm >> 1) & 1, (cm >> 2) & 1, (cm >> 3) & 1);
        ++m_stats.glStateCalls;
        m_gl.colorMask = cm;
    }
    m_fixedDirty = false;
}

void CDevice::UploadUniforms()
{
    if (m_uniformDirtyHi <= m_uniformDirtyLo)
        return;
    glBufferSubData(GL_UNIFORM_BUFFER, static_cast<GLintptr>(m_uniformDirtyLo),
                    static_cast<GLsizeiptr>(m_uniformDirtyHi - m_uniformDirtyLo),
                    reinterpret_cast<const BYTE*>(&m_uniforms) + m_uniformDirtyLo);
    m_uniformDirtyLo = sizeof(UniformBlock);
    m_uniformDirtyHi = 0;
}

HRESULT CDevice::PrepareDraw(UINT vertexEnd)
{
    if (!m_inScene || !IsShaderHandle(m_vsHandle))
        return D3DERR_INVALIDCALL;
    const size_t vi = ShaderIndex(m_vsHandle);
    if (vi >= m_vertexShaders.size() || !m_vertexShaders[vi].live)
        return D3DERR_INVALIDCALL;
    // Every element of every vertex drawn must lie inside its buffer.
    static const UINT kSizes[] = {4, 8, 12, 16, 4, 4, 4, 8};
    for (const VertexElement& e : m_vertexShaders[vi].decl.elements) {
        const StreamSource& s = m_streams[e.stream];
        if (!s.buffer || !s.buffer->m_device)
            return D3DERR_INVALIDCALL;
        if (vertexEnd > 0) {
            const uint64_t need = static_cast<uint64_t>(vertexEnd - 1) * s.stride + e.offset + kSizes[e.type];
            if (need > s.buffer->m_length)
                return D3DERR_INVALIDCALL;
        }
    }
    if (!Use() || !ApplyFramebuffer())
        return D3DERR_INVALIDCALL;
    if (!ApplyProgram())
        return D3DERR_INVALIDCALL;
    if (m_gl.vao != m_vao) {
        glBindVertexArray(m_vao);
        ++m_stats.glStateCalls;
        m_gl.vao = m_vao;
    }
    if (!ApplyVertexInput())
        return D3DERR_INVALIDCALL;
    ApplyTextures();
    ApplyFixedState();
    UploadUniforms();
    return D3D_OK;
}

HRESULT CDevice::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount)
{
    GLenum mode;
    UINT count;
    if (!PrimitiveShape(PrimitiveType, PrimitiveCount, &mode, &count))
        return D3DERR_INVALIDCALL;
    if (PrimitiveCount == 0)
        return D3D_OK;
    const HRESULT hr = PrepareDraw(StartVertex + count);
    if (FAILED(hr))
        return hr;
    glDrawArrays(mode, static_cast<GLint>(StartVertex), static_cast<GLsizei>(count));
    return D3D_OK;
}

HRESULT CDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices,
                                      UINT startIndex, UINT primCount)
{
    GLenum mode;
    UINT count;
    if (!PrimitiveShape(PrimitiveType, primCount, &mode, &count) || !m_indices || !m_indices->m_device)
        return D3DERR_INVALIDCALL;
    const UINT indexSize = m_indices->m_format == D3DFMT_INDEX32 ? 4 : 2;
    if ((static_cast<uint64_t>(startIndex) + count) * indexSize > m_indices->m_length)
        return D3DERR_INVALIDCALL;
    if (primCount == 0)
        return D3D_OK;
    const HRESULT hr = PrepareDraw(m_baseVertex + minIndex + NumVertices);
    if (FAILED(hr))
        return hr;
    if (m_gl.elementBuffer != m_indices->m_gl) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indices->m_gl);
        ++m_stats.glStateCalls;
        m_gl.elementBuffer = m_indices->m_gl;
    }
    const auto offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indexSize);
    glDrawRangeElementsBaseVertex(mode, minIndex, minIndex + (NumVertices ? NumVertices - 1 : 0),
                                  static_cast<GLsizei>(count),
                                  indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, offset,
                                  static_cast<GLint>(m_baseVertex));
    return D3D_OK;
}

// ---------------------------------------------------- 7 present and gamma
void CDevice::SetGammaRamp(DWORD, const D3DGAMMARAMP* pRamp)
{
    if (!pRamp)
        return;
    m_gamma = *pRamp;
    m_gammaDirty = true;
    m_gammaIdentity = true;
    for (int i = 0; i < 256; ++i)
        if ((m_gamma.red[i] >> 8) != i || (m_gamma.green[i] >> 8) != i || (m_gamma.blue[i] >> 8) != i)
            m_gammaIdentity = false;
}

void CDevice::GetGammaRamp(D3DGAMMARAMP* pRamp)
{
    if (pRamp)
        *pRamp = m_gamma;
}

void CDevice::UpdateGammaTexture()
{
    BYTE lut[256 * 4];
    for (int i = 0; i < 256; ++i) {
        lut[i * 4 + 0] = static_cast<BYTE>(m_gamma.red[i] >> 8);
        lut[i * 4 + 1] = static_cast<BYTE>(m_gamma.green[i] >> 8);
        lut[i * 4 + 2] = static_cast<BYTE>(m_gamma.blue[i] >> 8);
        lut[i * 4 + 3] = 255;
    }
    BindTextureForUpload(m_gammaTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, lut);
    m_gammaDirty = false;
}

void CDevice::PaceFrame()
{
    // Without vsync the present itself waits for the next refresh slot, so
    // the application loop never has to sleep.
    const int hz = m_context->RefreshRate() > 0 ? m_context->RefreshRate() : 60;
    const auto period = std::chrono::nanoseconds(1000000000LL / hz);
    const auto now = std::chrono::steady_clock::now();
    if (m_nextPresent > now)
        std::this_thread::sleep_until(m_nextPresent);
    m_nextPresent = std::max(m_nextPresent + period, now);
}

HRESULT CDevice::Present(const RECT*, const RECT*, HWND, const RGNDATA*)
{
    if (!Use())
        return D3DERR_DEVICELOST;
    if (m_gammaDirty)
        UpdateGammaTexture();
    int tw = static_cast<int>(m_backBuffer->m_width), th = static_cast<int>(m_backBuffer->m_height);
    const bool headless = m_context->IsHeadless();
    if (headless) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_frontFbo);
        m_gl.fbo = m_frontFbo;
    } else {
        m_context->GetDrawableSize(tw, th);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        m_gl.fbo = 0;
    }
    const int bw = static_cast<int>(m_backBuffer->m_width), bh = static_cast<int>(m_backBuffer->m_height);
    if (!headless && m_windowAlpha < 0) {
        GLint bits = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE,
                                              &bits);
        m_windowAlpha = bits > 0 ? 1 : 0;
    }
    // A window with an alpha channel must get an opaque picture, which only
    // the pixel program writes.
    const bool alphaSafe = headless || m_windowAlpha == 0;
    if (m_gammaIdentity && tw == bw && th == bh && alphaSafe && m_backBuffer->m_bottomUp) {
        // The same rows in the same order: a copy, which the driver does
        // without running a pixel program over the picture.
        // (Finding or making the source's framebuffer may bind it.)
        const GLuint target = m_gl.fbo;
        const GLuint source = FramebufferFor(m_backBuffer, nullptr);
        if (source) {
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
            glBlitFramebuffer(0, 0, bw, bh, 0, 0, bw, bh, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            glBindFramebuffer(GL_FRAMEBUFFER, target);
            m_gl.fbo = target;
            return FinishPresent(headless);
        }
    }
    glViewport(0, 0, tw, th);
    m_gl.vp[0] = m_gl.vp[1] = 0;
    m_gl.vp[2] = tw;
    m_gl.vp[3] = th;
    if (m_gl.blend != 0) {
        glDisable(GL_BLEND);
        m_gl.blend = 0;
    }
    if (m_gl.depthTest != 0) {
        glDisable(GL_DEPTH_TEST);
        m_gl.depthTest = 0;
    }
    if (m_gl.cull != 0) {
        glDisable(GL_CULL_FACE);
        m_gl.cull = 0;
    }
    if (m_gl.colorMask != 0xF) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        m_gl.colorMask = 0xF;
    }
    m_fixedDirty = true;
    const int variant = m_gammaIdentity ? 0 : 1;
    if (m_gl.program != m_presentProgram[variant]) {
        glUseProgram(m_presentProgram[variant]);
        m_gl.program = m_presentProgram[variant];
    }
    glUniform4f(m_presentGeometry[variant],
                static_cast<float>(m_backBuffer->m_width) / static_cast<float>(std::max(tw, 1)),
                static_cast<float>(m_backBuffer->m_height) / static_cast<float>(std::max(th, 1)),
                static_cast<float>(th), m_backBuffer->m_bottomUp ? 0.0f : 1.0f);
    SetActiveUnit(0);
    glBindTexture(GL_TEXTURE_2D, m_backBuffer->m_texture);
    m_gl.unitTexture[0] = m_backBuffer->m_texture;
    SetActiveUnit(1);
    glBindTexture(GL_TEXTURE_2D, m_gammaTexture);
    m_gl.unitTexture[1] = m_gammaTexture;
    m_texturesDirty = true;
    glBindVertexArray(m_emptyVao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(m_vao);
    m_gl.vao = m_vao;
    return FinishPresent(headless);
}

HRESULT CDevice::FinishPresent(bool headless)
{
    m_presented = true;
    if (!headless) {
        m_context->SwapBuffers();
        if (!m_vsync)
            PaceFrame();
    }
    return D3D_OK;
}

// ------------------------------------------------------------ 8 read-back
HRESULT CDevice::ReadSurface(CSurface* s, UINT* w, UINT* h, std::vector<uint32_t>* pixels)
{
    if (!s || s->m_kind == CSurface::DepthStencil || !(s->m_usage & D3DUSAGE_RENDERTARGET) || !Use())
        return D3DERR_INVALIDCALL;
    const GLuint fbo = FramebufferFor(s, nullptr);
    if (!fbo)
        return D3DERR_INVALIDCALL;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    m_gl.fbo = fbo;
    *w = s->m_width;
    *h = s->m_height;
    pixels->assign(static_cast<size_t>(*w) * *h, 0);
    glReadPixels(0, 0, static_cast<GLsizei>(*w), static_cast<GLsizei>(*h), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 pixels->data());
    if (s->m_opaque)
        for (uint32_t& p : *pixels)
            p |= 0xFF000000u;
    if (s->m_bottomUp)
        TurnRowsOver(*pixels, *w, *h);
    return D3D_OK;
}

HRESULT CDevice::ReadPresented(UINT* w, UINT* h, std::vector<uint32_t>* pixels)
{
    if (!m_frontFbo || !m_presented || !Use())
        return D3DERR_NOTAVAILABLE;
    glBindFramebuffer(GL_FRAMEBUFFER, m_frontFbo);
    m_gl.fbo = m_frontFbo;
    *w = m_backBuffer->m_width;
    *h = m_backBuffer->m_height;
    pixels->assign(static_cast<size_t>(*w) * *h, 0);
    glReadPixels(0, 0, static_cast<GLsizei>(*w), static_cast<GLsizei>(*h), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 pixels->data());
    // The front buffer is GL's row order, and the picture on screen is opaque.
    for (uint32_t& p : *pixels)
        p |= 0xFF000000u;
    TurnRowsOver(*pixels, *w, *h);
    return D3D_OK;
}

HRESULT CDevice::ReadBackBufferDepth(UINT* w, UINT* h, std::vector<float>* depth)
{
    if (!m_backBuffer || !m_autoDepth || !Use())
        return D3DERR_NOTAVAILABLE;
    const GLuint fbo = FramebufferFor(m_backBuffer, m_autoDepth);
    if (!fbo)
        return D3DERR_NOTAVAILABLE;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    m_gl.fbo = fbo;
    const UINT width = m_backBuffer->m_width, height = m_backBuffer->m_height;
    depth->assign(static_cast<size_t>(width) * height, 1.0f);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_DEPTH_COMPONENT, GL_FLOAT,
                 depth->data());
    if (m_backBuffer->m_bottomUp)
        TurnRowsOver(*depth, width, height);  // GL's row order
    *w = width;
    *h = height;
    return D3D_OK;
}

HRESULT VantorReadBackBufferDepth(IDirect3DDevice8* device, VantorDepthImage* out)
{
    if (!device || !out)
        return D3DERR_INVALIDCALL;
    return static_cast<CDevice*>(device)->ReadBackBufferDepth(&out->width, &out->height, &out->depth);
}

HRESULT VantorReadSurface(IDirect3DSurface8* surface, VantorImage* out)
{
    if (!surface || !out)
        return D3DERR_INVALIDCALL;
    auto* s = static_cast<CSurface*>(surface);
    if (!s->m_device)
        return D3DERR_INVALIDCALL;
    return s->m_device->ReadSurface(s, &out->width, &out->height, &out->pixels);
}

void VantorD3D8ContextChanged()
{
    g_current = nullptr;
}

HRESULT VantorGetStats(IDirect3DDevice8* device, VantorD3D8Stats* out)
{
    if (!device || !out)
        return D3DERR_INVALIDCALL;
    *out = static_cast<CDevice*>(device)->Stats();
    return D3D_OK;
}

HRESULT VantorReadPresented(IDirect3DDevice8* device, VantorImage* out)
{
    if (!device || !out)
        return D3DERR_INVALIDCALL;
    return static_cast<CDevice*>(device)->ReadPresented(&out->width, &out->height, &out->pixels);
}
