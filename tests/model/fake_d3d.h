// A recording stand-in for the Direct3D 8 device and the engine's IRender,
// for the model and canyon suites: every state change and draw is logged as
// text ("SetRenderState(19,2)"), buffers keep their bytes for inspection,
// and creation or locking can be made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/irender.h"
#include "fake_d3d_win32.h"

namespace fake {

// Common part of the fake resources: a reference count that never frees, so
// tests can look at a buffer after the code under test released it.
template <class Base>
class Resource : public VANTOR_FAKE_RESOURCE_BASE(Base) {
public:
    // Owned through the base by the fake device's tables.
    virtual ~Resource() = default;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return refs > 0 ? --refs : 0; }
    HRESULT GetDevice(IDirect3DDevice8**) override { return E_NOTIMPL; }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}

    ULONG refs = 1;
    std::string name;
};

template <class Base>
class Buffer : public Resource<Base> {
public:
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override
    {
        lockFlags.push_back(flags);
        if (failLock || !data || offset > bytes.size())
            return D3DERR_INVALIDCALL;
        (void)size;
        *data = bytes.data() + offset;
        locked = true;
        return D3D_OK;
    }
    HRESULT Unlock() override
    {
        ++unlocks;
        locked = false;
        return D3D_OK;
    }

    std::vector<uint8_t> bytes;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    std::vector<DWORD> lockFlags;
    int unlocks = 0;
    bool locked = false;
    bool failLock = false;
};

class VertexBuffer : public Buffer<IDirect3DVertexBuffer8> {
public:
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC*) override { return E_NOTIMPL; }
    DWORD fvf = 0;
};

class IndexBuffer : public Buffer<IDirect3DIndexBuffer8> {
public:
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC*) override { return E_NOTIMPL; }
    D3DFORMAT format = D3DFMT_UNKNOWN;
};

class Texture : public Resource<IDirect3DTexture8> {
public:
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD) override { return 0; }
    DWORD GetLOD() override { return 0; }
    DWORD GetLevelCount() override { return 1; }
    HRESULT GetLevelDesc(UINT, D3DSURFACE_DESC*) override { return E_NOTIMPL; }
    HRESULT GetSurfaceLevel(UINT, IDirect3DSurface8**) override { return E_NOTIMPL; }
    HRESULT LockRect(UINT, D3DLOCKED_RECT*, const RECT*, DWORD) override { return E_NOTIMPL; }
    HRESULT UnlockRect(UINT) override { return E_NOTIMPL; }
    HRESULT AddDirtyRect(const RECT*) override { return E_NOTIMPL; }
};

class Device : public VANTOR_FAKE_DEVICE_BASE {
public:
    // The log of state changes and draws, in call order; benchmarks turn
    // it off.
    std::vector<std::string> calls;
    bool record = true;
    std::vector<std::unique_ptr<VertexBuffer>> vertexBuffers;
    std::vector<std::unique_ptr<IndexBuffer>> indexBuffers;
    bool failCreateVertexBuffer = false;
    bool failCreateIndexBuffer = false;
    bool failLocks = false;  // applies to buffers created afterwards

    void Log(std::string entry);
    // Name of a texture in the log ("-" for null).
    static std::string NameOf(IDirect3DBaseTexture8* t);

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT TestCooperativeLevel() override { return D3D_OK; }
    HRESULT GetDirect3D(IDirect3D8**) override { return E_NOTIMPL; }
    HRESULT GetDeviceCaps(D3DCAPS8*) override { return E_NOTIMPL; }
    HRESULT GetDisplayMode(D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return E_NOTIMPL; }
    HRESULT GetBackBuffer(UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface8**) override { return E_NOTIMPL; }
    void SetGammaRamp(DWORD, const D3DGAMMARAMP*) override {}
    void GetGammaRamp(D3DGAMMARAMP*) override {}
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**) override
    {
        return E_NOTIMPL;
    }
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** out) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** out) override;
    HRESULT CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, BOOL, IDirect3DSurface8**) override
    {
        return E_NOTIMPL;
    }
    HRESULT CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, IDirect3DSurface8**) override
    {
        return E_NOTIMPL;
    }
    HRESULT SetRenderTarget(IDirect3DSurface8*, IDirect3DSurface8*) override { return E_NOTIMPL; }
    HRESULT GetRenderTarget(IDirect3DSurface8**) override { return E_NOTIMPL; }
    HRESULT GetDepthStencilSurface(IDirect3DSurface8**) override { return E_NOTIMPL; }
    HRESULT BeginScene() override { return D3D_OK; }
    HRESULT EndScene() override { return D3D_OK; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT SetViewport(const D3DVIEWPORT8*) override { return D3D_OK; }
    HRESULT GetViewport(D3DVIEWPORT8*) override { return E_NOTIMPL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetTexture(DWORD, IDirect3DBaseTexture8**) override { return E_NOTIMPL; }
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                 UINT primCount) override;
    HRESULT CreateVertexShader(const DWORD*, const DWORD*, DWORD*, DWORD) override { return E_NOTIMPL; }
    HRESULT SetVertexShader(DWORD) override { return D3D_OK; }
    HRESULT GetVertexShader(DWORD*) override { return E_NOTIMPL; }
    HRESULT DeleteVertexShader(DWORD) override { return D3D_OK; }
    HRESULT SetVertexShaderConstant(DWORD, const void*, DWORD) override { return D3D_OK; }
    HRESULT GetVertexShaderConstant(DWORD, void*, DWORD) override { return E_NOTIMPL; }
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* data, UINT stride) override;
    HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer8**, UINT*) override { return E_NOTIMPL; }
    HRESULT SetIndices(IDirect3DIndexBuffer8* data, UINT baseVertex) override;
    HRESULT GetIndices(IDirect3DIndexBuffer8**, UINT*) override { return E_NOTIMPL; }
    HRESULT CreatePixelShader(const DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetPixelShader(DWORD) override { return D3D_OK; }
    HRESULT GetPixelShader(DWORD*) override { return E_NOTIMPL; }
    HRESULT DeletePixelShader(DWORD) override { return D3D_OK; }
    HRESULT SetPixelShaderConstant(DWORD, const void*, DWORD) override { return D3D_OK; }
    HRESULT GetPixelShaderConstant(DWORD, void*, DWORD) override { return E_NOTIMPL; }
};

// The engine side: a texture cache keyed by path (as the real one) over the
// fake device; paths listed in `missing` load as null.
class Render : public IRender {
public:
    struct LoadCall {
        std::string path;
        UINT mipLevels;
        D3DFORMAT format;
    };

    IDirect3DTexture8* LoadTexture(const char* path, UINT mipLevels, D3DFORMAT format) override;
    IDirect3DDevice8* GetDevice() override { return noDevice ? nullptr : &device; }

    Device device;
    std::set<std::string> missing;
    std::vector<LoadCall> loads;
    std::map<std::string, std::unique_ptr<Texture>> textures;
    bool noDevice = false;
};

}  // namespace fake
