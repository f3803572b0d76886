// The controls of settings dialog template 102 as the dialog logic sees
// them: ids, and the few operations a check box, a slider, a drop-down list,
// a label and the dialog itself offer. A window toolkit implements it.
#pragma once

#include <string_view>

#include "settings/dialog102_ids.h"

namespace dlg102 {
inline constexpr int kTemplate = VANTOR_IDD_SETTINGS;
// Buttons.
inline constexpr int kOK = VANTOR_IDC_OK;
inline constexpr int kCancel = VANTOR_IDC_CANCEL;
inline constexpr int kRestoreDefaults = VANTOR_IDC_RESTORE_DEFAULTS;
inline constexpr int kMoreInfo = VANTOR_IDC_MORE_INFO;
// The frame that holds the picture, and the about text.
inline constexpr int kPicture = VANTOR_IDC_PICTURE;
inline constexpr int kAbout = VANTOR_IDC_ABOUT;
// The display-mode list.
inline constexpr int kModeList = VANTOR_IDC_MODE_LIST;
// Check boxes.
inline constexpr int kDesktop = VANTOR_IDC_DESKTOP;
inline constexpr int kFog = VANTOR_IDC_FOG;
inline constexpr int kFPS = VANTOR_IDC_FPS;
inline constexpr int kFlare = VANTOR_IDC_FLARE;
inline constexpr int kMotionBlur = VANTOR_IDC_MOTION_BLUR;
inline constexpr int kClassicCamera = VANTOR_IDC_CLASSIC_CAMERA;
inline constexpr int kAdvancedRendering = VANTOR_IDC_ADVANCED_RENDERING;
inline constexpr int kGamma = VANTOR_IDC_GAMMA;
inline constexpr int kSound = VANTOR_IDC_SOUND;
// Sliders.
inline constexpr int kVolume = VANTOR_IDC_VOLUME;
inline constexpr int kVelocity = VANTOR_IDC_VELOCITY;
inline constexpr int kMotionBlurQuality = VANTOR_IDC_MOTION_BLUR_QUALITY;
inline constexpr int kMotionBlurSamples = VANTOR_IDC_MOTION_BLUR_SAMPLES;
inline constexpr int kBrightness = VANTOR_IDC_BRIGHTNESS;
// Labels.
inline constexpr int kVolumeLabel = VANTOR_IDC_VOLUME_LABEL;
inline constexpr int kVelocityLabel = VANTOR_IDC_VELOCITY_LABEL;
inline constexpr int kQualityLabel = VANTOR_IDC_QUALITY_LABEL;
inline constexpr int kSamplesLabel = VANTOR_IDC_SAMPLES_LABEL;
inline constexpr int kBrightnessLabel = VANTOR_IDC_BRIGHTNESS_LABEL;
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
