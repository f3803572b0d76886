// Rows of the saver and black window tables.
#include "app/window_rules.h"

#include <cstdlib>

namespace {
constexpr int kMouseThreshold = 30;
constexpr int kEscape = 27;
}

bool MovedBeyondThreshold(os::Point start, os::Point now)
{
    return std::abs(now.x - start.x) > kMouseThreshold || std::abs(now.y - start.y) > kMouseThreshold;
}

unsigned SaverWndRules::OnEvent(const os::Event& e)
{
    using os::EventType;
    switch (e.type) {
    case EventType::Create:
        m_start = e.pos;
        return m_test ? kActNone : kActHideCursor;
    case EventType::Close:
    case EventType::Destroy:
        return kActShowCursor | kActClearRunning;
    case EventType::Deactivate:
    case EventType::Suspend:
        return kActPostClose;
    case EventType::KeyDown:
    case EventType::ButtonDown:
        return m_test ? kActNone : kActPostClose;
    case EventType::MouseMove:
        return (!m_test && MovedBeyondThreshold(m_start, e.pos)) ? kActPostClose : kActNone;
    case EventType::Char:
        return (m_test && e.key == kEscape) ? kActSendClose : kActNone;
    case EventType::SysCommandClose:
        // Full screen swallows the close command (Alt+F4); the test form
        // lets the default handling turn it into a close.
        return m_test ? kActSendClose : kActNone;
    case EventType::SysCommandScreenSave:
    case EventType::SysKeyDown:
    case EventType::Paint:
        return kActNone;
    }
    return kActNone;
}

unsigned HackWndRules(const os::Event& e)
{
    return (e.type == os::EventType::Close || e.type == os::EventType::Destroy) ? kActClearRunning : kActNone;
}

unsigned BlackWndRules::OnEvent(const os::Event& e)
{
    using os::EventType;
    switch (e.type) {
    case EventType::Create:
        m_start = e.pos;
        return kActHideCursor;
    case EventType::Destroy:
        return kActShowCursor;
    case EventType::KeyDown:
    case EventType::ButtonDown:
        return kActClearRunning;
    case EventType::MouseMove:
        return MovedBeyondThreshold(m_start, e.pos) ? kActClearRunning : kActNone;
    default:
        return kActNone;
    }
}
