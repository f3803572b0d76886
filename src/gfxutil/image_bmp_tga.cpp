// BMP (8-bit palettised, 24 and 32 bit, bottom-up or top-down) and TGA
// (8-bit grey or palettised, 24 and 32 bit, uncompressed or RLE).
#include "gfxutil/image.h"

#include "gfxutil/d3dx8.h"

#include <cstring>

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (uint32_t(p[3]) << 24); }

uint32_t Argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b)
{
    return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

}  // namespace

bool ImageSizeAcceptable(uint64_t w, uint64_t h)
{
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

bool DecodeBmp(const uint8_t* d, size_t size, DecodedImage* out)
{
    if (size < 54 || d[0] != 'B' || d[1] != 'M')
        return false;
    const uint32_t offBits = U32(d + 10);
    const uint32_t headerSize = U32(d + 14);
    if (headerSize < 40 || 14ull + headerSize > size)
        return false;
    const int32_t w = static_cast<int32_t>(U32(d + 18));
    const int32_t hRaw = static_cast<int32_t>(U32(d + 22));
    const uint16_t bpp = U16(d + 28);
    const uint32_t compression = U32(d + 30);
    uint32_t colorsUsed = U32(d + 46);
    if (w <= 0 || hRaw == 0 || hRaw == INT32_MIN)
        return false;
    const bool topDown = hRaw < 0;
    const uint32_t h = static_cast<uint32_t>(topDown ? -hRaw : hRaw);
    if (!ImageSizeAcceptable(static_cast<uint64_t>(w), h))
        return false;
    // Channel masks: standard BGR(A) layouts only.
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    if (compression == 3) {
        if (bpp != 32 || 14ull + 40 + 12 > size)
            return false;
        masks[0] = U32(d + 54);
        masks[1] = U32(d + 58);
        masks[2] = U32(d + 62);
        if (headerSize >= 56)
            masks[3] = U32(d + 66);
        if (masks[0] != 0x00FF0000 || masks[1] != 0x0000FF00 || masks[2] != 0x000000FF ||
            (masks[3] != 0 && masks[3] != 0xFF000000))
            return false;
    } else if (compression != 0) {
        return false;  // RLE and other compressions are not supported
    }
    if (bpp != 8 && bpp != 24 && bpp != 32)
        return false;
    uint32_t palette[256] = {};
    if (bpp == 8) {
        if (colorsUsed == 0)
            colorsUsed = 256;
        if (colorsUsed > 256)
            return false;
        const uint64_t palOff = 14ull + headerSize;
        if (palOff + 4ull * colorsUsed > size)
            return false;
        for (uint32_t i = 0; i < colorsUsed; ++i) {
            const uint8_t* q = d + palOff + 4 * i;
            palette[i] = Argb(0xFF, q[2], q[1], q[0]);
        }
    }
    const uint64_t stride = ((static_cast<uint64_t>(w) * bpp + 31) / 32) * 4;
    if (offBits > size || stride * h > size - offBits)
        return false;
    out->width = static_cast<UINT>(w);
    out->height = h;
    out->texels.assign(static_cast<size_t>(w) * h, 0);
    const bool alpha = bpp == 32 && masks[3] == 0xFF000000;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = d + offBits + stride * (topDown ? y : h - 1 - y);
        uint32_t* dst = &out->texels[static_cast<size_t>(y) * static_cast<size_t>(w)];
        for (int32_t x = 0; x < w; ++x) {
            if (bpp == 8) {
                if (row[x] >= colorsUsed)
                    return false;
                dst[x] = palette[row[x]];
            } else if (bpp == 24) {
                dst[x] = Argb(0xFF, row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            } else {
                dst[x] = Argb(alpha ? row[4 * x + 3] : 0xFF, row[4 * x + 2], row[4 * x + 1], row[4 * x]);
            }
        }
    }
    out->sourceFormat = bpp == 8 ? D3DFMT_P8 : bpp == 24 ? D3DFMT_R8G8B8 : alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    out->fileFormat = D3DXIFF_BMP;
    return true;
}

bool DecodeTga(const uint8_t* d, size_t size, DecodedImage* out)
{
    if (size < 18)
        return false;
    const uint8_t idLength = d[0], mapType = d[1], type = d[2];
    const uint16_t mapFirst = U16(d + 3), mapLength = U16(d + 5);
    const uint8_t mapBits = d[7];
    const uint16_t w = U16(d + 12), h = U16(d + 14);
    const uint8_t bpp = d[16], desc = d[17];
    const bool rle = type >= 9;
    const uint8_t base = rle ? type - 8 : type;
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11)
        return false;
    if (!ImageSizeAcceptable(w, h) || (desc & 0x10))  // right-to-left images are not supported
        return false;
    if ((base == 2 && bpp != 24 && bpp != 32) || (base != 2 && bpp != 8))
        return false;
    size_t pos = 18 + idLength;
    uint32_t palette[256] = {};
    if (mapType == 1) {
        if (mapBits != 24 && mapBits != 32)
            return false;
        const size_t entry = mapBits / 8;
        if (pos + entry * mapLength > size)
            return false;
        for (uint32_t i = 0; i < mapLength; ++i) {
            const uint8_t* q = d + pos + entry * i;
            const uint32_t index = mapFirst + i;
            if (index < 256)
                palette[index] = Argb(entry == 4 ? q[3] : 0xFF, q[2], q[1], q[0]);
        }
        pos += entry * mapLength;
    } else if (mapType != 0 || base == 1) {
        return false;
    }
    if (base == 1 && mapFirst + static_cast<uint32_t>(mapLength) > 256)
        return false;
    const size_t pixelBytes = bpp / 8;
    const size_t count = static_cast<size_t>(w) * h;
    // The picture must fit in what the file holds before it is allocated:
    // raw pixels one by one, or run-length packets of at most 128 pixels
    // that take at least a header byte and one pixel each.
    if (pos > size)
        return false;
    const uint64_t leastBytes = rle ? (count + 127) / 128 * (1 + pixelBytes) : count * pixelBytes;
    if (leastBytes > size - pos)
        return false;
    std::vector<uint32_t> pixels(count);
    auto convert = [&](const uint8_t* p, uint32_t* px) {
        if (base == 1) {
            if (p[0] < mapFirst || p[0] >= mapFirst + mapLength)
                return false;
            *px = palette[p[0]];
        } else if (base == 3) {
            *px = Argb(0xFF, p[0], p[0], p[0]);
        } else {
            *px = Argb(pixelBytes == 4 ? p[3] : 0xFF, p[2], p[1], p[0]);
        }
        return true;
    };
    if (!rle) {
        if (pos > size || count * pixelBytes > size - pos)
            return false;
        for (size_t i = 0; i < count; ++i)
            if (!convert(d + pos + i * pixelBytes, &pixels[i]))
                return false;
    } else {
        size_t i = 0;
        while (i < count) {
            if (pos >= size)
                return false;
            const uint8_t header = d[pos++];
            const size_t run = (header & 0x7F) + 1u;
            if (run > count - i)
                return false;  // a packet may not run past the image
            if (header & 0x80) {
                if (pixelBytes > size - pos)
                    return false;
                uint32_t px;
                if (!convert(d + pos, &px))
                    return false;
                pos += pixelBytes;
                for (size_t k = 0; k < run; ++k)
                    pixels[i++] = px;
            } else {
                if (run * pixelBytes > size - pos)
                    return false;
                for (size_t k = 0; k < run; ++k, pos += pixelBytes)
                    if (!convert(d + pos, &pixels[i++]))
                        return false;
            }
        }
    }
    out->width = w;
    out->height = h;
    out->texels.resize(count);
    const bool topDown = (desc & 0x20) != 0;
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(&out->texels[static_cast<size_t>(y) * w], &pixels[static_cast<size_t>(topDown ? y : h - 1 - y) * w],
                    w * sizeof(uint32_t));
    out->sourceFormat = base == 1 ? D3DFMT_P8 : base == 3 ? D3DFMT_L8 : bpp == 32 ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8;
    out->fileFormat = D3DXIFF_TGA;
    return true;
}
