// The helicopter engine sound.
#include "creatures/heli_sound.h"

#include <algorithm>
#include <cmath>

#include "base/system.h"
#include "creatures/sound_system.h"
#include "model/skeleton.h"

bool CHeliSound::Init(const CSkeleton& path, std::string_view trackName)
{
    const int32_t bone = path.FindBone(trackName);
    const int32_t n = path.FrameCount();
    if (bone < 0 || n <= 0)
        return false;
    std::vector<float> s(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        const vmath::Vec3 p = path.GetKeyPosition(bone, i);
        const vmath::Vec3 prev = path.GetKeyPosition(bone, i == 0 ? n - 1 : i - 1);
        const vmath::Vec3 next = path.GetKeyPosition(bone, (i + 1) % n);
        s[static_cast<size_t>(i)] = vmath::Length(p - prev) + vmath::Length(next - p);
    }
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    const float low = *lo, range = *hi - *lo;
    m_keySpeed.resize(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        // A track moving at one even speed has no range to normalise by; it
        // counts as cruising at half speed.
        m_keySpeed[i] = range > 0 ? (s[i] - low) / range : 0.5f;
    }
    m_voice = SoundCreateVoice("sound/heli8bit.wav");
    SoundSetVoice(m_voice, 1.0f, 0.0f, 1.0f);
    m_step = 0.1;
    return true;
}

float CHeliSound::SpeedAt(float x) const
{
    const auto n = static_cast<int64_t>(m_keySpeed.size());
    if (n == 0)
        return 0;
    // Not a number or beyond any key: the curve's start. Keys wrap in
    // double, so no position reaches an integer conversion that overflows.
    if (!std::isfinite(x))
        x = 0;
    const double fl = std::floor(static_cast<double>(x));
    const auto wrap = [n](int64_t i) { return ((i % n) + n) % n; };
    double r = std::fmod(fl, static_cast<double>(n));
    if (r < 0)
        r += static_cast<double>(n);
    const int64_t i1 = wrap(static_cast<int64_t>(r));
    const auto f = static_cast<float>(x - fl);
    const int64_t i0 = n < 2 ? 0 : (i1 == 0 ? n - 1 : i1 - 1);
    const int64_t i2 = n < 2 ? 0 : wrap(i1 + 1);
    const int64_t i3 = n < 2 ? 0 : wrap(i1 + 2);
    const float p0 = m_keySpeed[size_t(i0)], p1 = m_keySpeed[size_t(n < 2 ? 0 : i1)], p2 = m_keySpeed[size_t(i2)],
                p3 = m_keySpeed[size_t(i3)];
    const float f2 = f * f, f3 = f2 * f;
    const float v = 0.5f * ((-f3 + 2 * f2 - f) * p0 + (3 * f3 - 5 * f2 + 2) * p1 + (-3 * f3 + 4 * f2 + f) * p2 +
                            (f3 - f2) * p3);
    return std::clamp(v, 0.0f, 1.0f);
}

void CHeliSound::Tick(float time, float speed)
{
    // A frame time that is not a number, infinite or negative would
    // poison the step clock for the rest of the run; it counts as no time.
    const double frame = g_pSystem ? g_pSystem->GetFrameTime() : 0.0;
    if (std::isfinite(frame) && frame > 0)
        m_clock += frame;
    const double k = std::trunc((m_clock - m_stepTime) / m_step);
    if (!(k >= 1))
        return;
    m_stepTime += k * m_step;
    const float v = SpeedAt(time * speed);
    m_lastFrequency = 0.8f + 0.4f * v;
    SoundSetVoice(m_voice, 0.3f, 0.0f, m_lastFrequency);
    if (m_ticks >= 2 && !SoundIsPlaying(m_voice))
        SoundPlay(m_voice, 0, 1);
    ++m_ticks;
}
