// Display modes and monitors: the mode list the settings dialog offers, the
// temporary mode switch of screensaver mode, and the list of monitors the
// black cover windows are placed on.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"

struct DisplayMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 0;
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// The full-screen modes of the primary display: 16 and 32 bits only, at
// least 640x480, one entry per size and depth, at most kMaxModes of them,
// sorted by width, height, then depth (deeper first).
class CDisplay {
public:
    static constexpr unsigned kMaxModes = 100;

    explicit CDisplay(os::IOS& os);
    // Builds the list from modes given in the platform's enumeration order.
    explicit CDisplay(const std::vector<os::DisplayModeInfo>& modes);
    virtual ~CDisplay() = default;

    unsigned count() const { return m_Count; }
    // Null when `index` is not below count().
    DisplayMode* item(unsigned index);
    const DisplayMode* item(unsigned index) const;

private:
    void Build(const std::vector<os::DisplayModeInfo>& modes);

    unsigned m_Count = 0;
    std::array<DisplayMode, kMaxModes> m_Modes{};
};

// One display adapter with the monitor attached to it.
struct MonitorRecord {
    std::string adapter;   // adapter description
    std::string monitor;   // monitor description, empty when none reported
    int monitorIndex = -1; // index into os::IOS::Screens() of the monitor covering `rect`; -1 when none
    os::Rect rect;         // virtual-screen coordinates; all zero when not attached
    int primary = 0;       // 1 for the primary adapter
};

// Every adapter but mirroring ones, in the platform's order.
std::vector<MonitorRecord> BuildMonitorList(os::IOS& os);
// The same, from a given screen list (what BuildMonitorList asks the OS for).
std::vector<MonitorRecord> BuildMonitorList(const std::vector<os::ScreenInfo>& screens);

// Switches the primary display temporarily (never written to the user's
// profile); true only when the switch took place.
bool SetDisplayMode(os::IOS& os, uint32_t width, uint32_t height, uint32_t bits);
// Returns to the user's own mode.
void RestoreDisplayMode(os::IOS& os);
