// The recording fake device (see fake_d3d.h).
#include "fake_d3d.h"

namespace fake {

namespace {

template <class... Args>
std::string Format(const char* op, Args... args)
{
    std::string s = op;
    s += '(';
    bool first = true;
    ((s += (first ? "" : ","), s += args, first = false), ...);
    s += ')';
    return s;
}

std::string Num(uint64_t v) { return std::to_string(v); }

}  // namespace

void Device::Log(std::string entry)
{
    if (record)
        calls.push_back(std::move(entry));
}

std::string Device::NameOf(IDirect3DBaseTexture8* t)
{
    if (!t)
        return "-";
    return static_cast<Texture*>(static_cast<IDirect3DTexture8*>(t))->name;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** out)
{
    if (record)
        Log(Format("CreateVertexBuffer", Num(length), Num(usage), Num(fvf), Num(pool)));
    if (failCreateVertexBuffer || !out)
        return E_OUTOFMEMORY;
    auto vb = std::make_unique<VertexBuffer>();
    vb->bytes.assign(length, 0xAB);  // a fill pattern shows bytes nobody wrote
    vb->usage = usage;
    vb->fvf = fvf;
    vb->pool = pool;
    vb->failLock = failLocks;
    vb->name = "vb" + std::to_string(vertexBuffers.size());
    *out = vb.get();
    vertexBuffers.push_back(std::move(vb));
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer8** out)
{
    if (record)
        Log(Format("CreateIndexBuffer", Num(length), Num(usage), Num(format), Num(pool)));
    if (failCreateIndexBuffer || !out)
        return E_OUTOFMEMORY;
    auto ib = std::make_unique<IndexBuffer>();
    ib->bytes.assign(length, 0xAB);
    ib->usage = usage;
    ib->format = format;
    ib->pool = pool;
    ib->failLock = failLocks;
    ib->name = "ib" + std::to_string(indexBuffers.size());
    *out = ib.get();
    indexBuffers.push_back(std::move(ib));
    return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX*)
{
    if (record)
        Log(Format("SetTransform", Num(state)));
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (record)
        Log(Format("SetRenderState", Num(state), Num(value)));
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture)
{
    if (record)
        Log(Format("SetTexture", Num(stage), NameOf(texture)));
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    if (record)
        Log(Format("SetTextureStageState", Num(stage), Num(type), Num(value)));
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count)
{
    if (record)
        Log(Format("DrawPrimitive", Num(type), Num(start), Num(count)));
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                     UINT primCount)
{
    if (record)
        Log(Format("DrawIndexedPrimitive", Num(type), Num(minIndex), Num(numVertices), Num(startIndex),
                   Num(primCount)));
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* data, UINT stride)
{
    if (record)
        Log(Format("SetStreamSource", Num(stream), data ? static_cast<VertexBuffer*>(data)->name : "-",
                   Num(stride)));
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* data, UINT baseVertex)
{
    if (record)
        Log(Format("SetIndices", data ? static_cast<IndexBuffer*>(data)->name : "-", Num(baseVertex)));
    return D3D_OK;
}

IDirect3DTexture8* Render::LoadTexture(const char* path, UINT mipLevels, D3DFORMAT format)
{
    loads.push_back({path, mipLevels, format});
    if (missing.count(path))
        return nullptr;
    auto& slot = textures[path];
    if (!slot) {
        slot = std::make_unique<Texture>();
        slot->name = path;
    }
    return slot.get();
}

}  // namespace fake
