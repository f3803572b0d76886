// The engine's interface for the subsystems that load and draw through it:
// the texture cache (textures are created once per archive path and stay
// owned by the cache; the pointer handed out is borrowed) and the device.
#pragma once

#include "d3d8.h"

struct IRender {
    // Null when the member is missing or cannot be decoded.
    virtual IDirect3DTexture8* LoadTexture(const char* path, UINT mipLevels, D3DFORMAT format) = 0;
    virtual IDirect3DDevice8* GetDevice() = 0;

protected:
    ~IRender() = default;
};
