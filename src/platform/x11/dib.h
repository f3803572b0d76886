// Decoding of uncompressed BMP files (1, 4, 8, 24 and 32 bits per pixel)
// into 0x00RRGGBB pixels, and the stretch that fits a picture to a window.
// The bytes come from outside the program and are checked throughout.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dib {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, rows top to bottom
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Empty when the bytes are not a BMP file this decoder takes, or are cut short.
std::optional<Picture> Decode(std::span<const uint8_t> file);

// Nearest-neighbour scaling to exactly `width` x `height`, so that the whole
// picture fills the area; empty for a non-positive size.
Picture Stretch(const Picture& source, int width, int height);

} // namespace dib
