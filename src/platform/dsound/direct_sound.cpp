// IDirectSound and IDirectSoundBuffer over the mixer.
//
// A buffer is one mixer voice plus the published parameters in their
// published units; every setter converts its value once, here on the
// caller's thread, into what the mixer needs (linear gains, a 32.32 step),
// so the audio thread does no transcendental maths.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_vantor.h"
#include "platform/dsound/sound_device.h"

namespace vantor::dsound {

namespace {

// DSBUFFERDESC without its trailing GUID, the older layout callers may pass.
constexpr DWORD kDescSizeNoGuid = static_cast<DWORD>(offsetof(DSBUFFERDESC, guid3DAlgorithm));

// Hundredths of a decibel to a linear factor; the floor is true silence.
float Attenuation(LONG hundredthsDb)
{
    if (hundredthsDb <= DSBVOLUME_MIN)
        return 0.0f;
    return static_cast<float>(std::pow(10.0, static_cast<double>(hundredthsDb) / 2000.0));
}

class CDirectSound final : public IDirectSound {
public:
    explicit CDirectSound(std::shared_ptr<CSoundDevice> device) : m_device(std::move(device)) {}

    HRESULT QueryInterface(REFIID, void** ppvObj) override
    {
        if (ppvObj)
            *ppvObj = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* out, LPUNKNOWN outer) override;
    HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* out) override;
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD level) override
    {
        if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY)
            return DSERR_INVALIDPARAM;
        // SDL audio belongs to no window; the handle is kept for nothing
        // but symmetry with the real call.
        m_window = hwnd;
        m_level = level;
        return DS_OK;
    }

    CSoundDevice& Device() { return *m_device; }

private:
    ~CDirectSound() = default;

    ULONG m_refs = 1;
    std::shared_ptr<CSoundDevice> m_device;
    HWND m_window = nullptr;
    DWORD m_level = 0;
};

class CSoundBuffer final : public IDirectSoundBuffer {
public:
    CSoundBuffer(std::shared_ptr<CSoundDevice> device, std::shared_ptr<SampleData> data, const WAVEFORMATEX& format,
                 DWORD flags)
        : m_device(std::move(device)), m_data(std::move(data)), m_format(format), m_flags(flags),
          m_frequency(format.nSamplesPerSec)
    {
    }

    // False when the mixer could not take the voice (out of memory).
    bool Attach()
    {
        VoiceFormat f;
        f.channels = m_format.nChannels;
        f.bitsPerSample = m_format.wBitsPerSample;
        f.frames = m_data->size / m_format.nBlockAlign;
        m_voice = m_device->Mixer().AddVoice(m_data, f);
        if (!m_voice)
            return false;
        PushGains();
        PushStep();
        return true;
    }

    // A duplicate: same memory, format, controls and settings; stopped at 0.
    CSoundBuffer* Duplicate()
    {
        auto* copy = new (std::nothrow) CSoundBuffer(m_device, m_data, m_format, m_flags);
        if (!copy)
            return nullptr;
        copy->m_volume = m_volume;
        copy->m_pan = m_pan;
        copy->m_frequency = m_frequency;
        if (!copy->Attach()) {
            copy->Release();
            return nullptr;
        }
        return copy;
    }

    const CSoundDevice* Device() const { return m_device.get(); }

    HRESULT QueryInterface(REFIID, void** ppvObj) override
    {
        if (ppvObj)
            *ppvObj = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    HRESULT GetCurrentPosition(LPDWORD play, LPDWORD write) override
    {
        if (!play && !write)
            return DSERR_INVALIDPARAM;
        // The mixer has consumed everything up to the play cursor, so that
        // is also the first byte that is safe to write.
        const DWORD bytes = CursorBytes();
        if (play)
            *play = bytes;
        if (write)
            *write = bytes;
        return DS_OK;
    }

    HRESULT GetVolume(LPLONG volume) override
    {
        if (!volume)
            return DSERR_INVALIDPARAM;
        if (!(m_flags & DSBCAPS_CTRLVOLUME))
            return DSERR_CONTROLUNAVAIL;
        *volume = m_volume;
        return DS_OK;
    }

    HRESULT GetPan(LPLONG pan) override
    {
        if (!pan)
            return DSERR_INVALIDPARAM;
        if (!(m_flags & DSBCAPS_CTRLPAN))
            return DSERR_CONTROLUNAVAIL;
        *pan = m_pan;
        return DS_OK;
    }

    HRESULT GetFrequency(LPDWORD frequency) override
    {
        if (!frequency)
            return DSERR_INVALIDPARAM;
        if (!(m_flags & DSBCAPS_CTRLFREQUENCY))
            return DSERR_CONTROLUNAVAIL;
        *frequency = m_frequency;
        return DS_OK;
    }

    HRESULT GetStatus(LPDWORD status) override
    {
        if (!status)
            return DSERR_INVALIDPARAM;
        *status = Mixer().WithParams(m_voice, [](const VoiceParams& p) -> DWORD {
            if (!p.playing)
                return 0;
            return DSBSTATUS_PLAYING | (p.looping ? DSBSTATUS_LOOPING : 0);
        });
        return DS_OK;
    }

    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* ptr1, LPDWORD bytes1, LPVOID* ptr2, LPDWORD bytes2,
                 DWORD flags) override
    {
        if (!ptr1 || !bytes1)
            return DSERR_INVALIDPARAM;
        const DWORD size = m_data->size;
        if (flags & DSBLOCK_FROMWRITECURSOR)
            offset = CursorBytes();
        if (flags & DSBLOCK_ENTIREBUFFER)
            bytes = size;
        if (bytes == 0 || bytes > size || offset >= size)
            return DSERR_INVALIDPARAM;
        // The two-region contract: what runs past the end continues at the
        // start of the buffer.
        const DWORD first = std::min(bytes, size - offset);
        const DWORD second = bytes - first;
        if (second > 0 && (!ptr2 || !bytes2))
            return DSERR_INVALIDPARAM;
        // The memory itself is handed out, shared with every duplicate; the
        // mixer reads it while the buffer plays, so a caller that rewrites a
        // playing region hears the change, as with the real thing.
        *ptr1 = m_data->bytes.get() + offset;
        *bytes1 = first;
        if (ptr2)
            *ptr2 = second > 0 ? m_data->bytes.get() : nullptr;
        if (bytes2)
            *bytes2 = second;
        return DS_OK;
    }

    HRESULT Unlock(LPVOID ptr1, DWORD bytes1, LPVOID ptr2, DWORD bytes2) override
    {
        const uint8_t* base = m_data->bytes.get();
        const uint8_t* end = base + m_data->size;
        const auto* p1 = static_cast<const uint8_t*>(ptr1);
        if (!p1 || p1 < base || p1 >= end || bytes1 > static_cast<size_t>(end - p1))
            return DSERR_INVALIDPARAM;
        if (ptr2 && (ptr2 != base || bytes2 > m_data->size))
            return DSERR_INVALIDPARAM;
        return DS_OK;
    }

    HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags) override
    {
        if (reserved1 != 0)
            return DSERR_INVALIDPARAM;
        if (priority != 0 && !(m_flags & DSBCAPS_LOCDEFER))
            return DSERR_INVALIDPARAM;
        const bool looping = (flags & DSBPLAY_LOOPING) != 0;
        Mixer().WithParams(m_voice, [looping](VoiceParams& p) {
            // Playing again while playing only changes the looping flag.
            p.looping = looping;
            ++p.plays;
            if (!p.playing) {
                p.playing = true;
                ++p.serial;
            }
        });
        return DS_OK;
    }

    HRESULT SetCurrentPosition(DWORD position) override
    {
        if (position >= m_data->size)
            return DSERR_INVALIDPARAM;
        const uint64_t frame = position / m_format.nBlockAlign;
        Mixer().WithParams(m_voice, [frame](VoiceParams& p) {
            p.position = frame << 32;
            ++p.serial;
        });
        return DS_OK;
    }

    HRESULT SetVolume(LONG volume) override
    {
        if (!(m_flags & DSBCAPS_CTRLVOLUME))
            return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX)
            return DSERR_INVALIDPARAM;
        m_volume = volume;
        PushGains();
        return DS_OK;
    }

    HRESULT SetPan(LONG pan) override
    {
        if (!(m_flags & DSBCAPS_CTRLPAN))
            return DSERR_CONTROLUNAVAIL;
        if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT)
            return DSERR_INVALIDPARAM;
        m_pan = pan;
        PushGains();
        return DS_OK;
    }

    HRESULT SetFrequency(DWORD frequency) override
    {
        if (!(m_flags & DSBCAPS_CTRLFREQUENCY))
            return DSERR_CONTROLUNAVAIL;
        if (frequency == DSBFREQUENCY_ORIGINAL)
            frequency = m_format.nSamplesPerSec;
        if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX)
            return DSERR_INVALIDPARAM;
        m_frequency = frequency;
        PushStep();
        return DS_OK;
    }

    HRESULT Stop() override
    {
        Mixer().WithParams(m_voice, [](VoiceParams& p) {
            if (p.playing) {
                p.playing = false;
                ++p.serial;
            }
        });
        return DS_OK;
    }

private:
    ~CSoundBuffer()
    {
        if (m_voice)
            Mixer().RemoveVoice(m_voice);
    }

    CMixer& Mixer() { return m_device->Mixer(); }

    DWORD CursorBytes()
    {
        const uint64_t position = Mixer().WithParams(m_voice, [](const VoiceParams& p) { return p.position; });
        return static_cast<DWORD>(position >> 32) * m_format.nBlockAlign;
    }

    // Pan takes its magnitude off the far side only, as the published
    // control does: +10000 silences the left channel, -10000 the right.
    void PushGains()
    {
        const float volume = Attenuation(m_volume);
        const float left = m_pan > 0 ? Attenuation(-m_pan) : 1.0f;
        const float right = m_pan < 0 ? Attenuation(m_pan) : 1.0f;
        Mixer().WithParams(m_voice, [&](VoiceParams& p) {
            p.gainLeft = volume * left;
            p.gainRight = volume * right;
        });
    }

    void PushStep()
    {
        // The converter stretches a sound by 256 at most, so the lowest
        // frequencies (below 173 Hz) play at 173 Hz; the reported frequency
        // stays what the caller set.
        constexpr uint64_t kSlowest = (uint64_t{1} << 32) / 256;
        const uint64_t step = std::max(kSlowest, (static_cast<uint64_t>(m_frequency) << 32) / kMixRate);
        Mixer().WithParams(m_voice, [step](VoiceParams& p) { p.step = step; });
    }

    ULONG m_refs = 1;
    std::shared_ptr<CSoundDevice> m_device;
    std::shared_ptr<SampleData> m_data;
    MixVoice* m_voice = nullptr;
    WAVEFORMATEX m_format;
    DWORD m_flags;
    LONG m_volume = DSBVOLUME_MAX;
    LONG m_pan = DSBPAN_CENTER;
    DWORD m_frequency;
};

// What the mixer can play; everything else is refused up front.
HRESULT CheckFormat(const WAVEFORMATEX& f)
{
    if (f.wFormatTag != WAVE_FORMAT_PCM)
        return DSERR_BADFORMAT;
    if (f.nChannels != 1 && f.nChannels != 2)
        return DSERR_BADFORMAT;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
        return DSERR_BADFORMAT;
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
        return DSERR_BADFORMAT;
    if (f.nSamplesPerSec < DSBFREQUENCY_MIN || f.nSamplesPerSec > DSBFREQUENCY_MAX)
        return DSERR_BADFORMAT;
    return DS_OK;
}

HRESULT CDirectSound::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* out, LPUNKNOWN outer)
{
    if (!out)
        return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer)
        return DSERR_NOAGGREGATION;
    if (!desc || (desc->dwSize != sizeof(DSBUFFERDESC) && desc->dwSize != kDescSizeNoGuid))
        return DSERR_INVALIDPARAM;
    if (m_level == 0)
        return DSERR_PRIOLEVELNEEDED;
    // The primary buffer is the mixer's output and is not exposed.
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER)
        return DSERR_UNSUPPORTED;
    if (desc->dwFlags & DSBCAPS_CTRL3D)
        return DSERR_UNSUPPORTED;
    if (!desc->lpwfxFormat)
        return DSERR_INVALIDPARAM;
    // The caller's structure may be unaligned or packed; take a copy.
    WAVEFORMATEX format;
    std::memcpy(&format, desc->lpwfxFormat, sizeof format);
    if (const HRESULT hr = CheckFormat(format); FAILED(hr))
        return hr;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX)
        return DSERR_INVALIDPARAM;

    auto data = std::make_shared<SampleData>();
    // A partial last frame is never played; the bytes are still there.
    data->bytes.reset(new (std::nothrow) uint8_t[desc->dwBufferBytes]);
    if (!data->bytes)
        return DSERR_OUTOFMEMORY;
    // New buffers hold silence until written, as on the real thing.
    std::memset(data->bytes.get(), format.wBitsPerSample == 8 ? 0x80 : 0, desc->dwBufferBytes);
    data->size = desc->dwBufferBytes;

    auto* buffer = new (std::nothrow) CSoundBuffer(m_device, std::move(data), format, desc->dwFlags);
    if (!buffer)
        return DSERR_OUTOFMEMORY;
    if (!buffer->Attach()) {
        buffer->Release();
        return DSERR_OUTOFMEMORY;
    }
    *out = buffer;
    return DS_OK;
}

HRESULT CDirectSound::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* out)
{
    if (!out)
        return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!original)
        return DSERR_INVALIDPARAM;
    // Every IDirectSoundBuffer in this process is one of ours.
    auto* source = static_cast<CSoundBuffer*>(original);
    if (source->Device() != m_device.get())
        return DSERR_INVALIDCALL;
    CSoundBuffer* copy = source->Duplicate();
    if (!copy)
        return DSERR_OUTOFMEMORY;
    *out = copy;
    return DS_OK;
}

CDirectSound* AsOurs(LPDIRECTSOUND ds) { return static_cast<CDirectSound*>(ds); }

}  // namespace

}  // namespace vantor::dsound

using vantor::dsound::CSoundDevice;

HRESULT DirectSoundCreate(LPCGUID pcGuidDevice, LPDIRECTSOUND* ppDS, LPUNKNOWN pUnkOuter)
{
    if (!ppDS)
        return DSERR_INVALIDPARAM;
    *ppDS = nullptr;
    if (pUnkOuter)
        return DSERR_NOAGGREGATION;
    if (pcGuidDevice)
        return DSERR_NODRIVER;  // only the default output exists
    HRESULT hr = DS_OK;
    std::shared_ptr<CSoundDevice> device = CSoundDevice::OpenOutput(hr);
    if (!device)
        return hr;
    auto* ds = new (std::nothrow) vantor::dsound::CDirectSound(std::move(device));
    if (!ds)
        return DSERR_OUTOFMEMORY;
    *ppDS = ds;
    return DS_OK;
}

HRESULT VantorDirectSoundCreateOffline(LPDIRECTSOUND* ppDS)
{
    if (!ppDS)
        return DSERR_INVALIDPARAM;
    *ppDS = nullptr;
    std::shared_ptr<CSoundDevice> device = CSoundDevice::CreateOffline();
    if (!device)
        return DSERR_OUTOFMEMORY;
    auto* ds = new (std::nothrow) vantor::dsound::CDirectSound(std::move(device));
    if (!ds)
        return DSERR_OUTOFMEMORY;
    *ppDS = ds;
    return DS_OK;
}

HRESULT VantorDirectSoundRender(LPDIRECTSOUND ds, int16_t* out, DWORD frames)
{
    if (!ds || (!out && frames > 0))
        return DSERR_INVALIDPARAM;
    CSoundDevice& device = vantor::dsound::AsOurs(ds)->Device();
    if (!device.Offline())
        return DSERR_INVALIDCALL;
    device.Mixer().Render(out, frames);
    return DS_OK;
}
