// BMP decoding and stretching.
#include "platform/x11/dib.h"

#include <cstring>

namespace dib {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kCoreHeaderSize = 12;
constexpr size_t kInfoHeaderSize = 40;
constexpr int64_t kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{1} << 26;

uint16_t U16(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

uint32_t U32(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
}

} // namespace

std::optional<Picture> Decode(std::span<const uint8_t> file)
{
    if (file.size() < kFileHeaderSize + kCoreHeaderSize || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;
    const uint32_t dataOffset = U32(file, 10);
    const uint32_t headerSize = U32(file, kFileHeaderSize);
    if (headerSize < kCoreHeaderSize || headerSize > file.size() - kFileHeaderSize)
        return std::nullopt;

    int64_t width = 0, height = 0;
    uint32_t bitCount = 0, compression = 0, colorsUsed = 0;
    size_t paletteEntrySize = 4;
    const size_t h = kFileHeaderSize;
    if (headerSize == kCoreHeaderSize) {
        width = U16(file, h + 4);
        height = U16(file, h + 6);
        bitCount = U16(file, h + 10);
        paletteEntrySize = 3;
    } else if (headerSize >= kInfoHeaderSize) {
        width = static_cast<int32_t>(U32(file, h + 4));
        height = static_cast<int32_t>(U32(file, h + 8));
        bitCount = U16(file, h + 14);
        compression = U32(file, h + 16);
        colorsUsed = U32(file, h + 32);
    } else {
        return std::nullopt;
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        return std::nullopt;
    if (compression != 0) // only BI_RGB
        return std::nullopt;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return std::nullopt;

    std::vector<uint32_t> palette;
    if (bitCount <= 8) {
        const uint32_t maxColors = 1u << bitCount;
        const uint32_t count = colorsUsed == 0 || colorsUsed > maxColors ? maxColors : colorsUsed;
        const size_t at = kFileHeaderSize + headerSize;
        if (at + count * paletteEntrySize > file.size())
            return std::nullopt;
        palette.resize(maxColors, 0);
        for (uint32_t i = 0; i < count; ++i) {
            const size_t e = at + i * paletteEntrySize;
            palette[i] = Rgb(file[e + 2], file[e + 1], file[e]);
        }
    }

    const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    if (dataOffset > file.size() || stride * static_cast<size_t>(height) > file.size() - dataOffset)
        return std::nullopt;

    Picture pic;
    pic.width = static_cast<int>(width);
    pic.height = static_cast<int>(height);
    pic.pixels.resize(static_cast<size_t>(width * height));
    for (int y = 0; y < pic.height; ++y) {
        const int fileRow = topDown ? y : pic.height - 1 - y;
        const uint8_t* row = file.data() + dataOffset + static_cast<size_t>(fileRow) * stride;
        uint32_t* out = pic.pixels.data() + static_cast<size_t>(y) * pic.width;
        for (int x = 0; x < pic.width; ++x) {
            switch (bitCount) {
            case 1:
                out[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                out[x] = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15];
                break;
            case 8:
                out[x] = palette[row[x]];
                break;
            case 24:
                out[x] = Rgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
                break;
            default:
                out[x] = Rgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
                break;
            }
        }
    }
    return pic;
}

Picture Stretch(const Picture& source, int width, int height)
{
    Picture out;
    if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0)
        return out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        // Sampling at pixel centres reaches both edges of the source.
        const int sy = static_cast<int>((2 * static_cast<int64_t>(y) + 1) * source.height / (2 * int64_t{height}));
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>((2 * static_cast<int64_t>(x) + 1) * source.width / (2 * int64_t{width}));
            out.pixels[static_cast<size_t>(y) * width + x] = source.At(sx, sy);
        }
    }
    return out;
}

} // namespace dib
