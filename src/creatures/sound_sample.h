// One loaded sound: a DirectSound buffer holding a WAV file's samples, or a
// duplicate of such a buffer that shares its audio memory.
#pragma once

#include <dsound.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "archive/unknown.h"

class CSoundSystem;

class CSample {
public:
    CSample() = default;
    CSample(const CSample&) = delete;
    CSample& operator=(const CSample&) = delete;

    // Reads the archive member `name` and uploads it into a new buffer of
    // the system's DirectSound object. False when the member is missing, is
    // not a WAV file the buffer accepts, or any DirectSound call fails.
    bool Load(std::string_view name, CSoundSystem* system);
    // The same from bytes already in memory.
    bool LoadWave(std::string_view name, std::span<const uint8_t> file, CSoundSystem* system);

    // A new sample owning a duplicate of this one's buffer, in a wrapper
    // whose count is still 0; null when the duplicate cannot be made.
    CSmartPtrWrap<CSample>* Duplicate() const;

    const std::string& Name() const { return m_name; }
    IDirectSoundBuffer* Buffer() const { return m_buffer; }
    CSoundSystem* System() const { return m_system; }
    uint32_t BaseFrequency() const { return m_baseFrequency; }
    // Whole frames in the buffer, and the bytes of one frame.
    uint32_t Frames() const { return m_frames; }
    uint32_t BlockAlign() const { return m_blockAlign; }

protected:
    // Stops and releases the buffer.
    void OnFinalRelease();

private:
    std::string m_name;
    IDirectSoundBuffer* m_buffer = nullptr;
    CSoundSystem* m_system = nullptr;  // not a counted reference: the system owns us
    uint32_t m_baseFrequency = 0;
    uint32_t m_frames = 0;
    uint32_t m_blockAlign = 0;
};
