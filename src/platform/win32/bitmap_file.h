// BMP files and the bitmap resources of an executable.
//
// A BITMAP resource is a BMP file without its 14-byte file header. The shell
// hands BMP files around on every platform, so the header is rebuilt here;
// and the picture window draws a BMP file with the system's DIB calls, after
// checking that every part of it lies inside the bytes it was given.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace os::win32 {

// The BMP file whose pixel data a BITMAP resource holds; empty when the
// resource is cut short or names a layout this program does not draw.
std::vector<uint8_t> BitmapFileFromResource(std::span<const uint8_t> resource);

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
