// Loading a WAV file into a DirectSound buffer, and duplicating it.
#include "creatures/sound_sample.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "archive/archive.h"
#include "creatures/sound_system.h"
#include "creatures/sound_wave.h"

bool CSample::Load(std::string_view name, CSoundSystem* system)
{
    m_name.assign(name);
    m_system = system;
    const DataRef file = ReadArchiveFile(name);
    // Sound is optional: the flight goes on without this one, but the user
    // learns which member is silent and why.
    const std::string problem = file ? WaveProblem(file.Bytes()) : "missing from the archive";
    if (!problem.empty())
        std::fprintf(stderr, "vantor: %.*s: %s; it is not played\n", static_cast<int>(name.size()), name.data(),
                     problem.c_str());
    if (!file)
        return false;
    return LoadWave(name, file.Bytes(), system);
}

bool CSample::LoadWave(std::string_view name, std::span<const uint8_t> file, CSoundSystem* system)
{
    m_name.assign(name);
    m_system = system;
    IDirectSound* ds = system ? system->DirectSound() : nullptr;
    if (!ds)
        return false;

    WaveData wave;
    if (!ParseWave(file, wave))
        return false;

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;  // whatever the file says
    format.nChannels = wave.channels;
    format.nSamplesPerSec = wave.sampleRate;
    format.nBlockAlign = static_cast<WORD>((wave.channels * wave.bitsPerSample) / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * wave.sampleRate;
    format.wBitsPerSample = wave.bitsPerSample;
    format.cbSize = 0;

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    // In 64 bits: a huge count times two bytes must not wrap into a small,
    // "valid" size.
    const uint64_t bufferBytes = static_cast<uint64_t>(wave.bitsPerSample / 8u) * wave.sampleCount;
    if (bufferBytes > DSBSIZE_MAX)
        return false;
    desc.dwBufferBytes = static_cast<DWORD>(bufferBytes);
    desc.dwReserved = 0;
    desc.lpwfxFormat = &format;

    // A buffer created before a later failure stays with this object and is
    // released with it.
    if (FAILED(ds->CreateSoundBuffer(&desc, &m_buffer, nullptr)) || !m_buffer)
        return false;
    DWORD frequency = 0;
    if (FAILED(m_buffer->GetFrequency(&frequency)))
        return false;
    m_baseFrequency = frequency;
    m_blockAlign = format.nBlockAlign;
    m_frames = format.nBlockAlign ? desc.dwBufferBytes / format.nBlockAlign : 0;

    void* region1 = nullptr;
    void* region2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    if (FAILED(m_buffer->Lock(0, desc.dwBufferBytes, &region1, &bytes1, &region2, &bytes2, DSBLOCK_FROMWRITECURSOR)))
        return false;
    const size_t first = std::min<size_t>(bytes1, wave.bytes.size());
    std::memcpy(region1, wave.bytes.data(), first);
    if (region2 && bytes2 > 0)
        std::memcpy(region2, wave.bytes.data() + first, std::min<size_t>(bytes2, wave.bytes.size() - first));
    m_buffer->Unlock(region1, bytes1, region2, bytes2);
    return true;
}

CSmartPtrWrap<CSample>* CSample::Duplicate() const
{
    IDirectSound* ds = m_system ? m_system->DirectSound() : nullptr;
    if (!ds || !m_buffer)
        return nullptr;
    IDirectSoundBuffer* copy = nullptr;
    if (FAILED(ds->DuplicateSoundBuffer(m_buffer, &copy)) || !copy)
        return nullptr;
    CSmartPtrWrap<CSample>* sample = CSmartPtrWrap<CSample>::Create();
    if (!sample) {
        copy->Release();
        return nullptr;
    }
    sample->m_name = m_name;
    sample->m_system = m_system;
    sample->m_baseFrequency = m_baseFrequency;
    sample->m_frames = m_frames;
    sample->m_blockAlign = m_blockAlign;
    sample->m_buffer = copy;
    return sample;
}

void CSample::OnFinalRelease()
{
    if (m_buffer) {
        m_buffer->Stop();
        m_buffer->Release();
        m_buffer = nullptr;
    }
}
