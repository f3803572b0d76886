// Surfaces, textures and buffers. Managed and system-memory resources keep
// a system copy that Lock hands out; Unlock uploads what was locked. A
// D3DLOCK_DISCARD unlock orphans the GL buffer first, so the driver never
// waits for draws still reading the old contents.
#include "platform/d3d8/device.h"

#include <cstring>

#include "platform/d3d8/diagnostics.h"

CResourceLink::CResourceLink()
{
    ++d3d8diag::g_liveResources;
}

CResourceLink::~CResourceLink()
{
    --d3d8diag::g_liveResources;
}

void DiscardGlErrors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
}

// ------------------------------------------------------------- surfaces
CSurface::CSurface(CDevice* device, Kind kind, UINT w, UINT h, D3DFORMAT fmt, DWORD usage, D3DPOOL pool)
    : m_kind(kind), m_width(w), m_height(h), m_format(fmt), m_usage(usage), m_pool(pool)
{
    m_device = device;
    if (kind != TextureLevel)
        device->Register(this);
    FormatInfo info;
    if (kind != TextureLevel)
        DiscardGlErrors();
    bool stored = true;
    if (kind == ColorTarget && LookupTextureFormat(fmt, &info)) {
        m_opaque = info.opaque;
        glGenTextures(1, &m_texture);
        device->BindTextureForUpload(m_texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        // Stand-alone targets (the back buffer among them) are only ever read
        // by Present and read-back, which ignore alpha; no swizzle needed.
        if (device->TextureStorage())
            glTexStorage2D(GL_TEXTURE_2D, 1, info.internalFormat, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
        else
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(info.internalFormat), static_cast<GLsizei>(w),
                         static_cast<GLsizei>(h), 0, info.format, info.type, nullptr);
    } else if (kind == DepthStencil) {
        const GLenum internal = DepthInternalFormat(fmt);
        m_hasStencil = internal == GL_DEPTH24_STENCIL8;
        glGenRenderbuffers(1, &m_renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
        // Mesa reports storage it could not find as a zero-sized
        // renderbuffer, without an error.
        GLint storedW = 0, storedH = 0;
        glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &storedW);
        glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &storedH);
        stored = storedW == static_cast<GLint>(w) && storedH == static_cast<GLint>(h);
    }
    // A size over the driver's limit or storage the driver could not find
    // shows up only as a GL error.
    m_allocated = kind != TextureLevel && (m_texture || m_renderbuffer) && stored && glGetError() == GL_NO_ERROR;
}

CSurface::~CSurface()
{
    if (m_device && m_kind != TextureLevel) {
        m_device->Use();
        m_device->ForgetSurface(this);
        Orphan();
    } else if (m_device) {
        m_device->ForgetSurface(this);
    }
}

void CSurface::Orphan()
{
    if (!m_device)
        return;
    if (m_texture)
        glDeleteTextures(1, &m_texture);
    if (m_renderbuffer)
        glDeleteRenderbuffers(1, &m_renderbuffer);
    m_texture = m_renderbuffer = 0;
    if (m_kind != TextureLevel)
        m_device->Unregister(this);
    m_device = nullptr;
}

ULONG CSurface::AddRef()
{
    return m_kind == TextureLevel ? m_container->AddRef() : TUnknown::AddRef();
}

ULONG CSurface::Release()
{
    return m_kind == TextureLevel ? m_container->Release() : TUnknown::Release();
}

HRESULT CSurface::GetDevice(IDirect3DDevice8** ppDevice)
{
    if (!ppDevice || !m_device)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT CSurface::GetDesc(D3DSURFACE_DESC* d)
{
    if (!d)
        return D3DERR_INVALIDCALL;
    FormatInfo info;
    const UINT bpp = LookupTextureFormat(m_format, &info) ? info.bytesPerPixel : (m_format == D3DFMT_D16 ? 2 : 4);
    *d = {m_format, D3DRTYPE_SURFACE, m_usage, m_pool, m_width * m_height * bpp, D3DMULTISAMPLE_NONE, m_width,
          m_height};
    return D3D_OK;
}

HRESULT CSurface::LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags)
{
    if (m_kind == TextureLevel)
        return m_container->LockRect(m_level, pLockedRect, pRect, Flags);
    return D3DERR_INVALIDCALL;  // render targets and depth buffers are not lockable here
}

HRESULT CSurface::UnlockRect()
{
    if (m_kind == TextureLevel)
        return m_container->UnlockRect(m_level);
    return D3DERR_INVALIDCALL;
}

// ------------------------------------------------------------- textures
CTexture::CTexture(CDevice* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT fmt, D3DPOOL pool,
                   const FormatInfo& info)
    : m_width(w), m_height(h), m_levels(levels), m_usage(usage), m_format(fmt), m_pool(pool), m_info(info)
{
    m_device = device;
    device->Register(this);
}

bool CTexture::Create()
{
    DiscardGlErrors();
    glGenTextures(1, &m_gl);
    m_device->BindTextureForUpload(m_gl);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(m_levels - 1));
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, m_info.swizzle);
    const bool keepCopy = m_pool != D3DPOOL_DEFAULT;
    m_locked.assign(m_levels, false);
    for (UINT l = 0; l < m_levels; ++l) {
        const UINT w = LevelWidth(l), h = LevelHeight(l);
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(l), static_cast<GLint>(m_info.internalFormat),
                     static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0, m_info.format, m_info.type, nullptr);
        if (keepCopy) {
            try {
                m_sysmem.emplace_back(static_cast<size_t>(w) * h * m_info.bytesPerPixel, BYTE{0});
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        auto* s = new CSurface(m_device, CSurface::TextureLevel, w, h, m_format, m_usage, m_pool);
        s->m_container = this;
        s->m_level = l;
        s->m_opaque = m_info.opaque;
        m_surfaces.push_back(s);
    }
    return glGetError() == GL_NO_ERROR;
}

CTexture::~CTexture()
{
    if (m_device) {
        m_device->Use();
        m_device->ForgetTexture(this);
    }
    for (CSurface* s : m_surfaces) {
        if (m_device)
            m_device->ForgetSurface(s);
        s->m_device = nullptr;
        delete s;
    }
    m_surfaces.clear();
    Orphan();
}

void CTexture::Orphan()
{
    if (!m_device)
        return;
    if (m_gl)
        glDeleteTextures(1, &m_gl);
    m_gl = 0;
    for (CSurface* s : m_surfaces)
        s->m_device = nullptr;
    m_device->Unregister(this);
    m_device = nullptr;
}

HRESULT CTexture::GetDevice(IDirect3DDevice8** ppDevice)
{
    if (!ppDevice || !m_device)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT CTexture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc)
{
    if (Level >= m_levels || !pDesc)
        return D3DERR_INVALIDCALL;
    return m_surfaces[Level]->GetDesc(pDesc);
}

HRESULT CTexture::GetSurfaceLevel(UINT Level, IDirect3DSurface8** pp)
{
    if (!pp)
        return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (Level >= m_levels)
        return D3DERR_INVALIDCALL;
    m_surfaces[Level]->AddRef();
    *pp = m_surfaces[Level];
    return D3D_OK;
}

HRESULT CTexture::LockRect(UINT Level, D3DLOCKED_RECT* lr, const RECT* r, DWORD)
{
    if (!m_device || Level >= m_levels || !lr || m_pool == D3DPOOL_DEFAULT || m_locked[Level])
        return D3DERR_INVALIDCALL;
    const UINT w = LevelWidth(Level), h = LevelHeight(Level);
    size_t offset = 0;
    if (r) {
        if (r->left < 0 || r->top < 0 || r->right <= r->left || r->bottom <= r->top ||
            static_cast<UINT>(r->right) > w || static_cast<UINT>(r->bottom) > h)
            return D3DERR_INVALIDCALL;
        offset = (static_cast<size_t>(r->top) * w + static_cast<size_t>(r->left)) * m_info.bytesPerPixel;
    }
    lr->Pitch = static_cast<INT>(w * m_info.bytesPerPixel);
    lr->pBits = m_sysmem[Level].data() + offset;
    m_locked[Level] = true;
    return D3D_OK;
}

HRESULT CTexture::UnlockRect(UINT Level)
{
    if (!m_device || Level >= m_levels || !m_locked[Level])
        return D3DERR_INVALIDCALL;
    m_locked[Level] = false;
    m_device->Use();
    m_device->BindTextureForUpload(m_gl);
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(Level), 0, 0, static_cast<GLsizei>(LevelWidth(Level)),
                    static_cast<GLsizei>(LevelHeight(Level)), m_info.format, m_info.type, m_sysmem[Level].data());
    return D3D_OK;
}

// -------------------------------------------------------------- buffers
template <class I, D3DRESOURCETYPE kType>
TBuffer<I, kType>::TBuffer(CDevice* device, UINT length, DWORD usage, D3DPOOL pool)
    : m_length(length), m_usage(usage), m_pool(pool)
{
    m_device = device;
    device->Register(this);
}

template <class I, D3DRESOURCETYPE kType>
bool TBuffer<I, kType>::Create()
{
    try {
        m_shadow.assign(m_length, BYTE{0});
    } catch (const std::bad_alloc&) {
        return false;
    }
    DiscardGlErrors();
    glGenBuffers(1, &m_gl);
    m_device->BindArrayBufferForUpload(m_gl);
    glBufferData(GL_ARRAY_BUFFER, m_length, nullptr, (m_usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    return glGetError() == GL_NO_ERROR;
}

template <class I, D3DRESOURCETYPE kType>
TBuffer<I, kType>::~TBuffer()
{
    if (m_device)
        m_device->Use();
    Orphan();
}

template <class I, D3DRESOURCETYPE kType>
void TBuffer<I, kType>::Orphan()
{
    if (!m_device)
        return;
    if (m_gl) {
        m_device->ForgetBuffer(m_gl);
        glDeleteBuffers(1, &m_gl);
    }
    m_gl = 0;
    m_device->Unregister(this);
    m_device = nullptr;
}

template <class I, D3DRESOURCETYPE kType>
HRESULT TBuffer<I, kType>::GetDevice(IDirect3DDevice8** ppDevice)
{
    if (!ppDevice || !m_device)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

template <class I, D3DRESOURCETYPE kType>
HRESULT TBuffer<I, kType>::Lock(UINT offset, UINT size, BYTE** ppbData, DWORD flags)
{
    if (ppbData)
        *ppbData = nullptr;
    if (!m_device || !ppbData || m_locked || offset > m_length)
        return D3DERR_INVALIDCALL;
    if (size == 0)
        size = m_length - offset;
    if (size > m_length - offset)
        return D3DERR_INVALIDCALL;
    m_locked = true;
    m_discard = (flags & D3DLOCK_DISCARD) != 0;
    m_lockOffset = offset;
    m_lockSize = size;
    *ppbData = m_shadow.data() + offset;
    return D3D_OK;
}

template <class I, D3DRESOURCETYPE kType>
HRESULT TBuffer<I, kType>::Unlock()
{
    if (!m_device || !m_locked)
        return D3DERR_INVALIDCALL;
    m_locked = false;
    m_device->Use();
    m_device->BindArrayBufferForUpload(m_gl);
    if (m_discard)
        glBufferData(GL_ARRAY_BUFFER, m_length, nullptr, GL_DYNAMIC_DRAW);
    if (m_lockSize)
        glBufferSubData(GL_ARRAY_BUFFER, m_lockOffset, m_lockSize, m_shadow.data() + m_lockOffset);
    return D3D_OK;
}

template class TBuffer<IDirect3DVertexBuffer8, D3DRTYPE_VERTEXBUFFER>;
template class TBuffer<IDirect3DIndexBuffer8, D3DRTYPE_INDEXBUFFER>;

HRESULT CVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* d)
{
    if (!d)
        return D3DERR_INVALIDCALL;
    *d = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, m_usage, m_pool, m_length, m_fvf};
    return D3D_OK;
}

HRESULT CIndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* d)
{
    if (!d)
        return D3DERR_INVALIDCALL;
    *d = {m_format, D3DRTYPE_INDEXBUFFER, m_usage, m_pool, m_length};
    return D3D_OK;
}
