// The fixed-layout WAV reader.
#include "creatures/sound_wave.h"

#include <cstring>

namespace {

constexpr size_t kHeaderSize = 44;

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool ParseWave(std::span<const uint8_t> file, WaveData& out)
{
    if (file.size() < kHeaderSize)
        return false;
    const uint8_t* p = file.data();
    // The RIFF size at 4, the fmt chunk's length at 16 and the format tag at
    // 20 are not read: only the canonical layout is accepted, whatever they say.
    if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVEfmt ", 8) != 0)
        return false;
    const uint16_t channels = ReadU16(p + 22);
    const uint32_t rate = ReadU32(p + 24);
    const uint16_t bits = ReadU16(p + 34);
    if (std::memcmp(p + 36, "data", 4) != 0)
        return false;
    const uint32_t dataSize = ReadU32(p + 40);
    // 64-bit sum: a size near 4 GiB must not wrap around and pass.
    if (static_cast<uint64_t>(dataSize) + kHeaderSize > file.size())
        return false;
    if (bits < 8)
        return false;

    out.channels = channels;
    out.sampleRate = rate;
    out.bitsPerSample = bits;
    out.sampleCount = dataSize / (bits / 8u);
    out.bytes.assign(p + kHeaderSize, p + kHeaderSize + dataSize);
    return true;
}
