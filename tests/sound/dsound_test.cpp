// The DirectSound layer: parameter checks, the Lock contract, and the mixed
// output sample by sample (offline objects, whose mix the test pulls), plus
// the real SDL output through the disk driver.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_vantor.h"
#include "sound_test_util.h"

namespace {

constexpr DWORD kAllControls = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
constexpr int kRamp = 128;  // frames a start, stop or gain change takes

WAVEFORMATEX Format(WORD channels, DWORD rate, WORD bits)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    return f;
}

class OfflineSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(VantorDirectSoundCreateOffline(&m_ds), DS_OK);
        ASSERT_EQ(m_ds->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    }
    void TearDown() override
    {
        for (IDirectSoundBuffer* b : m_buffers)
            b->Release();
        if (m_ds)
            m_ds->Release();
    }

    HRESULT TryCreate(const WAVEFORMATEX& format, DWORD bytes, DWORD flags, IDirectSoundBuffer** out)
    {
        WAVEFORMATEX copy = format;
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &copy;
        return m_ds->CreateSoundBuffer(&desc, out, nullptr);
    }

    // A buffer holding `data` (whole buffer), owned by the fixture.
    IDirectSoundBuffer* Create(const WAVEFORMATEX& format, const std::vector<uint8_t>& data, DWORD flags = kAllControls)
    {
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(TryCreate(format, static_cast<DWORD>(data.size()), flags, &b), DS_OK);
        if (!b)
            return nullptr;
        m_buffers.push_back(b);
        void *p1, *p2;
        DWORD n1, n2;
        EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
        std::memcpy(p1, data.data(), n1);
        EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
        return b;
    }
    IDirectSoundBuffer* Mono16(const std::vector<int16_t>& s, DWORD rate = 44100)
    {
        return Create(Format(1, rate, 16), soundtest::Pcm16(s));
    }
    IDirectSoundBuffer* Duplicate(IDirectSoundBuffer* b)
    {
        IDirectSoundBuffer* d = nullptr;
        EXPECT_EQ(m_ds->DuplicateSoundBuffer(b, &d), DS_OK);
        if (d)
            m_buffers.push_back(d);
        return d;
    }

    std::vector<int16_t> Render(size_t frames)
    {
        std::vector<int16_t> out(frames * 2);
        EXPECT_EQ(VantorDirectSoundRender(m_ds, out.data(), static_cast<DWORD>(frames)), DS_OK);
        return out;
    }

    IDirectSound* m_ds = nullptr;
    std::vector<IDirectSoundBuffer*> m_buffers;
};

TEST_F(OfflineSound, CreateSoundBufferRefusesWhatItCannotPlay)
{
    struct Case {
        const char* what;
        WAVEFORMATEX format;
        DWORD bytes;
        DWORD flags;
        HRESULT expected;
    };
    WAVEFORMATEX notPcm = Format(1, 11025, 8);
    notPcm.wFormatTag = 3;
    WAVEFORMATEX badAlign = Format(2, 11025, 16);
    badAlign.nBlockAlign = 2;
    const Case cases[] = {
        {"zero channels", Format(0, 11025, 8), 100, kAllControls, DSERR_BADFORMAT},
        {"three channels", Format(3, 11025, 8), 99, kAllControls, DSERR_BADFORMAT},
        {"0 bits", Format(1, 11025, 0), 100, kAllControls, DSERR_BADFORMAT},
        {"4 bits", Format(1, 11025, 4), 100, kAllControls, DSERR_BADFORMAT},
        {"24 bits", Format(1, 11025, 24), 99, kAllControls, DSERR_BADFORMAT},
        {"rate 5 Hz", Format(1, 5, 8), 100, kAllControls, DSERR_BADFORMAT},
        {"rate 4 GHz", Format(1, 4000000000u, 8), 100, kAllControls, DSERR_BADFORMAT},
        {"not PCM", notPcm, 100, kAllControls, DSERR_BADFORMAT},
        {"block align", badAlign, 100, kAllControls, DSERR_BADFORMAT},
        {"3 bytes", Format(1, 11025, 8), 3, kAllControls, DSERR_INVALIDPARAM},
        {"absurd size", Format(1, 11025, 8), 0xFFFFFFFFu, kAllControls, DSERR_INVALIDPARAM},
        {"primary", Format(1, 11025, 8), 100, DSBCAPS_PRIMARYBUFFER, DSERR_UNSUPPORTED},
    };
    for (const Case& c : cases) {
        IDirectSoundBuffer* b = reinterpret_cast<IDirectSoundBuffer*>(this);  // must be cleared
        EXPECT_EQ(TryCreate(c.format, c.bytes, c.flags, &b), c.expected) << c.what;
        EXPECT_EQ(b, nullptr) << c.what;
    }

    DSBUFFERDESC desc{};
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(m_ds->CreateSoundBuffer(nullptr, &b, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(m_ds->CreateSoundBuffer(&desc, &b, nullptr), DSERR_INVALIDPARAM) << "dwSize 0";

    IDirectSound* fresh = nullptr;
    ASSERT_EQ(VantorDirectSoundCreateOffline(&fresh), DS_OK);
    WAVEFORMATEX f = Format(1, 11025, 8);
    desc.dwSize = sizeof desc;
    desc.dwBufferBytes = 100;
    desc.lpwfxFormat = &f;
    EXPECT_EQ(fresh->CreateSoundBuffer(&desc, &b, nullptr), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(fresh->SetCooperativeLevel(nullptr, 7), DSERR_INVALIDPARAM);
    fresh->Release();
}

TEST_F(OfflineSound, LockFollowsTheTwoRegionContract)
{
    IDirectSoundBuffer* b = Create(Format(1, 11025, 8), std::vector<uint8_t>(1000, 128));
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(900, 300, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 200u);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 900) << "region 2 starts the buffer";
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(b->Lock(10, 20, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 20u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);

    EXPECT_EQ(b->Lock(900, 300, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM) << "wraps with nowhere to go";
    EXPECT_EQ(b->Lock(0, 1001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(1000, 1, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    uint8_t foreign[4];
    EXPECT_EQ(b->Unlock(foreign, 4, nullptr, 0), DSERR_INVALIDPARAM);
}

TEST_F(OfflineSound, ControlsCheckRangesAndCaps)
{
    IDirectSoundBuffer* b = Create(Format(1, 22050, 8), std::vector<uint8_t>(100, 128));
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetPan(10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(100001), DSERR_INVALIDPARAM);
    DWORD hz = 0;
    EXPECT_EQ(b->SetFrequency(30000), DS_OK);
    EXPECT_EQ(b->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    EXPECT_EQ(b->GetFrequency(&hz), DS_OK);
    EXPECT_EQ(hz, 22050u);
    EXPECT_EQ(b->SetCurrentPosition(100), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Play(1, 0, 0), DSERR_INVALIDPARAM);

    IDirectSoundBuffer* plain = Create(Format(1, 22050, 8), std::vector<uint8_t>(100, 128), 0);
    LONG v = 0;
    EXPECT_EQ(plain->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->GetVolume(&v), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetPan(100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetFrequency(8000), DSERR_CONTROLUNAVAIL);
}

TEST_F(OfflineSound, StartFadesInThenHoldsTheSampleValue)
{
    IDirectSoundBuffer* b = Mono16(std::vector<int16_t>(4000, 10000));
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    DWORD status = 0;
    EXPECT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, static_cast<DWORD>(DSBSTATUS_PLAYING));
    const auto out = Render(1000);
    EXPECT_EQ(out[0], 0) << "no step at the start";
    for (int i = 1; i < kRamp; ++i)
        ASSERT_GE(out[2 * i], out[2 * (i - 1)]) << i;
    for (int i = kRamp; i < 1000; ++i) {
        ASSERT_EQ(out[2 * i], 10000) << i;
        ASSERT_EQ(out[2 * i + 1], 10000) << i;
    }
}

TEST_F(OfflineSound, VolumeAndPanFollowTheDecibelLaws)
{
    IDirectSoundBuffer* b = Mono16(std::vector<int16_t>(4000, 20000));
    struct Case {
        LONG volume, pan;
    };
    b->Play(0, 0, DSBPLAY_LOOPING);
    // The far side loses the pan's magnitude; -10000 on either side is silence.
    auto expected = [](LONG db) { return db <= -10000 ? 0.0 : soundtest::Attenuated(20000, db); };
    for (const Case c : {Case{-602, 0}, Case{-2000, 0}, Case{0, 602}, Case{0, -602}, Case{-600, 10000},
                         Case{0, -7999}, Case{-10000, 0}}) {
        b->SetVolume(c.volume);
        b->SetPan(c.pan);
        const auto out = Render(400);
        // After the gain ramp the level is steady.
        EXPECT_NEAR(out[2 * 399], expected(c.volume + std::min<LONG>(0, -c.pan)), 1.0) << c.volume << " " << c.pan;
        EXPECT_NEAR(out[2 * 399 + 1], expected(c.volume + std::min<LONG>(0, c.pan)), 1.0) << c.volume << " " << c.pan;
    }
}

TEST_F(OfflineSound, ConvertsEveryPcmLayout)
{
    // 8-bit unsigned mono, 8-bit stereo, 16-bit stereo, each held steady.
    IDirectSoundBuffer* m8 = Create(Format(1, 44100, 8), std::vector<uint8_t>(2000, 192));
    m8->Play(0, 0, 0);
    auto out = Render(300);
    EXPECT_EQ(out[2 * 299], 64 * 256);
    EXPECT_EQ(out[2 * 299 + 1], 64 * 256);
    m8->Stop();
    Render(300);

    std::vector<uint8_t> s8;
    for (int i = 0; i < 1000; ++i)
        s8.insert(s8.end(), {160, 96});
    IDirectSoundBuffer* st8 = Create(Format(2, 44100, 8), s8);
    st8->Play(0, 0, 0);
    out = Render(300);
    EXPECT_EQ(out[2 * 299], 32 * 256);
    EXPECT_EQ(out[2 * 299 + 1], -32 * 256);
    st8->Stop();
    Render(300);

    std::vector<int16_t> s16;
    for (int i = 0; i < 1000; ++i)
        s16.insert(s16.end(), {1000, -2000});
    IDirectSoundBuffer* st16 = Create(Format(2, 44100, 16), soundtest::Pcm16(s16));
    st16->Play(0, 0, 0);
    out = Render(300);
    EXPECT_EQ(out[2 * 299], 1000);
    EXPECT_EQ(out[2 * 299 + 1], -2000);
}

// Power spectrum of `n` (a power of two) samples of one channel from `at`,
// under a Blackman-Harris window (side lobes 92 dB down, so a tone's own
// leakage stays out of a -60 dB measurement).
std::vector<double> PowerSpectrum(const std::vector<int16_t>& pcm, size_t at, size_t n)
{
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = 2 * M_PI * static_cast<double>(i) / static_cast<double>(n);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        x[i] = w * pcm[2 * (at + i)];
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                const auto a = x[i + k], b = x[i + k + len / 2] * wk;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
    std::vector<double> p(n / 2);
    for (size_t i = 0; i < n / 2; ++i)
        p[i] = std::norm(x[i]);
    return p;
}

TEST_F(OfflineSound, ResamplingLeavesNoImagesAboveTheSourceBand)
{
    // A sine swept from 100 Hz to 5 kHz over three seconds at 11,025 Hz.
    // Every output stretch must hold the tone at its level (up to 4 kHz,
    // where the passband ends) and nothing above the source's 5.5 kHz band
    // within 60 dB of it: the mirror images a plain interpolator leaves
    // there sound as a second, falling sweep.
    constexpr double kRate = 11025, kSeconds = 3, kLow = 100, kHigh = 5000, kLevel = 16000;
    std::vector<int16_t> sweep(static_cast<size_t>(kRate * kSeconds));
    for (size_t i = 0; i < sweep.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double phase = 2 * M_PI * (kLow * t + (kHigh - kLow) * t * t / (2 * kSeconds));
        sweep[i] = static_cast<int16_t>(std::lround(kLevel * std::sin(phase)));
    }
    Mono16(sweep, 11025)->Play(0, 0, 0);
    const auto out = Render(static_cast<size_t>(44100 * kSeconds));

    constexpr size_t kWindow = 4096;
    // What a steady sine at kLevel puts into the window.
    std::vector<int16_t> reference(2 * kWindow);
    for (size_t i = 0; i < kWindow; ++i)
        reference[2 * i] = static_cast<int16_t>(std::lround(kLevel * std::sin(2 * M_PI * 1000 * i / 44100.0)));
    double full = 0;
    for (double v : PowerSpectrum(reference, 0, kWindow))
        full += v;

    const size_t firstImageBin = static_cast<size_t>(5600.0 / 44100 * kWindow);
    double worstImage = -999, worstLoss = 0;
    for (size_t at = 1024; at + kWindow <= out.size() / 2 - 1024; at += kWindow / 2) {
        const auto p = PowerSpectrum(out, at, kWindow);
        double inBand = 0, images = 0;
        for (size_t k = 0; k < p.size(); ++k)
            (k < firstImageBin ? inBand : images) += p[k];
        worstImage = std::max(worstImage, 10 * std::log10(images / full));
        const double toneHz = kLow + (kHigh - kLow) * (static_cast<double>(at + kWindow / 2) / 44100) / kSeconds;
        if (toneHz < 4000)
            worstLoss = std::min(worstLoss, 10 * std::log10(inBand / full));
    }
    EXPECT_LT(worstImage, -60.0) << "dB relative to the tone, above 5.6 kHz";
    EXPECT_GT(worstLoss, -1.0) << "dB the tone itself lost below 4 kHz";
}

TEST_F(OfflineSound, PitchFollowsFrequencySmoothlyAndKeepsThePlayPosition)
{
    // 1 kHz at 11,025 Hz, looped (the loop holds whole cycles). Doubling the
    // frequency doubles the tone; gliding it pass by pass, as the Doppler
    // shift does, keeps the waveform unbroken: the second difference of a
    // sine at up to 1.2 kHz stays far below what any jump or click makes.
    std::vector<int16_t> tone(11025);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(16000 * std::sin(2 * M_PI * 1000 * i / 11025.0)));
    IDirectSoundBuffer* b = Mono16(tone, 11025);
    b->SetFrequency(22050);
    b->Play(0, 0, DSBPLAY_LOOPING);
    auto out = Render(4410);
    int crossings = 0;
    for (size_t k = 2 * 441; k + 1 < out.size() / 2; ++k)
        crossings += (out[2 * k] < 0) != (out[2 * k + 2] < 0);
    EXPECT_NEAR(crossings, 2 * 2000 * (4409 - 882) / 44100.0, 2) << "2 kHz";

    b->SetFrequency(11025);
    Render(2048);
    std::vector<int16_t> glide;
    for (int pass = 0; pass < 60; ++pass) {
        b->SetFrequency(static_cast<DWORD>(11025 * (1.0 + 0.2 * std::sin(pass * 0.4))));
        const auto part = Render(512);
        glide.insert(glide.end(), part.begin(), part.end());
    }
    int worst = 0;
    for (size_t k = 1; k + 1 < glide.size() / 2; ++k)
        worst = std::max(worst, std::abs(glide[2 * k + 2] - 2 * glide[2 * k] + glide[2 * k - 2]));
    const double smooth = 16000 * std::pow(2 * M_PI * 1200 / 44100, 2);
    EXPECT_LT(worst, 1.2 * smooth);

    // The play position counts source frames exactly: 2000 output frames at
    // half the output rate are 1000 frames of 16-bit mono.
    b->Stop();
    b->SetCurrentPosition(0);
    b->SetFrequency(22050);
    b->Play(0, 0, 0);
    Render(2000);
    DWORD play = 0, write = 0;
    EXPECT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 1000u * 2);
}

TEST_F(OfflineSound, LoopsWithoutAGapAndEndsWhenNotLooping)
{
    // Exactly 10 periods of a sine at half the output rate: looped, the
    // converter hears the loop's end before its start, so the sine runs on
    // unbroken across every loop point, from the first frame on.
    const int n = 441;
    std::vector<int16_t> sine(n);
    for (int i = 0; i < n; ++i)
        sine[i] = static_cast<int16_t>(std::lround(12000 * std::cos(2 * M_PI * 10 * i / n)));
    IDirectSoundBuffer* b = Mono16(sine, 22050);
    b->Play(0, 0, DSBPLAY_LOOPING);
    auto out = Render(5 * n);
    for (int k = kRamp; k < 5 * n; ++k)
        ASSERT_NEAR(out[2 * k], 12000 * std::cos(2 * M_PI * 10 * k / (2.0 * n)), 3.0) << k;
    DWORD status = 0;
    b->GetStatus(&status);
    EXPECT_EQ(status, static_cast<DWORD>(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));

    // Not looping: the sound plays to its end, then silence and "stopped".
    // Playing again only drops the looping flag: the current pass (which
    // starts halfway through the sound) is the last; past the last sample
    // the converter's filter rings out within a few dozen frames.
    b->Play(0, 0, 0);
    out = Render(2 * n);
    int lastSound = -1;
    for (int k = 0; k < 2 * n; ++k)
        if (out[2 * k] != 0)
            lastSound = k;
    EXPECT_GE(lastSound, n - 1);
    EXPECT_LE(lastSound, n + 64) << "silence soon after the end";
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    DWORD play = 99;
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0u) << "an ended sound starts over";
}

TEST_F(OfflineSound, StopAndRestartFadeInsteadOfClicking)
{
    IDirectSoundBuffer* b = Mono16(std::vector<int16_t>(44100, 16000));
    b->Play(0, 0, 0);
    Render(500);
    b->Stop();
    auto out = Render(500);
    int biggestStep = 0;
    for (int i = 1; i < 500; ++i)
        biggestStep = std::max(biggestStep, std::abs(out[2 * i] - out[2 * (i - 1)]));
    EXPECT_LE(biggestStep, 16000 / kRamp + 2);
    EXPECT_EQ(out[2 * 499], 0);

    // A jump while playing cross-fades: the level never drops to silence
    // (the restart's own hard edge, band-limited, dips it by a hair).
    b->Play(0, 0, 0);
    Render(500);
    b->SetCurrentPosition(0);
    out = Render(500);
    for (int i = 0; i < 500; ++i)
        ASSERT_GE(out[2 * i], 15900) << i;
}

TEST_F(OfflineSound, DuplicatesShareMemoryButPlayOnTheirOwn)
{
    IDirectSoundBuffer* a = Mono16(std::vector<int16_t>(4000, 1000));
    IDirectSoundBuffer* d = Duplicate(a);
    ASSERT_NE(d, nullptr);

    // Written through the original, heard through the duplicate.
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(a->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    const std::vector<int16_t> loud(4000, 8000);
    std::memcpy(p1, loud.data(), n1);
    a->Unlock(p1, n1, p2, n2);

    d->Play(0, 0, DSBPLAY_LOOPING);
    auto out = Render(400);
    EXPECT_EQ(out[2 * 399], 8000);
    a->SetVolume(-602);
    a->Play(0, 0, DSBPLAY_LOOPING);
    out = Render(400);
    EXPECT_NEAR(out[2 * 399], 8000 + soundtest::Attenuated(8000, -602), 1.0) << "both sound at once";

    DWORD status = 0;
    d->Stop();
    a->GetStatus(&status);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING) << "stopping one leaves the other";

    // Releasing the original while the duplicate plays keeps the memory.
    a->Release();
    m_buffers.erase(std::find(m_buffers.begin(), m_buffers.end(), a));
    d->Play(0, 0, DSBPLAY_LOOPING);
    out = Render(1000);
    EXPECT_EQ(out[2 * 999], 8000);
}

TEST_F(OfflineSound, OverloadIsLimitedNotClipped)
{
    // Four voices at 16000 would sum to 64000: the limiter holds the mix at
    // its ceiling without a single sample beyond it.
    for (int i = 0; i < 4; ++i)
        Mono16(std::vector<int16_t>(44100, 16000))->Play(0, 0, DSBPLAY_LOOPING);
    auto out = Render(4000);
    for (int i = 0; i < 4000; ++i)
        ASSERT_LE(std::abs(out[2 * i]), 32000) << i;
    EXPECT_EQ(out[2 * 3999], 32000);

    // Quiet again, it lets go smoothly and the mix becomes the plain sum.
    for (IDirectSoundBuffer* b : m_buffers)
        b->SetVolume(-1204);
    out = Render(30000);
    for (int i = 1; i < 30000; ++i)
        ASSERT_LE(std::abs(out[2 * i] - out[2 * (i - 1)]), 200) << i;
    EXPECT_NEAR(out[2 * 29999], 4 * soundtest::Attenuated(16000, -1204), 2.0);
}

TEST_F(OfflineSound, ReleasingAPlayingBufferFadesItOut)
{
    IDirectSoundBuffer* b = Mono16(std::vector<int16_t>(44100, 16000));
    b->Play(0, 0, DSBPLAY_LOOPING);
    Render(300);
    b->Release();
    m_buffers.clear();
    const auto out = Render(300);
    EXPECT_GT(out[0], 15000) << "no cut";
    EXPECT_EQ(out[2 * 299], 0);
}

// The real output: SDL's disk driver writes exactly what the callback mixed.
TEST(SdlOutput, DiskDriverCarriesTheMix)
{
    soundtest::DiskAudio disk;
    IDirectSound* ds = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    ASSERT_EQ(ds->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    WAVEFORMATEX f = Format(1, 11025, 8);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = kAllControls;
    desc.dwBufferBytes = 1000;
    desc.lpwfxFormat = &f;
    IDirectSoundBuffer* b = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(0, 1000, &p1, &n1, &p2, &n2, DSBLOCK_FROMWRITECURSOR), DS_OK);
    std::memset(p1, 224, n1);
    b->Unlock(p1, n1, p2, n2);
    b->SetPan(-602);
    disk.WaitFrames(4000);
    b->Play(0, 0, DSBPLAY_LOOPING);
    disk.WaitFrames(4000);
    b->Release();
    ds->Release();  // closes the device, which flushes the file

    const auto pcm = disk.Read();
    const auto left = soundtest::Plateaus(pcm, 0);
    const auto right = soundtest::Plateaus(pcm, 1);
    ASSERT_GE(left.size(), 2u);
    ASSERT_GE(right.size(), 2u);
    EXPECT_EQ(left[0], 0);
    EXPECT_EQ(left[1], 24576);
    EXPECT_NEAR(right[1], soundtest::Attenuated(24576, -602), 1.0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the audio subsystem is handed back";
}

TEST(SdlOutput, NoDriverFailsCleanly)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    IDirectSound* ds = reinterpret_cast<IDirectSound*>(&ds);
    EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(ds, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    IUnknown* outer = reinterpret_cast<IUnknown*>(&ds);
    EXPECT_EQ(DirectSoundCreate(nullptr, &ds, outer), DSERR_NOAGGREGATION);
}

}  // namespace
