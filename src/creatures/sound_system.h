// The positional sound system: one process-wide CSoundSystem over
// DirectSound, reached through the flat Sound* functions.
//
// Every sound is a WAV file of the archive, loaded once per name into a
// CSample; each user gets its own voice, a duplicate of that sample's buffer
// with its own volume, pan, frequency, position and velocity. SoundUpdate
// turns each playing voice's position relative to the listener into a
// DirectSound volume (cubic fall-off to silence at the range), pan (from the
// listener's side vector) and frequency (a Doppler-like pitch change).
//
// Every function does nothing and returns 0 (SoundCreateVoice: -1) while no
// system exists, so callers never ask whether sound is on. A voice handle
// outside the voice table, -1 included, makes the voice functions return 0.
//
// Sections: 1 conversions  2 voice and system  3 flat functions
#pragma once

#include <dsound.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "archive/unknown.h"
#include "creatures/sound_sample.h"
#include "model/anim_math.h"

// ------------------------------------------------------------ 1 conversions
// Linear volume 0..1 to hundredths of a decibel: 1 -> 0, 0.5 -> -602,
// 0.1 -> -2000, at or below 0.00001 (and NaN) -> -10000.
LONG VolumeToDirectSound(float volume);
// Pan -1 (left) .. 1 (right) to hundredths of a decibel off the far side:
// 0 -> 0, +-0.5 -> +-602, the largest magnitude is 7999; NaN -> 0.
LONG PanToDirectSound(float pan);

// ----------------------------------------------------- 2 voice and system
struct SoundVoice {
    int32_t positional = 0;   // non-zero: volume, pan and pitch follow the listener
    float volume = 0.0001f;   // 0..1, linear
    float pan = 0.0f;         // -1..1; only when not positional
    float frequency = 1.0f;   // factor on the sample's base frequency
    vmath::Vec3 position;     // world position of the source
    vmath::Vec3 velocity;     // world velocity, for the pitch change
    CRef<CSample> sample;     // this voice's duplicate buffer
    DWORD loopStart = 0;      // byte offset at which it starts when played as a loop
};

class CSoundSystem {
public:
    CSoundSystem() = default;
    CSoundSystem(const CSoundSystem&) = delete;
    CSoundSystem& operator=(const CSoundSystem&) = delete;

    // DirectSound on the window, at the normal cooperative level. Once open
    // it stays open: a second call changes nothing and succeeds.
    bool Open(HWND window);

    int CreateVoice(std::string_view name);
    // How many voices of the file `name` exist.
    size_t VoicesOf(const std::string& name) const;
    // Null for a handle outside the table.
    SoundVoice* Voice(int handle);
    // Pushes the voice's volume, pan and frequency to its buffer.
    void ApplyVoice(const SoundVoice& voice);
    void Update();
    void SetMasterVolume(float volume);
    void SetListener(const vmath::Vec3& position, const vmath::Vec3& forward, const vmath::Vec3& up, float range,
                     float speed);

    bool Initialised() const { return m_initialised != 0; }
    IDirectSound* DirectSound() const { return m_directSound; }
    float MasterVolume() const { return m_masterVolume; }
    float Range() const { return m_range; }
    float Speed() const { return m_speed; }
    const vmath::Vec3& ListenerPosition() const { return m_listenerPosition; }
    const vmath::Vec3& ListenerForward() const { return m_listenerForward; }
    const vmath::Vec3& ListenerSide() const { return m_listenerSide; }
    size_t SampleCount() const { return m_samples.size(); }
    size_t VoiceCount() const { return m_voices.size(); }

protected:
    // Releases all voices, then all cached samples, then DirectSound.
    void OnFinalRelease();

private:
    vmath::Vec3 m_listenerPosition{0, 0, 0};
    vmath::Vec3 m_listenerForward{0, 1, 0};
    vmath::Vec3 m_listenerSide{1, 0, 0};
    float m_speed = 20.0f;
    float m_range = 1.0f;
    float m_masterVolume = 1.0f;
    int32_t m_initialised = 0;
    IDirectSound* m_directSound = nullptr;
    std::map<std::string, int> m_sampleIndex;  // exact, case-sensitive names
    std::vector<CRef<CSample>> m_samples;      // one per distinct name, in load order
    std::vector<SoundVoice> m_voices;          // never shrinks while the system lives
};

// The process-wide system, or null while there is none.
CSoundSystem* GetSoundSystem();

// ---------------------------------------------------------- 3 flat functions
// Creates the system if there is none, then opens DirectSound on the window
// (on Linux the saver window's SDL_Window*, or null). 1 on success.
int SoundInit(HWND window);
// Drops the process-wide system; its voices fall silent and it is destroyed
// with its last reference. 1, or 0 when there was none.
int SoundShutdown();
// A new voice of the archive's WAV file `name`, not yet playing; -1 when the
// file is missing or unplayable, and nothing changes then.
int SoundCreateVoice(std::string_view name);
int SoundIsPlaying(int voice);
// Store values that take effect at the next SoundPlay or SoundUpdate.
int SoundSetVoice(int voice, float volume, float pan, float frequency);
int SoundSetVoice3D(int voice, float volume, const vmath::Vec3& position, const vmath::Vec3& velocity);
// Applies the voice, then (unless its volume is <= 0) rewinds and plays it:
// a sound played once from its start, a loop from the voice's own point in
// it, so that several voices of one loop do not play in step.
// 1 if it started.
int SoundPlay(int voice, int positional, int loop);
// Clamps to 0..1, stores, then runs SoundUpdate.
int SoundSetMasterVolume(float volume);
// Re-applies every playing voice; stops those whose volume is <= 0.
int SoundUpdate();
// Listener position, look direction and up; range is where positional voices
// fall silent, speed divides the pitch change. Range and speed <= 0 become
// 1e-10.
int SoundSetListener(const vmath::Vec3& position, const vmath::Vec3& forward, const vmath::Vec3& up, float range,
                     float speed);
