// The mixer runs on the audio thread, where an allocation can wait on a lock
// the rest of the process holds: a pass must never allocate, whatever the
// voices do. Counts every global operator new and, outside the sanitizer
// build (whose allocator must not be bypassed), every malloc as well, so the
// C converter library is watched too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_vantor.h"

namespace {
bool g_counting = false;
int g_allocations = 0;
}  // namespace

void* operator new(std::size_t size)
{
    if (g_counting)
        ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (g_counting)
        ++g_allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
#if defined(VANTOR_SANITIZE)
// What came from malloc above goes back to free: left to the sanitizer's own
// delete, every pair is reported as mismatched. (Elsewhere the library's
// delete already frees with free.)
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#endif

#if !defined(VANTOR_SANITIZE)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t size)
{
    if (g_counting)
        ++g_allocations;
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size)
{
    if (g_counting)
        ++g_allocations;
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size)
{
    if (g_counting)
        ++g_allocations;
    return __libc_realloc(p, size);
}
}
#endif

namespace {

IDirectSoundBuffer* Make(IDirectSound* ds, WORD channels, WORD bits, DWORD bytes)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = 11025;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &f;
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    void *p1, *p2;
    DWORD n1, n2;
    b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER);
    for (DWORD i = 0; i < n1; ++i)
        static_cast<uint8_t*>(p1)[i] = static_cast<uint8_t>(i * 37);
    b->Unlock(p1, n1, p2, n2);
    return b;
}

TEST(MixerPass, AllocatesNothingWhateverTheVoicesDo)
{
    IDirectSound* ds = nullptr;
    ASSERT_EQ(VantorDirectSoundCreateOffline(&ds), DS_OK);
    ds->SetCooperativeLevel(nullptr, DSSCL_NORMAL);
    IDirectSoundBuffer* loop = Make(ds, 1, 8, 3000);
    IDirectSoundBuffer* shot = Make(ds, 2, 16, 4000);
    IDirectSoundBuffer* dup = nullptr;
    ASSERT_EQ(ds->DuplicateSoundBuffer(loop, &dup), DS_OK);
    std::vector<int16_t> out(2 * 4096);

    int total = 0;
    auto render = [&](DWORD frames) {
        g_allocations = 0;
        g_counting = true;
        VantorDirectSoundRender(ds, out.data(), frames);
        g_counting = false;
        total += g_allocations;
    };
    render(1000);  // nothing playing
    loop->Play(0, 0, DSBPLAY_LOOPING);
    shot->Play(0, 0, 0);
    dup->SetFrequency(30000);
    dup->Play(0, 0, DSBPLAY_LOOPING);
    render(4096);                 // starts, loop wraps, pitch above the output rate
    loop->SetFrequency(9000);     // a glide
    dup->SetCurrentPosition(700); // a jump: cross-fade, converter joins mid-way
    render(4096);
    render(4096);                 // the one-shot rings out and ends
    loop->SetVolume(DSBVOLUME_MIN);
    render(2048);                 // silent: only the play head moves
    loop->SetVolume(-600);
    loop->Stop();
    loop->Play(0, 0, DSBPLAY_LOOPING);
    render(2048);                 // back from silence, stopped and restarted
    dup->Release();               // fades out as a dying voice
    render(2048);
    EXPECT_EQ(total, 0) << "allocations during mixing";

    loop->Release();
    shot->Release();
    ds->Release();
}

}  // namespace
