// D3DXCreateTexture and D3DXCreateTextureFromFileInMemoryEx: decode, fit to
// the device, build the mip chain with a triangle filter and convert each
// level to the texture's format.
#include "gfxutil/d3dx8.h"
#include "gfxutil/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace {

thread_local std::string g_textureError;

UINT FullChain(UINT w, UINT h)
{
    UINT n = 1;
    while (w > 1 || h > 1) {
        w = std::max(w / 2, 1u);
        h = std::max(h / 2, 1u);
        ++n;
    }
    return n;
}

// The texture format a file's own format becomes on this device.
D3DFORMAT TextureFormatFor(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_R8G8B8: return D3DFMT_X8R8G8B8;
    case D3DFMT_P8: return D3DFMT_A8R8G8B8;
    case D3DFMT_UNKNOWN: return D3DFMT_A8R8G8B8;
    default: return f;
    }
}

uint8_t To5(uint32_t v) { return static_cast<uint8_t>((v * 31 + 127) / 255); }
uint8_t To6(uint32_t v) { return static_cast<uint8_t>((v * 63 + 127) / 255); }
uint8_t To4(uint32_t v) { return static_cast<uint8_t>((v * 15 + 127) / 255); }

// Writes one level of texels into locked memory of the given format.
bool Convert(const std::vector<uint32_t>& src, UINT w, UINT h, D3DFORMAT fmt, BYTE* dst, INT pitch)
{
    for (UINT y = 0; y < h; ++y) {
        BYTE* row = dst + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        for (UINT x = 0; x < w; ++x) {
            const uint32_t c = src[static_cast<size_t>(y) * w + x];
            const uint32_t a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            switch (fmt) {
            case D3DFMT_A8R8G8B8:
                std::memcpy(row + 4 * x, &c, 4);
                break;
            case D3DFMT_X8R8G8B8: {
                const uint32_t v = c | 0xFF000000u;
                std::memcpy(row + 4 * x, &v, 4);
                break;
            }
            case D3DFMT_R5G6B5: {
                const uint16_t v = static_cast<uint16_t>((To5(r) << 11) | (To6(g) << 5) | To5(b));
                std::memcpy(row + 2 * x, &v, 2);
                break;
            }
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5: {
                const uint16_t v = static_cast<uint16_t>(((fmt == D3DFMT_X1R5G5B5 || a >= 128) ? 0x8000 : 0) |
                                                         (To5(r) << 10) | (To5(g) << 5) | To5(b));
                std::memcpy(row + 2 * x, &v, 2);
                break;
            }
            case D3DFMT_A4R4G4B4: {
                const uint16_t v = static_cast<uint16_t>((To4(a) << 12) | (To4(r) << 8) | (To4(g) << 4) | To4(b));
                std::memcpy(row + 2 * x, &v, 2);
                break;
            }
            case D3DFMT_L8:
            case D3DFMT_A8L8: {
                // Rec. 709 luminance, exact for grey input.
                const uint8_t l = static_cast<uint8_t>(std::lround(0.2125 * r + 0.7154 * g + 0.0721 * b));
                row[(fmt == D3DFMT_L8 ? 1 : 2) * x] = l;
                if (fmt == D3DFMT_A8L8)
                    row[2 * x + 1] = static_cast<uint8_t>(a);
                break;
            }
            case D3DFMT_A8:
                row[x] = static_cast<uint8_t>(a);
                break;
            default:
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::vector<uint32_t> ResampleTriangle(const std::vector<uint32_t>& src, UINT sw, UINT sh, UINT dw, UINT dh)
{
    // Separable: rows first, then columns, in floating point per channel.
    auto weights = [](UINT s, UINT d, std::vector<std::vector<std::pair<int, float>>>* taps) {
        const double scale = static_cast<double>(s) / d;
        const double radius = std::max(scale, 1.0);
        taps->assign(d, {});
        for (UINT i = 0; i < d; ++i) {
            const double centre = (i + 0.5) * scale;
            const int first = static_cast<int>(std::floor(centre - radius));
            const int last = static_cast<int>(std::ceil(centre + radius));
            double sum = 0;
            std::vector<std::pair<int, float>> t;
            for (int k = first; k <= last; ++k) {
                const double wgt = 1.0 - std::fabs(k + 0.5 - centre) / radius;
                if (wgt <= 0)
                    continue;
                const int wrapped = ((k % static_cast<int>(s)) + static_cast<int>(s)) % static_cast<int>(s);
                t.push_back({wrapped, static_cast<float>(wgt)});
                sum += wgt;
            }
            for (auto& p : t)
                p.second = static_cast<float>(p.second / sum);
            (*taps)[i] = std::move(t);
        }
    };
    std::vector<std::vector<std::pair<int, float>>> tx, ty;
    weights(sw, dw, &tx);
    weights(sh, dh, &ty);
    std::vector<float> mid(static_cast<size_t>(dw) * sh * 4);
    for (UINT y = 0; y < sh; ++y)
        for (UINT x = 0; x < dw; ++x) {
            float acc[4] = {};
            for (const auto& [k, wgt] : tx[x]) {
                const uint32_t c = src[static_cast<size_t>(y) * sw + static_cast<size_t>(k)];
                for (int ch = 0; ch < 4; ++ch)
                    acc[ch] += wgt * static_cast<float>((c >> (8 * ch)) & 0xFF);
            }
            std::memcpy(&mid[(static_cast<size_t>(y) * dw + x) * 4], acc, sizeof acc);
        }
    std::vector<uint32_t> out(static_cast<size_t>(dw) * dh);
    for (UINT y = 0; y < dh; ++y)
        for (UINT x = 0; x < dw; ++x) {
            float acc[4] = {};
            for (const auto& [k, wgt] : ty[y])
                for (int ch = 0; ch < 4; ++ch)
                    acc[ch] += wgt * mid[(static_cast<size_t>(k) * dw + x) * 4 + static_cast<size_t>(ch)];
            uint32_t c = 0;
            for (int ch = 0; ch < 4; ++ch)
                c |= static_cast<uint32_t>(std::clamp(std::lround(acc[ch]), 0L, 255L)) << (8 * ch);
            out[static_cast<size_t>(y) * dw + x] = c;
        }
    return out;
}

HRESULT D3DXCreateTexture(LPDIRECT3DDEVICE8 pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                          D3DFORMAT Format, D3DPOOL Pool, LPDIRECT3DTEXTURE8* ppTexture)
{
    if (!pDevice || !ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    if (Width == D3DX_DEFAULT || Width == 0)
        Width = 256;
    if (Height == D3DX_DEFAULT || Height == 0)
        Height = 256;
    D3DCAPS8 caps;
    if (FAILED(pDevice->GetDeviceCaps(&caps)))
        return D3DERR_INVALIDCALL;
    Width = std::min<UINT>(Width, caps.MaxTextureWidth);
    Height = std::min<UINT>(Height, caps.MaxTextureHeight);
    if (MipLevels == D3DX_DEFAULT)
        MipLevels = 0;
    MipLevels = MipLevels == 0 ? FullChain(Width, Height) : std::min(MipLevels, FullChain(Width, Height));
    return pDevice->CreateTexture(Width, Height, MipLevels, Usage, TextureFormatFor(Format), Pool, ppTexture);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE8 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            LPDIRECT3DTEXTURE8* ppTexture)
{
    (void)Filter;
    (void)MipFilter;
    if (!pDevice || !pSrcData || SrcDataSize == 0 || !ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    g_textureError.clear();
    const auto* bytes = static_cast<const uint8_t*>(pSrcData);
    const std::string kind = ImageKind(bytes, SrcDataSize);

    // A picture larger than the device can hold is refused before it is
    // decoded: decoding and shrinking it would cost seconds and gigabytes
    // for nothing the engine can show.
    D3DCAPS8 caps;
    if (FAILED(pDevice->GetDeviceCaps(&caps)))
        return D3DERR_INVALIDCALL;
    UINT headerW = 0, headerH = 0;
    if (ImageHeaderSize(bytes, SrcDataSize, &headerW, &headerH) &&
        (headerW > caps.MaxTextureWidth || headerH > caps.MaxTextureHeight)) {
        g_textureError = kind + " image of " + std::to_string(headerW) + " x " + std::to_string(headerH) +
                         " texels, larger than the device's limit of " + std::to_string(caps.MaxTextureWidth) +
                         " x " + std::to_string(caps.MaxTextureHeight);
        return D3DXERR_INVALIDDATA;
    }

    IDirect3DTexture8* tex = nullptr;
    // Every allocation after the call's checks happens in here, so that
    // running out of memory is an error code like any other.
    try {
        DecodedImage img;
        if (!DecodeImage(bytes, SrcDataSize, &img)) {
            g_textureError = "not a " + kind + " image (or a damaged or unsupported one)";
            return D3DXERR_INVALIDDATA;
        }
        if (img.width > caps.MaxTextureWidth || img.height > caps.MaxTextureHeight) {
            g_textureError = kind + " image larger than the device's texture limit";
            return D3DXERR_INVALIDDATA;
        }
        if (pSrcInfo)
            *pSrcInfo = {img.width, img.height, 1, 1, img.sourceFormat, D3DRTYPE_TEXTURE, img.fileFormat};
        if (pPalette)
            std::memset(pPalette, 0, sizeof(PALETTEENTRY) * 256);
        if (ColorKey != 0)
            for (uint32_t& t : img.texels)
                if (t == ColorKey)
                    t = 0;
        const D3DFORMAT fmt = TextureFormatFor(Format == D3DFMT_UNKNOWN ? img.sourceFormat : Format);
        HRESULT hr = D3DXCreateTexture(pDevice, (Width == D3DX_DEFAULT || Width == 0) ? img.width : Width,
                                       (Height == D3DX_DEFAULT || Height == 0) ? img.height : Height, MipLevels,
                                       Usage, fmt, Pool, &tex);
        if (FAILED(hr)) {
            g_textureError = "the device refused the texture";
            return hr;
        }
        D3DSURFACE_DESC desc;
        hr = tex->GetLevelDesc(0, &desc);
        std::vector<uint32_t> level = std::move(img.texels);
        UINT w = img.width, h = img.height;
        if (SUCCEEDED(hr) && (desc.Width != w || desc.Height != h)) {
            level = ResampleTriangle(level, w, h, desc.Width, desc.Height);
            w = desc.Width;
            h = desc.Height;
        }
        const DWORD levels = tex->GetLevelCount();
        for (DWORD l = 0; l < levels && SUCCEEDED(hr); ++l) {
            if (l > 0) {
                const UINT nw = std::max(w / 2, 1u), nh = std::max(h / 2, 1u);
                level = ResampleTriangle(level, w, h, nw, nh);
                w = nw;
                h = nh;
            }
            D3DLOCKED_RECT lr;
            hr = tex->LockRect(l, &lr, nullptr, 0);
            if (FAILED(hr))
                break;
            const bool ok = Convert(level, w, h, desc.Format, static_cast<BYTE*>(lr.pBits), lr.Pitch);
            tex->UnlockRect(l);
            if (!ok)
                hr = D3DERR_WRONGTEXTUREFORMAT;
        }
        if (FAILED(hr)) {
            g_textureError = "the texture could not be filled";
            tex->Release();
            return hr;
        }
    } catch (const std::bad_alloc&) {
        if (tex)
            tex->Release();
        g_textureError = "not enough memory for the texture";
        return E_OUTOFMEMORY;
    }
    *ppTexture = tex;
    return D3D_OK;
}

const std::string& VantorTextureError() { return g_textureError; }

HRESULT D3DXCreateTextureFromFileInMemory(LPDIRECT3DDEVICE8 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                          LPDIRECT3DTEXTURE8* ppTexture)
{
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}
