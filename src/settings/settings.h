// The settings record: every user choice, filled with defaults at start-up,
// overwritten from the per-user store, edited by the settings dialog and
// written back after a run.
#pragma once

#include <cstdint>
#include <string>

namespace os {
class IUserStore;
}

struct Settings {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Depth = 0;
    int32_t Desktop = 0;
    int32_t FPS = 0;
    int32_t Fog = 0;
    int32_t Sound = 0;
    int32_t Gamma = 0;
    int32_t Flare = 0;
    int32_t AdvancedRendering = 0;
    int32_t ClassicCamera = 0;
    int32_t MotionBlur = 0;
    int32_t MotionBlurQuality = 0;
    int32_t MotionBlurSamples = 0;
    int32_t Velocity = 0;
    int32_t Volume = 0;
    int32_t Brightness = 0;
    std::string Path;  // folder of the manual, used as a prefix
};

extern Settings g_Settings;

// The key of the record in the per-user store.
inline constexpr const char* kSettingsKey = "Software\\Quellwork\\Vantor";

// Number of integer values the record stores.
inline constexpr int kSettingsValueCount = 17;

// The integer fields by their stored name, in the order they are loaded and
// saved.
struct SettingsField {
    const char* name;
    int32_t Settings::*field;
};
extern const SettingsField kSettingsOrder[kSettingsValueCount];

// Writes the defaults into every field but Path.
void SetDefaultSettings(Settings& settings = g_Settings);

// Reads every value the store holds over `settings`; each value on its own,
// a missing or unreadable one keeps the current field. Path falls back to
// `currentFolder` when the store has none. An unopenable key leaves the
// record unchanged.
void LoadSettingsFromStore(os::IUserStore& store, Settings& settings, const std::string& currentFolder);

// Writes the 17 integer values (never Path). Failures are silent.
void SaveSettingsToStore(os::IUserStore& store, const Settings& settings);

// Sets one integer field by its stored name (case-sensitive); false for an
// unknown name. Used by front ends that take Name=value overrides.
bool SetSettingByName(Settings& settings, const std::string& name, int32_t value);
