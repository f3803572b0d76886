// 8-bit mono PCM WAV files with the canonical 44-byte header.
#pragma once

#include <cstdint>
#include <vector>

#include "bake/image_io.h"

namespace bake {

constexpr int32_t kSampleRate = 11025;

// Samples in [-1, 1]; values outside are clipped. Quantised to unsigned
// 8-bit with a small triangular dither so quiet tails fade out smoothly
// instead of buzzing on the coarse steps. Deterministic (fixed seed).
Bytes EncodeWav8(const std::vector<float>& samples, uint32_t ditherSeed);

// The samples of an 8-bit mono file back as floats; false unless the file
// has exactly the canonical layout.
bool DecodeWav8(const Bytes& bytes, std::vector<float>& samples, uint32_t& rate);

}  // namespace bake
