// Texture creation from a file in memory, as the engine's texture cache does
// it, on a device whose textures are plain memory.
#include <cstdint>

#include "fuzz_texture_device.h"
#include "gfxutil/d3dx8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzing::TextureDevice device;
    for (D3DFORMAT format : {D3DFMT_UNKNOWN, D3DFMT_R5G6B5}) {
        IDirect3DTexture8* texture = nullptr;
        const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
            &device, data, static_cast<UINT>(size), D3DX_DEFAULT, D3DX_DEFAULT, format == D3DFMT_UNKNOWN ? 0 : 1, 0,
            format, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_DEFAULT, 0, nullptr, nullptr, &texture);
        if (SUCCEEDED(hr) != (texture != nullptr))
            __builtin_trap();
        if (texture)
            texture->Release();
    }
    return 0;
}
