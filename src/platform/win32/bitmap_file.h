// The parts of a BMP file, for the picture window: it draws the file with
// the system's DIB calls, after checking that every part lies inside the
// bytes it was given.
#pragma once

#include <cstdint>
#include <span>

namespace os::win32 {

// Where the parts of a BMP file lie: the info block (a BITMAPINFO: header,
// masks and colours; not aligned, copy it before use) and the pixel rows,
// both inside the file's bytes.
struct DibView {
    std::span<const uint8_t> info;
    std::span<const uint8_t> bits;
    int width = 0;
    int height = 0;  // always positive; the rows' order is in the header
};

// False when the bytes are not a complete uncompressed BMP file.
bool ViewBitmapFile(std::span<const uint8_t> file, DibView& view);

} // namespace os::win32
