// Images in memory and the encoders the archive's formats need: JPEG
// (libjpeg), PNG (libpng; RGB, RGBA or palettised), TGA (8-bit grey or
// 32-bit BGRA) and BMP (24-bit or 8-bit palettised).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bake {

// Row 0 is the top of the picture. Channels: 1 (grey), 3 (RGB) or 4 (RGBA).
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 3;
    std::vector<uint8_t> pixels;

    Image() = default;
    Image(int32_t w, int32_t h, int32_t c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c, 0) {}
    uint8_t* At(int32_t x, int32_t y) { return &pixels[(size_t(y) * width + x) * channels]; }
    const uint8_t* At(int32_t x, int32_t y) const { return &pixels[(size_t(y) * width + x) * channels]; }
    void Set(int32_t x, int32_t y, float r, float g, float b);  // 0..1, clamped
};

// An 8-bit palettised picture: one index per pixel and up to 256 RGB entries.
struct IndexedImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> indices;
    std::vector<uint8_t> palette;  // RGB triples
};

using Bytes = std::vector<uint8_t>;

Bytes EncodeJpeg(const Image& image, int quality);
Bytes EncodePng(const Image& image);
Bytes EncodePngIndexed(const IndexedImage& image);
Bytes EncodeTga(const Image& image);  // 1 channel: type 3 grey; 4: 32-bit BGRA
Bytes EncodeBmp24(const Image& image);
Bytes EncodeBmp8(const IndexedImage& image);
// A Windows icon file from an RGBA picture: one 32-bit image per size in
// `sizes` (scaled with an area filter), and `png` (the PNG encoding of the
// picture itself, 256 x 256 at most) stored as the last, largest image.
Bytes EncodeIco(const Image& rgba, const std::vector<int32_t>& sizes, const Bytes& png);

// Reduces an RGB picture to 256 colours (median cut, then nearest colour).
IndexedImage Quantize(const Image& rgb);

// Decoders used by the self-checks and tests.
bool DecodePng(const Bytes& bytes, Image& out);
bool DecodeJpeg(const Bytes& bytes, Image& out);

bool WriteFile(const std::string& path, const Bytes& bytes);
bool ReadFile(const std::string& path, Bytes& bytes);

// Shrinks by an integer factor (box filter); used for the small previews.
Image Downsample(const Image& image, int32_t factor);
// Scales to any smaller size: each output pixel is the area-weighted mean of
// the source pixels it covers, colours weighted by alpha when there is one.
Image Shrink(const Image& image, int32_t width, int32_t height);
Image ToRgb(const Image& image);

}  // namespace bake
