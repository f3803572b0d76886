// The settings dialog's rules.
#include "settings/main_dlg.h"

#include <algorithm>
#include <cstdio>

#include "base/error.h"
#include "settings/settings.h"

namespace {

struct SliderRange {
    int id;
    int min;
    int max;
    int ticks; // 0: no tick frequency is set
};

constexpr SliderRange kSliderRanges[] = {
    {dlg102::kVelocity, 0, 130, 0},
    {dlg102::kMotionBlurQuality, 0, 2, 1},
    {dlg102::kMotionBlurSamples, 1, 16, 1},
    {dlg102::kVolume, 0, 100, 0},
    {dlg102::kBrightness, 10, 200, 0},
};

struct CheckBinding {
    int id;
    int32_t Settings::*field;
};

// In the order the controls are read.
constexpr CheckBinding kChecks[] = {
    {dlg102::kClassicCamera, &Settings::ClassicCamera},
    {dlg102::kMotionBlur, &Settings::MotionBlur},
    {dlg102::kFog, &Settings::Fog},
    {dlg102::kFlare, &Settings::Flare},
    {dlg102::kFPS, &Settings::FPS},
    {dlg102::kDesktop, &Settings::Desktop},
    {dlg102::kAdvancedRendering, &Settings::AdvancedRendering},
    {dlg102::kSound, &Settings::Sound},
    {dlg102::kGamma, &Settings::Gamma},
};

constexpr CheckBinding kSliders[] = {
    {dlg102::kVelocity, &Settings::Velocity},
    {dlg102::kMotionBlurQuality, &Settings::MotionBlurQuality},
    {dlg102::kMotionBlurSamples, &Settings::MotionBlurSamples},
    {dlg102::kVolume, &Settings::Volume},
    {dlg102::kBrightness, &Settings::Brightness},
};

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

} // namespace

const char* LevelWord(int level)
{
    static const char* const kWords[] = {"min", "med", "max"};
    return kWords[std::clamp(level, 0, 2)];
}

int VelocityLevel(int position)
{
    return std::clamp(position / 40, 0, 2);
}

CMainDlg::CMainDlg(Settings& record, std::vector<DialogMode> modes, HelpOpener openHelp)
    : m_Record(record), m_Modes(std::move(modes)), m_OpenHelp(std::move(openHelp))
{
}

bool CMainDlg::OnInitDialog(IControlSurface& surface)
{
    return InChain("CMainDlg::OnInitDialog", [&] {
        m_Surface = &surface;
        surface.CenterDialog();
        surface.SetIcons();
        surface.ShowPicture(dlg102::kPicture);
        UpdateControls(true, true);
        return true;
    });
}

void CMainDlg::UpdateControls(bool first, bool read)
{
    InChain("CMainDlg::UpdateControls", [&] {
        if (!m_Surface)
            return;
        IControlSurface& s = *m_Surface;
        if (first) {
            s.ClearList(dlg102::kModeList);
            for (size_t i = 0; i < m_Modes.size(); ++i) {
                const DialogMode& m = m_Modes[i];
                s.InsertListItem(dlg102::kModeList, static_cast<int>(i),
                                 Format("%ux%u %u bits", m.width, m.height, m.bits));
            }
            for (const SliderRange& r : kSliderRanges) {
                s.SetSliderRange(r.id, r.min, r.max);
                if (r.ticks)
                    s.SetSliderTicks(r.id, r.ticks);
            }
        }
        // The first pass only shows the record: values from the store that
        // lie outside a slider's range, or a mode missing from the list, stay
        // in the record until the user changes some control.
        if (read && !first)
            ReadControls();
        RefreshControls();
    });
}

void CMainDlg::ReadControls()
{
    IControlSurface& s = *m_Surface;
    const int sel = s.GetListSelection(dlg102::kModeList);
    if (sel >= 0 && static_cast<size_t>(sel) < m_Modes.size()) {
        const DialogMode& m = m_Modes[static_cast<size_t>(sel)];
        m_Record.Width = static_cast<int32_t>(m.width);
        m_Record.Height = static_cast<int32_t>(m.height);
        m_Record.Depth = static_cast<int32_t>(m.bits);
    }
    for (const CheckBinding& b : kSliders)
        m_Record.*b.field = s.GetSliderPos(b.id);
    // A band around 100% snaps to exactly 100%, so the neutral ramp is easy to hit.
    if (m_Record.Brightness >= 91 && m_Record.Brightness <= 109)
        m_Record.Brightness = 100;
    for (const CheckBinding& b : kChecks)
        m_Record.*b.field = s.GetCheck(b.id) ? 1 : 0;
}

void CMainDlg::RefreshControls()
{
    IControlSurface& s = *m_Surface;
    for (const CheckBinding& b : kSliders)
        s.SetSliderPos(b.id, m_Record.*b.field);
    for (const CheckBinding& b : kChecks)
        s.SetCheck(b.id, m_Record.*b.field != 0);

    s.Enable(dlg102::kModeList, m_Record.Desktop == 0);
    const bool blur = m_Record.MotionBlur != 0;
    s.Enable(dlg102::kMotionBlurQuality, blur);
    s.Enable(dlg102::kMotionBlurSamples, blur);
    s.Enable(dlg102::kVolume, m_Record.Sound != 0);
    s.Enable(dlg102::kBrightness, m_Record.Gamma != 0);

    // Labels follow the sliders, which may have clamped the record's value.
    s.SetText(dlg102::kVelocityLabel,
              Format("Flight Velocity [%s]", LevelWord(VelocityLevel(s.GetSliderPos(dlg102::kVelocity)))));
    s.SetText(dlg102::kQualityLabel,
              Format("Motion Blur Quality [%s]", LevelWord(s.GetSliderPos(dlg102::kMotionBlurQuality))));
    s.Enable(dlg102::kQualityLabel, blur);
    s.SetText(dlg102::kSamplesLabel, Format("Motion Blur Samples [%d]", s.GetSliderPos(dlg102::kMotionBlurSamples)));
    s.Enable(dlg102::kSamplesLabel, blur);
    s.SetText(dlg102::kVolumeLabel, Format("Sound Volume [%d%%]", s.GetSliderPos(dlg102::kVolume)));
    s.Enable(dlg102::kVolumeLabel, m_Record.Sound != 0);
    s.SetText(dlg102::kBrightnessLabel, Format("Screen Brightness [%d%%]", s.GetSliderPos(dlg102::kBrightness)));
    s.Enable(dlg102::kBrightnessLabel, m_Record.Gamma != 0);
    s.Enable(dlg102::kVelocityLabel, true);

    s.SetListSelection(dlg102::kModeList, 0);
    for (size_t i = 0; i < m_Modes.size(); ++i) {
        const DialogMode& m = m_Modes[i];
        if (static_cast<int64_t>(m.width) == m_Record.Width && static_cast<int64_t>(m.height) == m_Record.Height &&
            static_cast<int64_t>(m.bits) == m_Record.Depth) {
            s.SetListSelection(dlg102::kModeList, static_cast<int>(i));
            break;
        }
    }
}

void CMainDlg::OnCommand(int id, Notification code)
{
    if (!m_Surface)
        return;
    switch (id) {
    case dlg102::kOK:
        m_Surface->EndDialog(1);
        return;
    case dlg102::kCancel:
        m_Surface->EndDialog(2);
        return;
    case dlg102::kRestoreDefaults:
        if (code == Notification::Clicked) {
            SetDefaultSettings(m_Record);
            UpdateControls(false, false);
        }
        return;
    case dlg102::kModeList:
        if (code == Notification::SelectionChange)
            UpdateControls(false, true);
        return;
    case dlg102::kMoreInfo:
        if (code == Notification::Clicked)
            ShowHelp();
        return;
    default:
        break;
    }
    for (const CheckBinding& b : kChecks) {
        if (b.id == id) {
            if (code == Notification::Clicked)
                UpdateControls(false, true);
            return;
        }
    }
}

void CMainDlg::OnHScroll(int id)
{
    for (const CheckBinding& b : kSliders) {
        if (b.id == id) {
            UpdateControls(false, true);
            return;
        }
    }
}

void CMainDlg::ShowHelp()
{
    InChain("ShowHelp", [&] {
        if (m_OpenHelp)
            m_OpenHelp(m_Record.Path + kManualName);
    });
}
