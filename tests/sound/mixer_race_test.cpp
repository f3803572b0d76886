// The audio callback against the main thread: buffers started, stopped,
// retuned, rewritten, duplicated and released while SDL's audio thread mixes
// them. Meant above all for the ThreadSanitizer build (scripts/test), which
// reports any access the two threads make without the mixer's lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "sound_test_util.h"

namespace {

IDirectSoundBuffer* MakeBuffer(IDirectSound* ds, DWORD bytes, uint8_t fill)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 11025;
    f.wBitsPerSample = 8;
    f.nBlockAlign = 1;
    f.nAvgBytesPerSec = 11025;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &f;
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    if (!b)
        return nullptr;
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    std::memset(p1, fill, n1);
    b->Unlock(p1, n1, p2, n2);
    return b;
}

TEST(MixerThreads, MainThreadChangesRaceTheAudioCallback)
{
    soundtest::DiskAudio disk;
    IDirectSound* ds = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    ASSERT_EQ(ds->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    IDirectSoundBuffer* steady = MakeBuffer(ds, 4000, 224);
    ASSERT_NE(steady, nullptr);
    steady->Play(0, 0, DSBPLAY_LOOPING);

    // Until the device has run through several callbacks, every kind of
    // change the engine makes, over and over.
    const size_t stopAt = disk.FileBytes() + 4 * 8192 * 4;
    int rounds = 0;
    while (disk.FileBytes() < stopAt || rounds < 200) {
        IDirectSoundBuffer* b = MakeBuffer(ds, 2000 + 16 * static_cast<DWORD>(rounds % 50), 200);
        ASSERT_NE(b, nullptr);
        b->Play(0, 0, rounds % 2 ? DSBPLAY_LOOPING : 0);
        b->SetVolume(-100 * (rounds % 30));
        b->SetPan(rounds % 2 ? -500 : 500);
        b->SetFrequency(8000 + 100 * static_cast<DWORD>(rounds % 40));
        DWORD play = 0, write = 0, status = 0;
        b->GetCurrentPosition(&play, &write);
        b->GetStatus(&status);
        IDirectSoundBuffer* copy = nullptr;
        if (ds->DuplicateSoundBuffer(b, &copy) == DS_OK) {
            copy->Play(0, 0, 0);
            copy->SetCurrentPosition(play);
        }
        void *p1, *p2;
        DWORD n1, n2;
        if (b->Lock(0, 500, &p1, &n1, &p2, &n2, DSBLOCK_FROMWRITECURSOR) == DS_OK)
            b->Unlock(p1, n1, p2, n2);
        steady->SetFrequency(rounds % 2 ? 11025 : 11000);
        b->Stop();
        if (rounds % 3 == 0)
            b->Play(0, 0, DSBPLAY_LOOPING);  // released while playing
        b->Release();
        if (copy)
            copy->Release();
        ++rounds;
    }
    steady->SetFrequency(11025);
    // Long enough for the other voices' fades and the limiter's release.
    disk.WaitFrames(12000);
    DWORD status = 0;
    EXPECT_EQ(steady->GetStatus(&status), DS_OK);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING);
    // What was written before the steady voice is let go; the device may
    // go on writing its fade and silence until it is closed.
    const size_t heard = disk.FileBytes();
    steady->Release();
    ds->Release();

    // The steady voice came through all of it at its level.
    auto pcm = disk.Read();
    pcm.resize(std::min(pcm.size(), heard / sizeof(int16_t)));
    const auto left = soundtest::Plateaus(pcm, 0);
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.back(), 24576);
}

}  // namespace
