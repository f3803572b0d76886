// CHeliSound: in helicopter mode, a looping engine sound whose pitch follows
// how fast the camera moves along its track.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class CSkeleton;

class CHeliSound {
public:
    // Builds the per-key speed curve of the track `trackName`; false when the
    // track is missing or the path has no frames.
    bool Init(const CSkeleton& path, std::string_view trackName);
    // Once per camera update in helicopter mode, with the time and rate the
    // camera sampled its track with.
    void Tick(float time, float speed);

    const std::vector<float>& KeySpeeds() const { return m_keySpeed; }
    int32_t Ticks() const { return m_ticks; }
    int32_t VoiceHandle() const { return m_voice; }
    // The pitch factor of the last step.
    float LastFrequency() const { return m_lastFrequency; }

    // The normalised speed at key position x (Catmull-Rom over the keys).
    float SpeedAt(float x) const;

private:
    std::vector<float> m_keySpeed;
    int32_t m_voice = -1;
    int32_t m_ticks = 0;
    double m_clock = 0;
    double m_stepTime = 0;
    double m_step = 1.0;
    float m_lastFrequency = 0;
};
