// The sound system: its conversions and WAV reader, the no-system and
// no-device behaviour, the arithmetic it hands DirectSound, and what is
// finally heard, read back from SDL's disk driver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "creatures/sound_system.h"
#include "creatures/sound_wave.h"
#include "sound_test_util.h"

namespace {

using soundtest::Attenuated;
using soundtest::Plateaus;
using vmath::Vec3;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr int kFull = 24576;  // an 8-bit sample of 224, converted
constexpr size_t kPhase = 3000;

// How long the device ran before the first sound is up to the machine.
std::vector<int> AfterSilence(std::vector<int> levels)
{
    if (!levels.empty() && levels.front() == 0)
        levels.erase(levels.begin());
    return levels;
}

TEST(SoundConversions, VolumeAndPanLaws)
{
    const std::pair<float, LONG> volumes[] = {{1.0f, 0},        {0.5f, -602},    {0.1f, -2000},  {0.0001f, -8000},
                                              {0.00001f, -10000}, {0.0f, -10000}, {-1.0f, -10000}, {2.0f, 0},
                                              {kNaN, -10000}};
    for (const auto& [x, expected] : volumes)
        EXPECT_EQ(VolumeToDirectSound(x), expected) << x;
    const std::pair<float, LONG> pans[] = {{0.0f, 0},     {0.5f, 602},  {-0.5f, -602}, {1.0f, 7999},
                                           {-1.0f, -7999}, {50.0f, 7999}, {kNaN, 0}};
    for (const auto& [x, expected] : pans)
        EXPECT_EQ(PanToDirectSound(x), expected) << x;
}

TEST(ParseWave, ReadsTheCanonicalLayout)
{
    const auto file = soundtest::MakeWave(2, 22050, 16, {1, 2, 3, 4, 5, 6, 7});
    WaveData w;
    ASSERT_TRUE(ParseWave(file, w));
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 22050u);
    EXPECT_EQ(w.bitsPerSample, 16);
    EXPECT_EQ(w.sampleCount, 3u) << "7 bytes of 16-bit samples";
    EXPECT_EQ(w.bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));

    // Extra bytes after the data are allowed.
    auto longer = soundtest::Wave8({9, 9});
    longer.push_back(0);
    EXPECT_TRUE(ParseWave(longer, w));
    EXPECT_EQ(w.sampleCount, 2u);
}

TEST(ParseWave, RefusesEveryMalformedHeader)
{
    const auto good = soundtest::Wave8(std::vector<uint8_t>(10, 128));
    WaveData w;
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(ParseWave(std::span(good.data(), n), w)) << "truncated to " << n;

    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        auto f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
        return f;
    };
    EXPECT_FALSE(ParseWave(patched(0, {'R', 'I', 'F', 'X'}), w));
    EXPECT_FALSE(ParseWave(patched(8, {'W', 'A', 'V', 'E', 'f', 'm', 't', '_'}), w));
    EXPECT_FALSE(ParseWave(patched(36, {'L', 'I', 'S', 'T'}), w));
    EXPECT_FALSE(ParseWave(patched(40, {11, 0, 0, 0}), w)) << "data one past the end";
    EXPECT_FALSE(ParseWave(patched(40, {0xF0, 0xFF, 0xFF, 0xFF}), w)) << "a size that wraps 32 bits";
    EXPECT_FALSE(ParseWave(patched(34, {0, 0}), w)) << "0 bits";
    EXPECT_FALSE(ParseWave(patched(34, {4, 0}), w)) << "4 bits";
}

TEST(WaveProblem, NamesWhatTheMixerCannotPlay)
{
    auto tagged = [](uint16_t tag, uint16_t bits) {
        auto f = soundtest::MakeWave(1, 8000, bits, std::vector<uint8_t>(12, 0));
        f[20] = static_cast<uint8_t>(tag);
        f[21] = static_cast<uint8_t>(tag >> 8);
        return f;
    };
    EXPECT_EQ(WaveProblem(tagged(1, 8)), "");
    EXPECT_EQ(WaveProblem(tagged(1, 16)), "");
    EXPECT_EQ(WaveProblem(tagged(1, 24)), "24-bit samples");
    EXPECT_EQ(WaveProblem(tagged(3, 32)), "floating-point samples");
    EXPECT_EQ(WaveProblem(tagged(0x11, 8)), "IMA-ADPCM compression");
    EXPECT_EQ(WaveProblem(tagged(7, 8)), "mu-law compression");
    EXPECT_EQ(WaveProblem(std::vector<uint8_t>(10, 0)), "not a PCM WAV file in the canonical layout");
}

TEST(SoundWithoutSystem, EveryFunctionIsANoOp)
{
    ASSERT_EQ(GetSoundSystem(), nullptr);
    EXPECT_EQ(SoundCreateVoice("sound/wind8bit.wav"), -1);
    EXPECT_EQ(SoundIsPlaying(0), 0);
    EXPECT_EQ(SoundSetVoice(0, 1, 0, 1), 0);
    EXPECT_EQ(SoundSetVoice3D(0, 1, Vec3{}, Vec3{}), 0);
    EXPECT_EQ(SoundPlay(0, 0, 1), 0);
    EXPECT_EQ(SoundSetMasterVolume(0.5f), 0);
    EXPECT_EQ(SoundUpdate(), 0);
    EXPECT_EQ(SoundSetListener(Vec3{}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, 8000, 0.5f), 0);
    EXPECT_EQ(SoundShutdown(), 0);
    EXPECT_EQ(SoundShutdown(), 0);
    EXPECT_EQ(GetSoundSystem(), nullptr);
}

TEST(SoundWithoutDevice, StaysInertButKeepsItsSettings)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(SoundInit(nullptr), 0);
    CSoundSystem* system = GetSoundSystem();
    ASSERT_NE(system, nullptr);
    EXPECT_FALSE(system->Initialised());
    EXPECT_EQ(SoundCreateVoice("sound/dc.wav"), -1);
    EXPECT_EQ(SoundSetMasterVolume(0.25f), 1);
    EXPECT_EQ(system->MasterVolume(), 0.25f);
    EXPECT_EQ(SoundSetListener(Vec3{1, 2, 3}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, 8000, 0.5f), 1);
    EXPECT_EQ(system->ListenerPosition().z, 3.0f);
    EXPECT_EQ(SoundPlay(0, 0, 0), 0);
    EXPECT_EQ(SoundUpdate(), 0);
    EXPECT_EQ(SoundShutdown(), 1);
    EXPECT_EQ(GetSoundSystem(), nullptr);
}

class SoundSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<uint8_t> square;
        for (int period = 0; period < 40; ++period) {
            square.insert(square.end(), 25, 255);
            square.insert(square.end(), 25, 1);
        }
        auto wave = [](uint16_t ch, uint32_t rate, uint16_t bits) {
            return soundtest::MakeWave(ch, rate, bits, std::vector<uint8_t>(64, 128));
        };
        auto truncated = soundtest::DcWave8(100);
        truncated.resize(30);
        auto pastEnd = soundtest::DcWave8(100);
        pastEnd[41] = 1;  // 356 bytes claimed
        m_archive = soundtest::BuildArchive({
            {"sound/dc.wav", soundtest::DcWave8(2000)},
            {"sound/short.wav", soundtest::DcWave8(100)},
            {"sound/long.wav", soundtest::DcWave8(40000)},
            {"sound/square.wav", soundtest::Wave8(square)},
            {"bad/truncated.wav", truncated},
            {"bad/pastend.wav", pastEnd},
            {"bad/text.wav", {'h', 'e', 'l', 'l', 'o'}},
            {"bad/empty.wav", soundtest::Wave8({})},
            {"bad/channels0.wav", wave(0, 11025, 8)},
            {"bad/bits0.wav", wave(1, 11025, 0)},
            {"bad/bits4.wav", wave(1, 11025, 4)},
            {"bad/rate5.wav", wave(1, 5, 8)},
            {"bad/rate1e9.wav", wave(1, 1000000000, 8)},
        });
        ASSERT_TRUE(OpenResourceArchive(m_archive));
        ASSERT_EQ(SoundInit(nullptr), 1);
        m_system = GetSoundSystem();
        ASSERT_NE(m_system, nullptr);
    }
    void TearDown() override
    {
        SoundShutdown();
        CloseResourceArchive();
    }

    IDirectSoundBuffer* Buffer(int voice) { return m_system->Voice(voice)->sample->Buffer(); }
    LONG Volume(int voice)
    {
        LONG v = 1;
        Buffer(voice)->GetVolume(&v);
        return v;
    }
    LONG Pan(int voice)
    {
        LONG v = 1;
        Buffer(voice)->GetPan(&v);
        return v;
    }
    DWORD Frequency(int voice)
    {
        DWORD v = 0;
        Buffer(voice)->GetFrequency(&v);
        return v;
    }
    // Ends the run and returns what was heard.
    // What the device played up to now. The silence it goes on writing
    // while the sound system shuts down is left out: how long that lasts is
    // up to the machine, and a loaded one makes it long enough to count as
    // a level of its own.
    std::vector<int16_t> Finish()
    {
        const size_t heard = m_disk.FileBytes() / sizeof(int16_t);
        SoundShutdown();
        std::vector<int16_t> pcm = m_disk.Read();
        if (pcm.size() > heard)
            pcm.resize(heard);
        return pcm;
    }

    soundtest::DiskAudio m_disk;  // first: the environment is set before SoundInit
    std::vector<uint8_t> m_archive;
    CSoundSystem* m_system = nullptr;
};

TEST_F(SoundSystemTest, VoicesShareOneSampleAndBadFilesChangeNothing)
{
    EXPECT_EQ(SoundCreateVoice("sound/dc.wav"), 0);
    EXPECT_EQ(SoundCreateVoice("sound/dc.wav"), 1);
    EXPECT_EQ(m_system->SampleCount(), 1u) << "loaded once";
    for (const char* bad : {"bad/truncated.wav", "bad/pastend.wav", "bad/text.wav", "bad/empty.wav",
                            "bad/channels0.wav", "bad/bits0.wav", "bad/bits4.wav", "bad/rate5.wav", "bad/rate1e9.wav",
                            "sound/missing.wav"}) {
        EXPECT_EQ(SoundCreateVoice(bad), -1) << bad;
        EXPECT_EQ(m_system->SampleCount(), 1u) << bad;
        EXPECT_EQ(m_system->VoiceCount(), 2u) << bad;
    }
    EXPECT_EQ(SoundCreateVoice("sound/short.wav"), 2) << "handles count on";
    EXPECT_EQ(Frequency(2), 11025u);
}

TEST_F(SoundSystemTest, BadHandlesDoNothing)
{
    ASSERT_EQ(SoundCreateVoice("sound/dc.wav"), 0);
    for (int h : {-1, 1, 1000, std::numeric_limits<int>::min()}) {
        EXPECT_EQ(SoundIsPlaying(h), 0) << h;
        EXPECT_EQ(SoundSetVoice(h, 1, 0, 1), 0) << h;
        EXPECT_EQ(SoundSetVoice3D(h, 1, Vec3{}, Vec3{}), 0) << h;
        EXPECT_EQ(SoundPlay(h, 0, 1), 0) << h;
    }
    EXPECT_EQ(m_system->VoiceCount(), 1u);
    EXPECT_EQ(m_system->Voice(0)->volume, 0.0001f) << "voice 0 untouched";
}

TEST_F(SoundSystemTest, PlainVoicesApplyVolumePanAndFrequency)
{
    const int v = SoundCreateVoice("sound/dc.wav");
    // Never set: the default volume of 0.0001.
    EXPECT_EQ(SoundPlay(v, 0, 1), 1);
    EXPECT_EQ(Volume(v), -8000);
    EXPECT_EQ(SoundIsPlaying(v), 1);

    // Stored now, applied at the next update.
    EXPECT_EQ(SoundSetVoice(v, 0.5f, -0.5f, 2.0f), 1);
    EXPECT_EQ(Volume(v), -8000);
    EXPECT_EQ(SoundUpdate(), 1);
    EXPECT_EQ(Volume(v), -602);
    EXPECT_EQ(Pan(v), -602);
    EXPECT_EQ(Frequency(v), 22050u);

    EXPECT_EQ(SoundSetMasterVolume(0.5f), 1);
    EXPECT_EQ(Volume(v), -1204) << "master x voice";
    SoundSetMasterVolume(1.5f);
    EXPECT_EQ(m_system->MasterVolume(), 1.0f);
    SoundSetMasterVolume(-1.0f);
    EXPECT_EQ(m_system->MasterVolume(), 0.0f);
    EXPECT_EQ(Volume(v), -10000);
    EXPECT_EQ(SoundIsPlaying(v), 1) << "silent, not stopped";
    SoundSetMasterVolume(1.0f);

    // Absurd factors stay inside what the buffer accepts.
    SoundSetVoice(v, 1, 0, 0.0f);
    SoundUpdate();
    EXPECT_EQ(Frequency(v), static_cast<DWORD>(DSBFREQUENCY_MIN)) << "0 must not mean 'original'";
    SoundSetVoice(v, 1, 0, 1e30f);
    SoundUpdate();
    EXPECT_EQ(Frequency(v), static_cast<DWORD>(DSBFREQUENCY_MAX));

    // Volume 0: a playing voice stops at the next update; a stopped one
    // does not start.
    SoundSetVoice(v, 0.0f, 0, 1);
    EXPECT_EQ(SoundIsPlaying(v), 1);
    SoundUpdate();
    EXPECT_EQ(SoundIsPlaying(v), 0);
    EXPECT_EQ(SoundPlay(v, 0, 1), 0);
    SoundSetVoice(v, kNaN, kNaN, kNaN);
    EXPECT_EQ(SoundPlay(v, 0, 1), 0) << "NaN volume";
    EXPECT_EQ(SoundIsPlaying(v), 0);
}

TEST_F(SoundSystemTest, PositionalVoicesFollowTheListener)
{
    SoundSetListener(Vec3{0, 0, 0}, Vec3{0, 3, 0}, Vec3{0, 0, 2}, 100, 0.5f);
    EXPECT_EQ(m_system->ListenerSide().x, 1.0f) << "forward +y, up +z: side +x";
    EXPECT_EQ(m_system->ListenerForward().y, 1.0f);

    const int v = SoundCreateVoice("sound/dc.wav");
    SoundSetVoice3D(v, 1, Vec3{200, 0, 0}, Vec3{});
    EXPECT_EQ(SoundPlay(v, 1, 1), 1) << "out of range still plays";
    EXPECT_EQ(Volume(v), -10000);

    // 50 units to the right: f = 0.5, g = 0.125, pan = 0.875.
    SoundSetListener(Vec3{150, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, 100, 0.5f);
    SoundUpdate();
    EXPECT_EQ(Volume(v), -1806);
    EXPECT_EQ(Pan(v), 1806);
    EXPECT_EQ(Frequency(v), 11025u);

    // Straight ahead: centred. Moving away at half the speed: half the pitch;
    // approaching fast: capped at twice.
    SoundSetVoice3D(v, 1, Vec3{150, 50, 0}, Vec3{0, 0.25f, 0});
    SoundUpdate();
    EXPECT_EQ(Pan(v), 0);
    EXPECT_EQ(Frequency(v), 5512u);
    SoundSetVoice3D(v, 1, Vec3{150, 50, 0}, Vec3{0, -100, 0});
    SoundUpdate();
    EXPECT_EQ(Frequency(v), 22050u);

    // At the listener: full volume, centred, pitch unchanged.
    SoundSetVoice3D(v, 1, Vec3{150, 0, 0}, Vec3{5, 5, 5});
    SoundUpdate();
    EXPECT_EQ(Volume(v), 0);
    EXPECT_EQ(Pan(v), 0);
    EXPECT_EQ(Frequency(v), 11025u);

    // Degenerate listeners: no NaN reaches the buffer.
    SoundSetListener(Vec3{}, Vec3{0, 0, 1}, Vec3{0, 0, 1}, 0, -3);
    EXPECT_EQ(m_system->Range(), 1e-10f);
    EXPECT_EQ(m_system->Speed(), 1e-10f);
    SoundSetVoice3D(v, 1, Vec3{kNaN, 0, 0}, Vec3{});
    SoundUpdate();
    EXPECT_EQ(Volume(v), -10000);
    EXPECT_EQ(Pan(v), 0);
}

TEST_F(SoundSystemTest, InitTwiceKeepsTheOpenDevice)
{
    IDirectSound* first = m_system->DirectSound();
    const int v = SoundCreateVoice("sound/dc.wav");
    EXPECT_EQ(SoundInit(nullptr), 1);
    EXPECT_EQ(m_system->DirectSound(), first);
    SoundSetVoice(v, 1, 0, 1);
    EXPECT_EQ(SoundPlay(v, 0, 0), 1);
}

// ------------------------------------------------- heard through the device

TEST_F(SoundSystemTest, HeardVolumeFollowsTheLaws)
{
    const int a = SoundCreateVoice("sound/dc.wav");
    m_disk.WaitFrames(kPhase);
    SoundSetVoice(a, 1.0f, 0, 1);
    SoundPlay(a, 0, 1);
    m_disk.WaitFrames(kPhase);
    SoundSetVoice(a, 0.5f, 0, 1);
    SoundUpdate();
    m_disk.WaitFrames(kPhase);
    SoundSetVoice(a, 0.1f, 0, 1);
    SoundUpdate();
    m_disk.WaitFrames(kPhase);
    SoundSetVoice(a, 0.0f, 0, 1);
    SoundUpdate();
    const int b = SoundCreateVoice("sound/dc.wav");
    SoundPlay(b, 0, 1);  // the default volume, 0.0001
    m_disk.WaitFrames(kPhase);
    SoundSetMasterVolume(-1.0f);
    m_disk.WaitFrames(kPhase);
    EXPECT_EQ(SoundIsPlaying(b), 1);

    const auto levels = Plateaus(Finish(), 0);
    const std::vector<double> expected = {0, kFull, Attenuated(kFull, -602), Attenuated(kFull, -2000),
                                          Attenuated(kFull, -8000), 0};
    ASSERT_EQ(levels.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(levels[i], expected[i], 1.0) << i;
}

TEST_F(SoundSystemTest, HeardPanFollowsTheLaws)
{
    const int a = SoundCreateVoice("sound/dc.wav");
    m_disk.WaitFrames(kPhase);
    for (float pan : {0.5f, -0.5f, 1.0f}) {
        SoundSetVoice(a, 1, pan, 1);
        SoundPlay(a, 0, 1);
        m_disk.WaitFrames(kPhase);
    }
    const auto pcm = Finish();
    const auto left = Plateaus(pcm, 0);
    const auto right = Plateaus(pcm, 1);
    const std::vector<double> expectLeft = {0, Attenuated(kFull, -602), kFull, Attenuated(kFull, -7999)};
    const std::vector<double> expectRight = {0, kFull, Attenuated(kFull, -602), kFull};
    ASSERT_EQ(left.size(), expectLeft.size());
    ASSERT_EQ(right.size(), expectRight.size());
    for (size_t i = 0; i < expectLeft.size(); ++i) {
        EXPECT_NEAR(left[i], expectLeft[i], 1.0) << i;
        EXPECT_NEAR(right[i], expectRight[i], 1.0) << i;
    }
}

TEST_F(SoundSystemTest, TwoVoicesOfOneFileOverlap)
{
    const int a = SoundCreateVoice("sound/dc.wav");
    const int b = SoundCreateVoice("sound/dc.wav");
    SoundSetVoice(a, 0.5f, 0, 1);
    SoundSetVoice(b, 0.5f, 0, 1);
    SoundPlay(a, 0, 1);
    m_disk.WaitFrames(kPhase);
    SoundPlay(b, 0, 1);
    m_disk.WaitFrames(kPhase);
    const auto levels = AfterSilence(Plateaus(Finish(), 0));
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_NEAR(levels[0], Attenuated(kFull, -602), 1.0);
    EXPECT_NEAR(levels[1], 2 * Attenuated(kFull, -602), 2.0);
}

TEST_F(SoundSystemTest, LoopsOfOneFileDoNotPlayInStep)
{
    // Played in the same instant, as every pterodactyl starts its wind: the
    // two loops must not start on the same frame, and a one-shot still plays
    // from its start. At the lowest frequency the heads move by a few hundred
    // frames a second, so a stall between the reads barely shows.
    const int a = SoundCreateVoice("sound/long.wav");
    const int b = SoundCreateVoice("sound/long.wav");
    const int once = SoundCreateVoice("sound/long.wav");
    for (int v : {a, b, once}) {
        SoundSetVoice(v, 1, 0, 0.0f);
        SoundPlay(v, 0, v != once);
    }
    DWORD at[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Buffer(i)->GetCurrentPosition(&at[i], nullptr), DS_OK);
    constexpr DWORD kFrames = 40000;
    auto apart = [](DWORD from, DWORD to) { return (to + kFrames - from) % kFrames; };
    const DWORD loops = apart(at[a], at[b]);
    EXPECT_GT(loops, kFrames / 4) << "the second loop starts " << loops << " frames after the first";
    EXPECT_LT(loops, kFrames * 3 / 4);
    const DWORD shot = apart(at[a], at[once]);
    EXPECT_TRUE(shot < 2000 || shot > kFrames - 2000) << "the one-shot is " << shot << " frames from the first loop";
}

TEST_F(SoundSystemTest, FrequencyChangesThePitch)
{
    const int v = SoundCreateVoice("sound/square.wav");
    SoundSetVoice(v, 1, 0, 1);
    SoundPlay(v, 0, 1);
    m_disk.WaitFrames(2 * kPhase);
    SoundSetVoice(v, 1, 0, 2);
    SoundUpdate();
    m_disk.WaitFrames(2 * kPhase);
    const auto pcm = Finish();

    // Half periods between sign changes: 25 samples at 11,025 Hz are 100
    // output frames, then 50 at twice the frequency.
    std::vector<size_t> halves;
    size_t last = 0;
    for (size_t i = 1; i < pcm.size() / 2; ++i) {
        if ((pcm[2 * i] >= 0) != (pcm[2 * (i - 1)] >= 0)) {
            if (last)
                halves.push_back(i - last);
            last = i;
        }
    }
    size_t slow = 0, fast = 0, lastSlow = 0, firstFast = halves.size();
    for (size_t i = 0; i < halves.size(); ++i) {
        if (halves[i] >= 99 && halves[i] <= 101) {
            ++slow;
            lastSlow = i;
        } else if (halves[i] >= 49 && halves[i] <= 51) {
            ++fast;
            firstFast = std::min(firstFast, i);
        }
    }
    EXPECT_GE(slow, 40u);
    EXPECT_GE(fast, 80u);
    EXPECT_LT(lastSlow, firstFast) << "the pitch rises once, when asked";
}

TEST_F(SoundSystemTest, LoopingVoiceHasNoGapAtTheLoopPoint)
{
    // 100 samples loop every ~400 output frames.
    const int v = SoundCreateVoice("sound/short.wav");
    SoundSetVoice(v, 1, 0, 1);
    SoundPlay(v, 0, 1);
    m_disk.WaitFrames(2 * kPhase);
    const auto pcm = Finish();
    size_t first = 0, last = 0;
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        if (pcm[2 * i] == kFull) {
            if (!first)
                first = i;
            last = i;
        }
    }
    ASSERT_GT(last - first, 2 * kPhase) << "many loops were heard";
    for (size_t i = first; i <= last; ++i)
        ASSERT_EQ(pcm[2 * i], kFull) << "frame " << i;
}

TEST_F(SoundSystemTest, VolumeZeroFallsSilentAtTheNextUpdate)
{
    const int v = SoundCreateVoice("sound/dc.wav");
    SoundSetVoice(v, 1, 0, 1);
    SoundPlay(v, 0, 1);
    m_disk.WaitFrames(kPhase);
    SoundSetVoice(v, 0, 0, 1);
    m_disk.WaitFrames(kPhase);  // stored only: still heard
    SoundUpdate();
    m_disk.WaitFrames(kPhase);
    EXPECT_EQ(SoundIsPlaying(v), 0);
    EXPECT_EQ(AfterSilence(Plateaus(Finish(), 0)), (std::vector<int>{kFull, 0}));
}

TEST_F(SoundSystemTest, DistantVoiceIsSilentUntilTheListenerApproaches)
{
    SoundSetListener(Vec3{}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, 100, 0.5f);
    const int v = SoundCreateVoice("sound/dc.wav");
    SoundSetVoice3D(v, 1, Vec3{200, 0, 0}, Vec3{});
    SoundPlay(v, 1, 1);
    m_disk.WaitFrames(kPhase);
    SoundSetListener(Vec3{150, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, 100, 0.5f);
    SoundUpdate();
    m_disk.WaitFrames(kPhase);
    const auto pcm = Finish();
    const auto left = Plateaus(pcm, 0);
    const auto right = Plateaus(pcm, 1);
    ASSERT_EQ(left.size(), 2u);
    ASSERT_EQ(right.size(), 2u);
    EXPECT_EQ(left[0], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_NEAR(left[1], Attenuated(kFull, -1806 - 1806), 1.0) << "far side: volume and pan";
    EXPECT_NEAR(right[1], Attenuated(kFull, -1806), 1.0);
}

}  // namespace
