// Helpers shared by the sound tests: WAV files built in memory, a tiny
// stored archive, SDL's disk audio driver and reading its output back.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "../support/test_zip.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace soundtest {

// A canonical 44-byte-header WAV file around `data`.
inline std::vector<uint8_t> MakeWave(uint16_t channels, uint32_t rate, uint16_t bits, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> w(44);
    auto put16 = [&](size_t at, uint32_t v) {
        w[at] = static_cast<uint8_t>(v);
        w[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    std::memcpy(&w[0], "RIFF", 4);
    put32(4, static_cast<uint32_t>(36 + data.size()));
    std::memcpy(&w[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, channels);
    put32(24, rate);
    const uint32_t align = channels * bits / 8u;
    put32(28, rate * align);
    put16(32, align);
    put16(34, bits);
    std::memcpy(&w[36], "data", 4);
    put32(40, static_cast<uint32_t>(data.size()));
    w.resize(44 + data.size());
    if (!data.empty())
        std::memcpy(&w[44], data.data(), data.size());
    return w;
}

// 8-bit mono at 11,025 Hz, like the archive's sounds.
inline std::vector<uint8_t> Wave8(const std::vector<uint8_t>& samples) { return MakeWave(1, 11025, 8, samples); }

// Every sample at `value` (224: +96 x 256 = 24576 after conversion, below
// the mixer's limiter).
inline std::vector<uint8_t> DcWave8(size_t count, uint8_t value = 224)
{
    return Wave8(std::vector<uint8_t>(count, value));
}

inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// A stored ZIP with the given members, as bytes.
inline std::vector<uint8_t> BuildArchive(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members)
{
    return testzip::Build(members);
}

// Points SDL at its disk driver, writing to a file of this test's own.
class DiskAudio {
public:
    DiskAudio()
    {
        static int counter = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = "/tmp/vantor-sound-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
                 (info ? info->name() : "x") + ".raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_path.c_str(), 1);
    }
    ~DiskAudio() { std::remove(m_path.c_str()); }

    size_t FileBytes() const
    {
        struct stat st{};
        return stat(m_path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    }

    // Blocks until the device has written at least `frames` more frames
    // (plus its stdio buffer and a callback's worth of slack), so whatever
    // was changed before the call is heard for at least that long.
    void WaitFrames(size_t frames) const
    {
        const size_t target = FileBytes() + (frames + 4096) * 4;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (FileBytes() < target) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the disk audio device stopped writing";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Interleaved stereo frames; call once the device is closed.
    std::vector<int16_t> Read() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> pcm(raw.size() / 2);
        std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
        return pcm;
    }

private:
    std::string m_path;
};

// The values that one channel holds steadily for at least `minRun` frames,
// in order of appearance (consecutive repeats merged).
inline std::vector<int> Plateaus(const std::vector<int16_t>& pcm, int channel, size_t minRun = 2000)
{
    std::vector<int> levels;
    const size_t frames = pcm.size() / 2;
    size_t start = 0;
    for (size_t i = 1; i <= frames; ++i) {
        if (i < frames && pcm[2 * i + channel] == pcm[2 * start + channel])
            continue;
        const int value = pcm[2 * start + channel];
        if (i - start >= minRun && (levels.empty() || levels.back() != value))
            levels.push_back(value);
        start = i;
    }
    return levels;
}

// What a DirectSound attenuation in hundredths of a decibel makes of `full`.
inline double Attenuated(double full, long hundredthsDb) { return full * std::pow(10.0, hundredthsDb / 2000.0); }

}  // namespace soundtest
