// The application clock.
#include "app/timer.h"

#include "platform/os.h"

CTimer::CTimer(os::IOS& os) : m_os(os)
{
    const uint64_t frequency = m_os.PerfFrequency();
    if (frequency != 0) {
        m_mode = 1;
        m_countsPerSecond = static_cast<int64_t>(frequency);
        m_secondsPerCount = 1.0 / static_cast<double>(frequency);
        m_startCount = static_cast<int64_t>(m_os.PerfCounter());
    } else {
        m_mode = 0;
        m_startMilliseconds = m_os.Milliseconds();
    }
}

void CTimer::Start()
{
    if (m_mode == 1)
        m_startCount = static_cast<int64_t>(m_os.PerfCounter());
    else
        m_startMilliseconds = m_os.Milliseconds();
}

double CTimer::Elapsed() const
{
    if (m_mode == 1) {
        const int64_t delta = static_cast<int64_t>(m_os.PerfCounter()) - m_startCount;
        return static_cast<double>(delta) * m_secondsPerCount;
    }
    // Unsigned difference: correct across the 32-bit wrap of the clock.
    const uint32_t delta = m_os.Milliseconds() - m_startMilliseconds;
    return static_cast<double>(delta) / 1000.0;
}
