// Defaults and persistence of the settings record.
#include "settings/settings.h"

#include "platform/os.h"

Settings g_Settings;

// Loading and saving walk the values in this order.
const SettingsField kSettingsOrder[kSettingsValueCount] = {
    {"Width", &Settings::Width},
    {"Height", &Settings::Height},
    {"Depth", &Settings::Depth},
    {"Desktop", &Settings::Desktop},
    {"FPS", &Settings::FPS},
    {"Fog", &Settings::Fog},
    {"Flare", &Settings::Flare},
    {"AdvancedRendering", &Settings::AdvancedRendering},
    {"ClassicCamera", &Settings::ClassicCamera},
    {"MotionBlur", &Settings::MotionBlur},
    {"MotionBlurQuality", &Settings::MotionBlurQuality},
    {"MotionBlurSamples", &Settings::MotionBlurSamples},
    {"Velocity", &Settings::Velocity},
    {"Sound", &Settings::Sound},
    {"Volume", &Settings::Volume},
    {"Gamma", &Settings::Gamma},
    {"Brightness", &Settings::Brightness},
};

void SetDefaultSettings(Settings& s)
{
    s.Width = 640;
    s.Height = 480;
    s.Depth = 16;
    s.Desktop = 1;
    s.FPS = 0;
    s.Fog = 1;
    s.Sound = 1;
    s.Gamma = 0;
    s.Flare = 1;
    s.AdvancedRendering = 1;
    s.ClassicCamera = 0;
    s.MotionBlur = 0;
    s.MotionBlurQuality = 1;
    s.MotionBlurSamples = 6;
    s.Velocity = 50;
    s.Volume = 100;
    s.Brightness = 100;
}

void LoadSettingsFromStore(os::IUserStore& store, Settings& s, const std::string& currentFolder)
{
    auto key = store.OpenKey(kSettingsKey);
    if (!key)
        return;
    for (const SettingsField& f : kSettingsOrder) {
        int32_t value = 0;
        if (key->QueryInt(f.name, value))
            s.*f.field = value;
    }
    std::string path;
    s.Path = key->QueryString("Path", path) ? path : currentFolder;
}

void SaveSettingsToStore(os::IUserStore& store, const Settings& s)
{
    auto key = store.OpenKey(kSettingsKey);
    if (!key)
        return;
    for (const SettingsField& f : kSettingsOrder)
        key->SetInt(f.name, s.*f.field);
    key->Commit();
}

bool SetSettingByName(Settings& s, const std::string& name, int32_t value)
{
    for (const SettingsField& f : kSettingsOrder) {
        if (name == f.name) {
            s.*f.field = value;
            return true;
        }
    }
    return false;
}
