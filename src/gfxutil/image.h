// Decoded images: 0xAARRGGBB texels, row 0 at the top. The decoders read
// untrusted bytes: any truncation, inconsistency or unsupported variant
// makes them return false, and they never read outside the input.
#pragma once

#include <d3d8.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct DecodedImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<uint32_t> texels;
    D3DFORMAT sourceFormat = D3DFMT_UNKNOWN;  // what the file holds (P8, L8, R8G8B8, ...)
    DWORD fileFormat = 0;                     // D3DXIFF_*
};

// The largest image accepted: absurd dimensions are refused before any
// allocation.
constexpr UINT kMaxImageSide = 16384;
constexpr uint64_t kMaxImagePixels = 64ull << 20;
bool ImageSizeAcceptable(uint64_t w, uint64_t h);

bool DecodeBmp(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeTga(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out);

// Any of the four, recognised by content.
bool DecodeImage(const uint8_t* data, size_t size, DecodedImage* out);

// The format DecodeImage would pick for these bytes: "PNG", "JPEG", "BMP" or
// "TGA" (the format without a signature, so anything else).
const char* ImageKind(const uint8_t* data, size_t size);

// The picture size the file's header states, read without decoding; false
// when the header is too short or malformed to say.
bool ImageHeaderSize(const uint8_t* data, size_t size, UINT* width, UINT* height);

// Resamples with a triangle (tent) filter whose radius is one destination
// texel, wrapping at the edges; a 2:1 reduction weighs 1/8, 3/8, 3/8, 1/8.
std::vector<uint32_t> ResampleTriangle(const std::vector<uint32_t>& src, UINT sw, UINT sh, UINT dw, UINT dh);
