// The settings dialog's logic: every click, slider movement and choice in
// the mode list copies all controls into the settings record and then
// refreshes all controls from it. The controls themselves are behind
// IControlSurface, so the rules run without a window system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "settings/control_surface.h"

struct Settings;

// One entry of the mode list, in the order the list shows them.
struct DialogMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 0;
};

// The manual that "More Info..." opens, found at the record's Path. One
// HTML page on every platform: the desktop's browser shows it.
inline constexpr const char* kManualName = "ReadMe.html";

class CMainDlg {
public:
    using HelpOpener = std::function<void(const std::string& path)>;

    CMainDlg(Settings& record, std::vector<DialogMode> modes, HelpOpener openHelp);
    virtual ~CMainDlg() = default;

    // Initialises `surface`, which must outlive the dialog's use. True: the
    // toolkit sets the default focus.
    bool OnInitDialog(IControlSurface& surface);
    // `first` fills the mode list and sets the slider ranges; `read` copies
    // the controls into the record before the refresh.
    void UpdateControls(bool first, bool read);
    // Buttons, check boxes and the mode list.
    void OnCommand(int id, Notification code);
    // Any movement of the slider `id`.
    void OnHScroll(int id);
    void ShowHelp();

    const std::vector<DialogMode>& Modes() const { return m_Modes; }

private:
    void ReadControls();
    void RefreshControls();

    Settings& m_Record;
    std::vector<DialogMode> m_Modes;
    HelpOpener m_OpenHelp;
    IControlSurface* m_Surface = nullptr;
};

// The word for a motion blur quality or velocity level 0..2.
const char* LevelWord(int level);
// Velocity slider position -> level: 40 positions per level, 0..2.
int VelocityLevel(int position);
