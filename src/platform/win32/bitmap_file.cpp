// The parts of a BMP file; see bitmap_file.h.
#include "platform/win32/bitmap_file.h"

#include <cstdlib>

namespace os::win32 {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER; later versions only grow
constexpr uint32_t kRgb = 0;            // BI_RGB
constexpr uint32_t kBitFields = 3;      // BI_BITFIELDS
constexpr int32_t kMaxSide = 32768;

uint32_t U32(std::span<const uint8_t> b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint16_t U16(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// Checks the info block at the start of `info` (header, masks, colours) and
// gives its size and that of the pixel rows; false for anything but an
// uncompressed picture of sane size.
bool CheckInfo(std::span<const uint8_t> info, size_t& infoSize, uint64_t& imageSize, int& width, int& height)
{
    if (info.size() < kInfoHeaderSize)
        return false;
    const uint32_t headerSize = U32(info, 0);
    const auto w = static_cast<int32_t>(U32(info, 4));
    const auto h = static_cast<int32_t>(U32(info, 8));
    const uint16_t planes = U16(info, 12);
    const uint16_t bits = U16(info, 14);
    const uint32_t compression = U32(info, 16);
    const uint32_t colorsUsed = U32(info, 32);
    if (headerSize < kInfoHeaderSize || headerSize > info.size() || planes != 1)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    if (compression != kRgb && !(compression == kBitFields && (bits == 16 || bits == 32)))
        return false;
    if (w <= 0 || w > kMaxSide || h == 0 || h < -kMaxSide || h > kMaxSide)
        return false;
    const uint64_t palette = bits <= 8 ? (1u << bits) : 0;
    if (colorsUsed > (bits <= 8 ? palette : 65536u))
        return false;
    const uint64_t colors = colorsUsed ? colorsUsed : palette;
    const uint64_t masks = (compression == kBitFields && headerSize == kInfoHeaderSize) ? 12 : 0;
    const uint64_t size = uint64_t(headerSize) + masks + colors * 4;
    if (size > info.size())
        return false;
    const uint64_t stride = (uint64_t(w) * bits + 31) / 32 * 4;
    infoSize = static_cast<size_t>(size);
    imageSize = stride * uint64_t(std::abs(h));
    width = w;
    height = std::abs(h);
    return true;
}

} // namespace

bool ViewBitmapFile(std::span<const uint8_t> file, DibView& view)
{
    if (file.size() < kFileHeaderSize || file[0] != 'B' || file[1] != 'M')
        return false;
    const uint32_t offBits = U32(file, 10);
    const std::span<const uint8_t> info = file.subspan(kFileHeaderSize);
    size_t infoSize = 0;
    uint64_t imageSize = 0;
    int w = 0, h = 0;
    if (!CheckInfo(info, infoSize, imageSize, w, h))
        return false;
    if (offBits < kFileHeaderSize + infoSize || uint64_t(offBits) + imageSize > file.size())
        return false;
    view.info = info.first(infoSize);
    view.bits = file.subspan(offBits, static_cast<size_t>(imageSize));
    view.width = w;
    view.height = h;
    return true;
}

} // namespace os::win32
