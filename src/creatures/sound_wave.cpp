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

std::string WaveProblem(std::span<const uint8_t> file)
{
    WaveData wave;
    if (!ParseWave(file, wave))
        return "not a PCM WAV file in the canonical layout";
    // The format tag at 20; the extensible form keeps its real tag at 44,
    // which the canonical layout puts in the sample data, so it is named
    // as what it is.
    switch (ReadU16(file.data() + 20)) {
    case 1: break;
    case 3: return "floating-point samples";
    case 6: return "A-law compression";
    case 7: return "mu-law compression";
    case 0x11: return "IMA-ADPCM compression";
    case 2: return "MS-ADPCM compression";
    case 0xFFFE: return "extensible format header";
    default: return "compressed format " + std::to_string(ReadU16(file.data() + 20));
    }
    if (wave.bitsPerSample != 8 && wave.bitsPerSample != 16)
        return std::to_string(wave.bitsPerSample) + "-bit samples";
    if (wave.channels != 1 && wave.channels != 2)
        return std::to_string(wave.channels) + " channels";
    if (wave.sampleRate == 0)
        return "a sample rate of 0";
    return {};
}
