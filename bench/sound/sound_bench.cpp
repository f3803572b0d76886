// Sound benchmarks: what the mixer costs per second of audio with the
// scene's load of voices (eleven pterodactyls with seven voices each, plus
// the helicopter: about 80), mixed in callback-sized blocks while every
// voice's volume, pan and pitch change as the sound system updates them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_vantor.h"

namespace {

constexpr int kVoices = 80;
constexpr int kSamples = 8;          // distinct sounds; the voices are duplicates
constexpr DWORD kBlockFrames = 1024;  // one SDL callback
constexpr DWORD kSampleRate = 11025;

void MixVoices(benchmark::State& state)
{
    IDirectSound* ds = nullptr;
    if (VantorDirectSoundCreateOffline(&ds) != DS_OK) {
        state.SkipWithError("no offline DirectSound");
        return;
    }
    ds->SetCooperativeLevel(nullptr, DSSCL_NORMAL);

    // 8-bit mono noise-like sounds of one to two seconds, as in the archive.
    std::vector<IDirectSoundBuffer*> samples;
    uint32_t seed = 12345;
    for (int s = 0; s < kSamples; ++s) {
        WAVEFORMATEX f{};
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 1;
        f.nSamplesPerSec = kSampleRate;
        f.wBitsPerSample = 8;
        f.nBlockAlign = 1;
        f.nAvgBytesPerSec = kSampleRate;
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
        desc.dwBufferBytes = kSampleRate + static_cast<DWORD>(s) * kSampleRate / kSamples;
        desc.lpwfxFormat = &f;
        IDirectSoundBuffer* b = nullptr;
        ds->CreateSoundBuffer(&desc, &b, nullptr);
        void *p1, *p2;
        DWORD n1, n2;
        b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER);
        auto* bytes = static_cast<uint8_t*>(p1);
        for (DWORD i = 0; i < n1; ++i) {
            seed = seed * 1664525u + 1013904223u;
            bytes[i] = static_cast<uint8_t>(128 + static_cast<int>((seed >> 24) % 64) - 32);
        }
        b->Unlock(p1, n1, p2, n2);
        samples.push_back(b);
    }
    std::vector<IDirectSoundBuffer*> voices;
    for (int v = 0; v < kVoices; ++v) {
        IDirectSoundBuffer* d = nullptr;
        ds->DuplicateSoundBuffer(samples[static_cast<size_t>(v % kSamples)], &d);
        d->Play(0, 0, DSBPLAY_LOOPING);
        voices.push_back(d);
    }

    std::vector<int16_t> block(kBlockFrames * 2);
    int tick = 0;
    for (auto _ : state) {
        for (DWORD done = 0; done < kVantorMixRate; done += kBlockFrames) {
            // Once per block, as SoundUpdate does once per frame.
            ++tick;
            for (int v = 0; v < kVoices; ++v) {
                const double phase = 0.01 * tick + v;
                voices[static_cast<size_t>(v)]->SetVolume(static_cast<LONG>(-300 - 1500 * (1 + std::sin(phase))));
                voices[static_cast<size_t>(v)]->SetPan(static_cast<LONG>(3000 * std::cos(phase)));
                voices[static_cast<size_t>(v)]->SetFrequency(
                    static_cast<DWORD>(kSampleRate * (1.0 + 0.2 * std::sin(0.7 * phase))));
            }
            VantorDirectSoundRender(ds, block.data(), kBlockFrames);
            benchmark::DoNotOptimize(block.data());
        }
    }
    // One iteration is one second of audio, so CPU seconds per iteration is
    // the share of one core the mixer needs (printed as "8.5m": 0.85 %).
    state.counters["core_share"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * kVoices * static_cast<int64_t>(kVantorMixRate));

    for (IDirectSoundBuffer* b : voices)
        b->Release();
    for (IDirectSoundBuffer* b : samples)
        b->Release();
    ds->Release();
}

BENCHMARK(MixVoices)->Name("Sound/Mix80Voices")->Unit(benchmark::kMillisecond);

}  // namespace
