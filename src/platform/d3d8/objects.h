// The runtime's objects behind the Direct3D 8 interfaces.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/formats.h"
#include "platform/d3d8/gl.h"

#include <vector>

class CDevice;

// Reference counting shared by every interface. QueryInterface is not
// offered: the engine never asks for another interface.
template <class I>
class TUnknown : public I {
public:
    HRESULT QueryInterface(REFIID, void** ppv) override
    {
        if (ppv)
            *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }
    virtual ~TUnknown() = default;

private:
    ULONG m_refs = 1;
};

// Resources register with their device so that a device destroyed before
// them can take their GL objects away while its context still exists.
class CResourceLink {
public:
    virtual void Orphan() = 0;  // free GL objects, forget the device
    CDevice* m_device = nullptr;

protected:
    CResourceLink();
    ~CResourceLink();
    CResourceLink(const CResourceLink&) = delete;
    CResourceLink& operator=(const CResourceLink&) = delete;
};

// Every resource allocation judges its GL storage by the error flag, so an
// error left over from an earlier call must be cleared first, or it would be
// taken for this allocation's.
void DiscardGlErrors();

class CTexture;

class CSurface final : public TUnknown<IDirect3DSurface8>, public CResourceLink {
public:
    enum Kind { TextureLevel, ColorTarget, DepthStencil };
    CSurface(CDevice* device, Kind kind, UINT w, UINT h, D3DFORMAT fmt, DWORD usage, D3DPOOL pool);
    ~CSurface() override;

    // A texture level lives and dies with its texture.
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect() override;
    void Orphan() override;

    Kind m_kind;
    UINT m_width, m_height;
    D3DFORMAT m_format;
    DWORD m_usage;
    D3DPOOL m_pool;
    CTexture* m_container = nullptr;  // TextureLevel
    UINT m_level = 0;
    GLuint m_texture = 0;       // ColorTarget: owned colour texture
    GLuint m_renderbuffer = 0;  // DepthStencil
    bool m_hasStencil = false;
    bool m_opaque = false;      // X8 formats: alpha reads back as 1
    bool m_bottomUp = false;    // the back buffer: GL's row order (see device.cpp)
    bool m_allocated = false;   // the GL storage of a stand-alone surface exists
};

class CTexture final : public TUnknown<IDirect3DTexture8>, public CResourceLink {
public:
    CTexture(CDevice* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT fmt, D3DPOOL pool,
             const FormatInfo& info);
    ~CTexture() override;
    bool Create();

    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD) override { return 0; }
    DWORD GetLOD() override { return 0; }
    DWORD GetLevelCount() override { return m_levels; }
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface8** ppSurfaceLevel) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;
    HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }
    void Orphan() override;

    UINT LevelWidth(UINT level) const { return m_width >> level ? m_width >> level : 1; }
    UINT LevelHeight(UINT level) const { return m_height >> level ? m_height >> level : 1; }

    UINT m_width, m_height, m_levels;
    DWORD m_usage;
    D3DFORMAT m_format;
    D3DPOOL m_pool;
    FormatInfo m_info;
    GLuint m_gl = 0;
    std::vector<std::vector<BYTE>> m_sysmem;
    std::vector<CSurface*> m_surfaces;
    std::vector<bool> m_locked;
};

template <class I, D3DRESOURCETYPE kType>
class TBuffer : public TUnknown<I>, public CResourceLink {
public:
    TBuffer(CDevice* device, UINT length, DWORD usage, D3DPOOL pool);
    ~TBuffer() override;
    bool Create();

    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return kType; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    void Orphan() override;

    UINT m_length;
    DWORD m_usage;
    D3DPOOL m_pool;
    GLuint m_gl = 0;
    std::vector<BYTE> m_shadow;
    bool m_locked = false;
    bool m_discard = false;
    UINT m_lockOffset = 0, m_lockSize = 0;
};

class CVertexBuffer final : public TBuffer<IDirect3DVertexBuffer8, D3DRTYPE_VERTEXBUFFER> {
public:
    CVertexBuffer(CDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
        : TBuffer(device, length, usage, pool), m_fvf(fvf)
    {
    }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;
    DWORD m_fvf;
};

class CIndexBuffer final : public TBuffer<IDirect3DIndexBuffer8, D3DRTYPE_INDEXBUFFER> {
public:
    CIndexBuffer(CDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : TBuffer(device, length, usage, pool), m_format(format)
    {
    }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;
    D3DFORMAT m_format;
};
