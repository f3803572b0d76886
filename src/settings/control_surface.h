// The controls of settings dialog template 102 as the dialog logic sees
// them: ids, and the few operations a check box, a slider, a drop-down list,
// a label and the dialog itself offer. A window toolkit implements it.
#pragma once

#include <string_view>

namespace dlg102 {
// Buttons.
inline constexpr int kOK = 1;
inline constexpr int kCancel = 2;
inline constexpr int kRestoreDefaults = 4;
inline constexpr int kMoreInfo = 1015;
// The frame that holds the picture, and the about text.
inline constexpr int kPicture = 1006;
inline constexpr int kAbout = 1017;
// The display-mode list.
inline constexpr int kModeList = 1008;
// Check boxes.
inline constexpr int kDesktop = 1010;
inline constexpr int kFog = 1011;
inline constexpr int kFPS = 1012;
inline constexpr int kFlare = 1029;
inline constexpr int kMotionBlur = 1031;
inline constexpr int kClassicCamera = 1037;
inline constexpr int kAdvancedRendering = 1038;
inline constexpr int kGamma = 1040;
inline constexpr int kSound = 1042;
// Sliders.
inline constexpr int kVolume = 1021;
inline constexpr int kVelocity = 1030;
inline constexpr int kMotionBlurQuality = 1032;
inline constexpr int kMotionBlurSamples = 1033;
inline constexpr int kBrightness = 1041;
// Labels.
inline constexpr int kVolumeLabel = 1027;
inline constexpr int kVelocityLabel = 1034;
inline constexpr int kQualityLabel = 1035;
inline constexpr int kSamplesLabel = 1036;
inline constexpr int kBrightnessLabel = 1045;
} // namespace dlg102

// What a control reports besides slider movement.
enum class Notification {
    Clicked,         // a button or check box was clicked
    SelectionChange, // the list's selection changed
    Other,
};

class IControlSurface {
public:
    // The dialog as a whole.
    virtual void CenterDialog() = 0;
    virtual void SetIcons() = 0;
    // Shows the program's picture inside the frame control `id`.
    virtual void ShowPicture(int id) = 0;
    virtual void EndDialog(int result) = 0;

    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool GetCheck(int id) = 0;

    // A slider keeps its position within its range, clamping what it is given.
    virtual void SetSliderRange(int id, int min, int max) = 0;
    virtual void SetSliderTicks(int id, int frequency) = 0;
    virtual void SetSliderPos(int id, int pos) = 0;
    virtual int GetSliderPos(int id) = 0;

    virtual void ClearList(int id) = 0;
    virtual void InsertListItem(int id, int index, std::string_view text) = 0;
    // A position that names no item leaves nothing selected.
    virtual void SetListSelection(int id, int index) = 0;
    // -1 when nothing is selected.
    virtual int GetListSelection(int id) = 0;

    virtual void Enable(int id, bool enabled) = 0;
    virtual void SetText(int id, std::string_view text) = 0;

protected:
    ~IControlSurface() = default;
};
