// CTimer: seconds since a movable origin, from the high-resolution counter
// when the system has one, else from the wrapping millisecond clock.
#pragma once

#include <cstdint>

namespace os {
class IOS;
}

class CTimer {
public:
    explicit CTimer(os::IOS& os);

    void Start();
    double Elapsed() const;
    bool UsesCounter() const { return m_mode == 1; }

private:
    os::IOS& m_os;
    int64_t m_countsPerSecond = 0;
    double m_secondsPerCount = 0.0;
    uint32_t m_startMilliseconds = 0;
    int64_t m_startCount = 0;
    int m_mode = 0;  // 1: counter, 0: millisecond clock
};
