// Canonical 8-bit mono WAV writer and reader.
#include "bake/wav.h"

#include <cmath>
#include <cstring>

#include "bake/noise.h"

namespace bake {

namespace {

void Put(Bytes& b, const char* tag)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(tag[i]));
}
void Put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
uint32_t Get32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint32_t Get16(const Bytes& b, size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; }

}  // namespace

Bytes EncodeWav8(const std::vector<float>& samples, uint32_t ditherSeed)
{
    const uint32_t n = uint32_t(samples.size());
    Bytes b;
    Put(b, "RIFF");
    Put32(b, 36 + n);
    Put(b, "WAVE");
    Put(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, 1);  // mono
    Put32(b, uint32_t(kSampleRate));
    Put32(b, uint32_t(kSampleRate));  // bytes per second
    Put16(b, 1);                      // block align
    Put16(b, 8);                      // bits
    Put(b, "data");
    Put32(b, n);
    Rng rng(ditherSeed);
    for (float s : samples) {
        const double dither = (rng.Uniform() - rng.Uniform()) * 0.5;
        double v = 128.0 + double(s) * 127.0 + dither;
        v = std::floor(v + 0.5);
        if (v < 0)
            v = 0;
        if (v > 255)
            v = 255;
        b.push_back(uint8_t(v));
    }
    return b;
}

bool DecodeWav8(const Bytes& b, std::vector<float>& samples, uint32_t& rate)
{
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVEfmt ", 8) != 0 ||
        std::memcmp(b.data() + 36, "data", 4) != 0)
        return false;
    if (Get16(b, 22) != 1 || Get16(b, 34) != 8 || Get32(b, 4) != b.size() - 8)
        return false;
    const uint32_t n = Get32(b, 40);
    if (size_t(n) + 44 != b.size())
        return false;
    rate = Get32(b, 24);
    samples.resize(n);
    for (uint32_t i = 0; i < n; ++i)
        samples[i] = (float(b[44 + i]) - 128.0f) / 127.0f;
    return true;
}

}  // namespace bake
