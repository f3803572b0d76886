// A device for the texture harness: textures are plain memory levels, with
// the caps of the real runtime's limits.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "fake_d3d.h"

namespace fuzzing {

class MemoryTexture : public fake::Texture {
public:
    struct Level {
        UINT width, height;
        std::vector<uint8_t> bytes;
    };
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    std::vector<Level> levels;
    UINT bytesPerTexel = 4;
    ULONG refs = 1;

    ULONG Release() override { return refs > 0 ? --refs : 0; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override
    {
        if (level >= levels.size() || !desc)
            return D3DERR_INVALIDCALL;
        *desc = {};
        desc->Format = format;
        desc->Width = levels[level].width;
        desc->Height = levels[level].height;
        return D3D_OK;
    }
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* rect, const RECT*, DWORD) override
    {
        if (level >= levels.size() || !rect)
            return D3DERR_INVALIDCALL;
        rect->pBits = levels[level].bytes.data();
        rect->Pitch = static_cast<INT>(levels[level].width * bytesPerTexel);
        return D3D_OK;
    }
    HRESULT UnlockRect(UINT) override { return D3D_OK; }
};

class TextureDevice : public fake::Device {
public:
    std::vector<std::unique_ptr<MemoryTexture>> textures;

    HRESULT GetDeviceCaps(D3DCAPS8* caps) override
    {
        *caps = {};
        caps->MaxTextureWidth = 4096;
        caps->MaxTextureHeight = 4096;
        return D3D_OK;
    }
    HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD, D3DFORMAT format, D3DPOOL,
                          IDirect3DTexture8** out) override
    {
        if (!out || w == 0 || h == 0 || w > 4096 || h > 4096)
            return D3DERR_INVALIDCALL;
        auto t = std::make_unique<MemoryTexture>();
        t->format = format;
        switch (format) {
        case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: t->bytesPerTexel = 4; break;
        case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: case D3DFMT_A1R5G5B5: case D3DFMT_A4R4G4B4: case D3DFMT_A8L8:
            t->bytesPerTexel = 2;
            break;
        case D3DFMT_L8: case D3DFMT_A8: t->bytesPerTexel = 1; break;
        default: return D3DERR_INVALIDCALL;
        }
        for (UINT l = 0; l < std::max(levels, 1u); ++l) {
            t->levels.push_back({w, h, std::vector<uint8_t>(size_t(w) * h * t->bytesPerTexel)});
            if (w == 1 && h == 1)
                break;
            w = std::max(w / 2, 1u);
            h = std::max(h / 2, 1u);
        }
        *out = t.get();
        textures.push_back(std::move(t));
        return D3D_OK;
    }
};

}  // namespace fuzzing
