// Display modes and monitors.
#include "app/display.h"

#include <algorithm>

CDisplay::CDisplay(os::IOS& os)
{
    Build(os.DisplayModes());
}

CDisplay::CDisplay(const std::vector<os::DisplayModeInfo>& modes)
{
    Build(modes);
}

void CDisplay::Build(const std::vector<os::DisplayModeInfo>& modes)
{
    m_Count = 0;
    for (const os::DisplayModeInfo& m : modes) {
        if (m.bits != 16 && m.bits != 32)
            continue;
        if (m.width < 640 || m.height < 480)
            continue;
        const DisplayMode mode{m.width, m.height, m.bits};
        // Modes that differ only in refresh rate are one entry for us.
        if (std::find(m_Modes.begin(), m_Modes.begin() + m_Count, mode) != m_Modes.begin() + m_Count)
            continue;
        m_Modes[m_Count++] = mode;
        if (m_Count == kMaxModes)
            break;
    }
    std::sort(m_Modes.begin(), m_Modes.begin() + m_Count, [](const DisplayMode& a, const DisplayMode& b) {
        if (a.width != b.width)
            return a.width < b.width;
        if (a.height != b.height)
            return a.height < b.height;
        return a.bits > b.bits;
    });
}

DisplayMode* CDisplay::item(unsigned index)
{
    return index < m_Count ? &m_Modes[index] : nullptr;
}

const DisplayMode* CDisplay::item(unsigned index) const
{
    return index < m_Count ? &m_Modes[index] : nullptr;
}

namespace {

bool Overlaps(const os::Rect& a, const os::Rect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

} // namespace

std::vector<MonitorRecord> BuildMonitorList(const std::vector<os::ScreenInfo>& screens)
{
    std::vector<MonitorRecord> list;
    for (const os::ScreenInfo& s : screens) {
        if (s.mirroring)
            continue;
        MonitorRecord r;
        r.adapter = s.adapter;
        r.monitor = s.monitor;
        if (s.attached) {
            r.primary = s.primary ? 1 : 0;
            // The bounds stay in the platform's own virtual-screen
            // coordinates: X11 may put the primary monitor anywhere on the
            // root window, and the cover windows are placed in those
            // coordinates. Where the primary sits at the origin (always on
            // Windows) this is the same rectangle.
            r.rect = s.bounds;
            for (size_t i = 0; i < screens.size(); ++i) {
                if (screens[i].attached && !screens[i].mirroring && Overlaps(screens[i].bounds, r.rect)) {
                    r.monitorIndex = static_cast<int>(i);
                    break;
                }
            }
        }
        list.push_back(std::move(r));
    }
    return list;
}

std::vector<MonitorRecord> BuildMonitorList(os::IOS& os)
{
    return BuildMonitorList(os.Screens());
}

bool SetDisplayMode(os::IOS& os, uint32_t width, uint32_t height, uint32_t bits)
{
    return os.SetDisplayMode(width, height, bits);
}

void RestoreDisplayMode(os::IOS& os)
{
    os.RestoreDisplayMode();
}
