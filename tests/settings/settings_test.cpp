// The settings record over the per-user store: defaults, fallbacks, round trips.
#include <gtest/gtest.h>

#include "platform/fake/fake_os.h"
#include "settings/settings.h"

namespace {

Settings Defaults()
{
    Settings s;
    SetDefaultSettings(s);
    return s;
}

TEST(Settings, DefaultsMatchTheDocumentedValuesAndLeavePathAlone)
{
    Settings s;
    s.Path = "/opt/vantor/";
    SetDefaultSettings(s);
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 480);
    EXPECT_EQ(s.Depth, 16);
    EXPECT_EQ(s.Desktop, 1);
    EXPECT_EQ(s.FPS, 0);
    EXPECT_EQ(s.Fog, 1);
    EXPECT_EQ(s.Sound, 1);
    EXPECT_EQ(s.Gamma, 0);
    EXPECT_EQ(s.Flare, 1);
    EXPECT_EQ(s.AdvancedRendering, 1);
    EXPECT_EQ(s.ClassicCamera, 0);
    EXPECT_EQ(s.MotionBlur, 0);
    EXPECT_EQ(s.MotionBlurQuality, 1);
    EXPECT_EQ(s.MotionBlurSamples, 6);
    EXPECT_EQ(s.Velocity, 50);
    EXPECT_EQ(s.Volume, 100);
    EXPECT_EQ(s.Brightness, 100);
    EXPECT_EQ(s.Path, "/opt/vantor/");
}

TEST(Settings, EmptyStoreGivesDefaultsAndCurrentFolder)
{
    os::MemoryStore store;
    Settings s = Defaults();
    LoadSettingsFromStore(store, s, "./");
    Settings d = Defaults();
    for (const SettingsField& f : kSettingsOrder)
        EXPECT_EQ(s.*f.field, d.*f.field) << f.name;
    EXPECT_EQ(s.Path, "./");
}

TEST(Settings, EachValueFallsBackOnItsOwnAndNothingIsClamped)
{
    os::MemoryStore store;
    auto& v = store.keys[kSettingsKey];
    v["Velocity"] = "500";
    v["Width"] = "wide";          // unreadable: default stays
    v["Height"] = "99999999999";  // beyond 32 bits: default stays
    v["Depth"] = "-5";
    v["Path"] = "/usr/share/doc/vantor/";
    Settings s = Defaults();
    LoadSettingsFromStore(store, s, "./");
    EXPECT_EQ(s.Velocity, 500);
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 480);
    EXPECT_EQ(s.Depth, -5);
    EXPECT_EQ(s.Path, "/usr/share/doc/vantor/");
}

TEST(Settings, UnopenableKeyLeavesRecordUnchangedAndSaveWritesNothing)
{
    os::MemoryStore store;
    store.failOpen = true;
    Settings s = Defaults();
    s.Path = "kept";
    s.Velocity = 77;
    LoadSettingsFromStore(store, s, "./");
    EXPECT_EQ(s.Velocity, 77);
    EXPECT_EQ(s.Path, "kept");
    SaveSettingsToStore(store, s);
    EXPECT_TRUE(store.keys.empty());
}

TEST(Settings, SaveWritesAllSeventeenValuesButNeverPath)
{
    os::MemoryStore store;
    Settings s = Defaults();
    s.Path = "/somewhere/";
    s.MotionBlurSamples = 16;
    s.Brightness = 150;
    SaveSettingsToStore(store, s);
    const auto& v = store.keys[kSettingsKey];
    EXPECT_EQ(v.size(), 17u);
    EXPECT_EQ(v.count("Path"), 0u);
    EXPECT_EQ(v.at("MotionBlurSamples"), "16");
    EXPECT_EQ(v.at("Brightness"), "150");

    Settings back = Defaults();
    LoadSettingsFromStore(store, back, "./");
    for (const SettingsField& f : kSettingsOrder)
        EXPECT_EQ(back.*f.field, s.*f.field) << f.name;
}

TEST(Settings, SetByNameKnowsEveryStoredName)
{
    Settings s = Defaults();
    for (const SettingsField& f : kSettingsOrder)
        EXPECT_TRUE(SetSettingByName(s, f.name, 3)) << f.name;
    for (const SettingsField& f : kSettingsOrder)
        EXPECT_EQ(s.*f.field, 3) << f.name;
    EXPECT_FALSE(SetSettingByName(s, "Path", 1));
    EXPECT_FALSE(SetSettingByName(s, "velocity", 1));
}

} // namespace
