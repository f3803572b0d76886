// Reading the sounds of the archive: PCM WAV files in the canonical 44-byte
// header layout.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct WaveData {
    std::vector<uint8_t> bytes;  // a private copy of the sample data
    uint16_t channels = 0;
    uint32_t sampleRate = 0;      // Hz
    uint16_t bitsPerSample = 0;
    uint32_t sampleCount = 0;     // data size / (bits / 8)
};

// Fills `out` from a file in the canonical layout: "RIFF" at 0, "WAVEfmt " at
// 8, channels at 22, rate at 24, bits at 34, "data" at 36, its size at 40 and
// the samples from 44. False on any mismatch, on data running past the end
// of the file, and on fewer than 8 bits per sample (whose sample count would
// divide by zero). The format itself is judged by whoever plays it.
bool ParseWave(std::span<const uint8_t> file, WaveData& out);

// Why the mixer cannot play a file ParseWave reads, in words for a warning
// ("24-bit samples", "mu-law compression", ...); empty when it can: 8- or
// 16-bit integer PCM with one or two channels. A file ParseWave refuses gets
// "not a PCM WAV file in the canonical layout".
std::string WaveProblem(std::span<const uint8_t> file);
