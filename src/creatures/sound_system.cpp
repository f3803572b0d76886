// The sound system and its flat functions.
//
// Sections: 1 conversions  2 CSoundSystem  3 flat functions
#include "creatures/sound_system.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

CRef<CSoundSystem> g_SoundSystem;

float VecLength(const vmath::Vec3& v) { return std::sqrt(vmath::Dot(v, v)); }

// A zero (or non-finite) vector stays as it is: a listener looking straight
// along its up vector has no side, and the pan then stays centred instead of
// turning into NaN.
vmath::Vec3 UnitOrKeep(const vmath::Vec3& v)
{
    const float length = VecLength(v);
    if (!(length > 0.0f) || !std::isfinite(length))
        return v;
    return {v.x / length, v.y / length, v.z / length};
}

// Non-positive (and NaN) range or speed would divide by zero.
float PositiveOrTiny(float x) { return x > 0.0f ? x : 1e-10f; }

// trunc(factor x base) in Hz, kept inside what SetFrequency accepts: below
// its minimum the call would fail and leave the old pitch playing (and 0
// would even mean "original pitch"); NaN keeps the base frequency.
DWORD FrequencyToDirectSound(float factor, uint32_t baseFrequency)
{
    const float hz = factor * static_cast<float>(baseFrequency);
    if (std::isnan(hz))
        return baseFrequency;
    if (hz < static_cast<float>(DSBFREQUENCY_MIN))
        return DSBFREQUENCY_MIN;
    if (hz > static_cast<float>(DSBFREQUENCY_MAX))
        return DSBFREQUENCY_MAX;
    return static_cast<DWORD>(hz);
}

// Where the n-th voice of a sound (counting from 0) starts when it loops.
// Every pterodactyl carries a voice of the same wind loop, and all of them
// start on the same frame: started together from the top, they would stay in
// step for the whole flight and add up like one source, ten near ones 20 dB
// over one instead of 10 dB, and the crowd's swells would come all at once.
// Each further voice starts a golden-ratio step (0.618 of the loop) after
// the one before, wrapped into the loop: however many there are, their
// starts stay spread evenly over the whole loop. The first
// voice of a sound starts at its top, as before.
DWORD LoopStart(const CSample& sample, size_t n)
{
    constexpr double kGoldenStep = 0.6180339887498949;
    const double along = std::fmod(static_cast<double>(n) * kGoldenStep, 1.0);
    const auto frame = static_cast<uint32_t>(along * static_cast<double>(sample.Frames()));
    return std::min(frame, sample.Frames() > 0 ? sample.Frames() - 1 : 0) * sample.BlockAlign();
}

}  // namespace

// ------------------------------------------------------------ 1 conversions

LONG VolumeToDirectSound(float volume)
{
    // Float throughout: 1 / 0.1f rounds to exactly 10 in float, so 0.1 gives
    // -2000 as it should, where double arithmetic would give -1999.
    float x = volume;
    if (!(x >= 0.00001f))
        x = 0.00001f;
    if (x > 1.0f)
        x = 1.0f;
    const float a = -2000.0f * std::log10(1.0f / x);
    const auto hundredths = static_cast<LONG>(a);
    return std::clamp<LONG>(hundredths, DSBVOLUME_MIN, DSBVOLUME_MAX);
}

LONG PanToDirectSound(float pan)
{
    if (std::isnan(pan))
        return 0;
    const float m = std::min(std::fabs(pan), 0.9999f);
    const float a = 2000.0f * std::log10(1.0f / (1.0f - m));
    auto hundredths = static_cast<LONG>(a);
    if (pan < 0.0f)
        hundredths = -hundredths;
    return std::clamp<LONG>(hundredths, DSBPAN_LEFT, DSBPAN_RIGHT);
}

// ------------------------------------------------------------ 2 CSoundSystem

bool CSoundSystem::Open(HWND window)
{
    // Opening again would orphan the first DirectSound object, with every
    // buffer made from it.
    if (m_initialised)
        return true;
    IDirectSound* ds = nullptr;
    if (FAILED(DirectSoundCreate(nullptr, &ds, nullptr)) || !ds)
        return false;
    if (FAILED(ds->SetCooperativeLevel(window, DSSCL_NORMAL))) {
        ds->Release();
        return false;
    }
    m_directSound = ds;
    m_initialised = 1;
    return true;
}

int CSoundSystem::CreateVoice(std::string_view name)
{
    if (!m_initialised)
        return -1;
    int index;
    const std::string key(name);
    if (const auto found = m_sampleIndex.find(key); found == m_sampleIndex.end()) {
        CRef<CSample> sample(CSmartPtrWrap<CSample>::Create());
        // Nothing is cached on failure, so a later call tries again.
        if (!sample || !sample->Load(name, this))
            return -1;
        index = static_cast<int>(m_samples.size());
        m_samples.push_back(std::move(sample));
        m_sampleIndex.emplace(key, index);
    } else {
        index = found->second;
        if (index < 0 || static_cast<size_t>(index) >= m_samples.size())
            return -1;
    }

    SoundVoice voice;
    voice.sample = CRef<CSample>(m_samples[static_cast<size_t>(index)]->Duplicate());
    if (!voice.sample)
        return -1;  // the sample stays cached
    voice.loopStart = LoopStart(*voice.sample, VoicesOf(voice.sample->Name()));
    m_voices.push_back(std::move(voice));
    return static_cast<int>(m_voices.size() - 1);
}

size_t CSoundSystem::VoicesOf(const std::string& name) const
{
    return static_cast<size_t>(std::count_if(m_voices.begin(), m_voices.end(), [&](const SoundVoice& v) {
        return v.sample && v.sample->Name() == name;
    }));
}

SoundVoice* CSoundSystem::Voice(int handle)
{
    if (handle < 0 || static_cast<size_t>(handle) >= m_voices.size())
        return nullptr;
    return &m_voices[static_cast<size_t>(handle)];
}

void CSoundSystem::ApplyVoice(const SoundVoice& voice)
{
    if (!voice.sample || !voice.sample->Buffer())
        return;
    float volume, pan, pitch;
    if (voice.positional) {
        const vmath::Vec3 delta = voice.position - m_listenerPosition;
        const float distance = VecLength(delta);
        const float f = std::clamp((m_range - distance) / m_range, 0.0f, 1.0f);
        const float g = f * f * f;
        volume = voice.volume * g;
        // A source at the listener has no direction: centred, pitch as is.
        float lateral = 0.0f;
        float approach = 0.0f;
        if (distance > 0.0f) {
            const vmath::Vec3 dir{delta.x / distance, delta.y / distance, delta.z / distance};
            lateral = vmath::Dot(m_listenerSide, dir);
            approach = vmath::Dot(dir, voice.velocity);
        }
        // Near sources sound centred, distant ones fully to their side.
        pan = (1.0f - g) * lateral;
        // Moving away (along the direction to the source) lowers the pitch.
        float p = 1.0f - approach / m_speed;
        p = std::isnan(p) ? 1.0f : std::clamp(p, 0.5f, 2.0f);
        pitch = p * voice.frequency;
    } else {
        volume = voice.volume;
        pan = voice.pan;
        pitch = voice.frequency;
    }
    IDirectSoundBuffer* buffer = voice.sample->Buffer();
    buffer->SetVolume(VolumeToDirectSound(m_masterVolume * volume));
    buffer->SetPan(PanToDirectSound(pan));
    buffer->SetFrequency(FrequencyToDirectSound(pitch, voice.sample->BaseFrequency()));
}

void CSoundSystem::Update()
{
    for (SoundVoice& voice : m_voices) {
        if (!voice.sample || !voice.sample->Buffer())
            continue;
        DWORD status = 0;
        if (FAILED(voice.sample->Buffer()->GetStatus(&status)) || !(status & DSBSTATUS_PLAYING))
            continue;
        ApplyVoice(voice);
        if (!(voice.volume > 0.0f))
            voice.sample->Buffer()->Stop();
    }
}

void CSoundSystem::SetMasterVolume(float volume)
{
    m_masterVolume = volume > 0.0f ? std::min(volume, 1.0f) : 0.0f;
}

void CSoundSystem::SetListener(const vmath::Vec3& position, const vmath::Vec3& forward, const vmath::Vec3& up,
                               float range, float speed)
{
    m_listenerPosition = position;
    m_listenerForward = UnitOrKeep(forward);
    m_listenerSide = UnitOrKeep(vmath::Cross(forward, up));
    m_speed = PositiveOrTiny(speed);
    m_range = PositiveOrTiny(range);
}

void CSoundSystem::OnFinalRelease()
{
    for (SoundVoice& voice : m_voices)
        voice.sample.Reset();
    for (CRef<CSample>& sample : m_samples)
        sample.Reset();
    if (m_directSound) {
        m_directSound->Release();
        m_directSound = nullptr;
    }
    m_initialised = 0;
    m_sampleIndex.clear();
    m_samples.clear();
    m_voices.clear();
}

CSoundSystem* GetSoundSystem() { return g_SoundSystem.Get(); }

// ---------------------------------------------------------- 3 flat functions

namespace {

// The voice behind a handle, while the system is open and the voice has a
// sample; null otherwise.
SoundVoice* LiveVoice(int handle)
{
    CSoundSystem* system = g_SoundSystem.Get();
    if (!system || !system->Initialised())
        return nullptr;
    SoundVoice* voice = system->Voice(handle);
    if (!voice || !voice->sample || !voice->sample->Buffer())
        return nullptr;
    return voice;
}

}  // namespace

int SoundInit(HWND window)
{
    if (!g_SoundSystem) {
        g_SoundSystem = CRef<CSoundSystem>(CSmartPtrWrap<CSoundSystem>::Create());
        if (!g_SoundSystem)
            return 0;
    }
    return g_SoundSystem->Open(window) ? 1 : 0;
}

int SoundShutdown()
{
    if (!g_SoundSystem)
        return 0;
    g_SoundSystem.Reset();
    return 1;
}

int SoundCreateVoice(std::string_view name)
{
    CSoundSystem* system = g_SoundSystem.Get();
    if (!system)
        return -1;
    return system->CreateVoice(name);
}

int SoundIsPlaying(int handle)
{
    SoundVoice* voice = LiveVoice(handle);
    if (!voice)
        return 0;
    DWORD status = 0;
    if (FAILED(voice->sample->Buffer()->GetStatus(&status)))
        return 0;
    return (status & DSBSTATUS_PLAYING) ? 1 : 0;
}

int SoundSetVoice(int handle, float volume, float pan, float frequency)
{
    SoundVoice* voice = LiveVoice(handle);
    if (!voice)
        return 0;
    voice->volume = volume;
    voice->pan = pan;
    voice->frequency = frequency;
    return 1;
}

int SoundSetVoice3D(int handle, float volume, const vmath::Vec3& position, const vmath::Vec3& velocity)
{
    SoundVoice* voice = LiveVoice(handle);
    if (!voice)
        return 0;
    voice->volume = volume;
    voice->position = position;
    voice->velocity = velocity;
    return 1;
}

int SoundPlay(int handle, int positional, int loop)
{
    SoundVoice* voice = LiveVoice(handle);
    if (!voice)
        return 0;
    voice->positional = positional;
    g_SoundSystem->ApplyVoice(*voice);
    if (!(voice->volume > 0.0f))
        return 0;
    IDirectSoundBuffer* buffer = voice->sample->Buffer();
    buffer->SetCurrentPosition(loop ? voice->loopStart : 0);
    return SUCCEEDED(buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0)) ? 1 : 0;
}

int SoundSetMasterVolume(float volume)
{
    CSoundSystem* system = g_SoundSystem.Get();
    if (!system)
        return 0;
    system->SetMasterVolume(volume);
    SoundUpdate();
    return 1;
}

int SoundUpdate()
{
    CSoundSystem* system = g_SoundSystem.Get();
    if (!system || !system->Initialised())
        return 0;
    system->Update();
    return 1;
}

int SoundSetListener(const vmath::Vec3& position, const vmath::Vec3& forward, const vmath::Vec3& up, float range,
                     float speed)
{
    CSoundSystem* system = g_SoundSystem.Get();
    if (!system)
        return 0;
    system->SetListener(position, forward, up, range, speed);
    return 1;
}
