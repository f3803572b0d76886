// ID3DXBuffer: a reference-counted block of bytes.
#include "gfxutil/d3dx8.h"

#include <atomic>
#include <new>
#include <vector>

namespace {

class CBuffer final : public ID3DXBuffer {
public:
    explicit CBuffer(DWORD size) : m_bytes(size) {}
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
    LPVOID GetBufferPointer() override { return m_bytes.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(m_bytes.size()); }

private:
    ~CBuffer() = default;
    std::vector<BYTE> m_bytes;
    ULONG m_refs = 1;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer)
{
    if (!ppBuffer)
        return D3DERR_INVALIDCALL;
    *ppBuffer = new (std::nothrow) CBuffer(NumBytes);
    return *ppBuffer ? D3D_OK : E_OUTOFMEMORY;
}
