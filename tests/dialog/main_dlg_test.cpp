// The settings dialog's rules on a fake control surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/error.h"
#include "settings/main_dlg.h"
#include "settings/settings.h"

namespace {

// Behaves like the real controls where the rules depend on it: sliders clamp,
// a list selection outside the items selects nothing.
class FakeSurface : public IControlSurface {
public:
    struct Slider {
        int min = 0, max = 100, pos = 0, ticks = 0;
        bool ranged = false;
    };
    std::vector<std::string> calls;
    std::map<int, bool> checks;
    std::map<int, Slider> sliders;
    std::vector<std::string> items;
    int selection = -1;
    std::map<int, bool> enabled;
    std::map<int, std::string> texts;
    int result = 0;

    void CenterDialog() override { calls.push_back("center"); }
    void SetIcons() override { calls.push_back("icons"); }
    void ShowPicture(int id) override { calls.push_back("picture " + std::to_string(id)); }
    void EndDialog(int r) override { result = r; }
    void SetCheck(int id, bool c) override { checks[id] = c; }
    bool GetCheck(int id) override { return checks.at(id); }
    void SetSliderRange(int id, int min, int max) override
    {
        Slider& s = sliders[id];
        s.min = min;
        s.max = max;
        s.ranged = true;
        s.pos = std::clamp(s.pos, min, max);
    }
    void SetSliderTicks(int id, int f) override { sliders[id].ticks = f; }
    void SetSliderPos(int id, int pos) override
    {
        Slider& s = sliders.at(id);
        s.pos = std::clamp(pos, s.min, s.max);
    }
    int GetSliderPos(int id) override { return sliders.at(id).pos; }
    void ClearList(int) override
    {
        calls.push_back("clear list");
        items.clear();
        selection = -1;
    }
    void InsertListItem(int, int index, std::string_view text) override
    {
        items.insert(items.begin() + index, std::string(text));
    }
    void SetListSelection(int, int index) override
    {
        selection = index >= 0 && index < static_cast<int>(items.size()) ? index : -1;
    }
    int GetListSelection(int) override { return selection; }
    void Enable(int id, bool e) override { enabled[id] = e; }
    void SetText(int id, std::string_view t) override { texts[id] = std::string(t); }
};

class MainDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetDefaultSettings(record);
        record.Path = "/opt/vantor/";
        ResetError();
    }

    // Opens the dialog on the current record.
    void Open(std::vector<DialogMode> list = {{640, 480, 32}, {640, 480, 16}, {800, 600, 32}, {1024, 768, 32}})
    {
        modes = list;
        dlg = std::make_unique<CMainDlg>(record, modes, [this](const std::string& p) { helpOpened.push_back(p); });
        ASSERT_TRUE(dlg->OnInitDialog(ui));
    }
    // What the user does: the control changes, then it notifies the dialog.
    void Click(int id)
    {
        ui.checks[id] = !ui.checks[id];
        dlg->OnCommand(id, Notification::Clicked);
    }
    void Drag(int id, int pos)
    {
        ui.SetSliderPos(id, pos);
        dlg->OnHScroll(id);
    }
    void Pick(int index)
    {
        ui.SetListSelection(dlg102::kModeList, index);
        dlg->OnCommand(dlg102::kModeList, Notification::SelectionChange);
    }

    Settings record;
    std::vector<DialogMode> modes;
    FakeSurface ui;
    std::unique_ptr<CMainDlg> dlg;
    std::vector<std::string> helpOpened;
};

TEST_F(MainDlgTest, InitShowsTheRecordWithRangesListAndLabels)
{
    record.Width = 800;
    record.Height = 600;
    record.Depth = 32;
    record.Desktop = 0;
    Open();
    // Window set-up comes before the controls are filled.
    ASSERT_GE(ui.calls.size(), 4u);
    EXPECT_EQ(ui.calls[0], "center");
    EXPECT_EQ(ui.calls[1], "icons");
    EXPECT_EQ(ui.calls[2], "picture 1006");
    EXPECT_EQ(ui.calls[3], "clear list");

    EXPECT_EQ(ui.items, (std::vector<std::string>{"640x480 32 bits", "640x480 16 bits", "800x600 32 bits",
                                                  "1024x768 32 bits"}));
    EXPECT_EQ(ui.selection, 2);

    struct Range {
        int id, min, max, ticks;
    };
    for (const Range& r : {Range{dlg102::kVelocity, 0, 130, 0}, Range{dlg102::kMotionBlurQuality, 0, 2, 1},
                           Range{dlg102::kMotionBlurSamples, 1, 16, 1}, Range{dlg102::kVolume, 0, 100, 0},
                           Range{dlg102::kBrightness, 10, 200, 0}}) {
        SCOPED_TRACE(r.id);
        EXPECT_EQ(ui.sliders.at(r.id).min, r.min);
        EXPECT_EQ(ui.sliders.at(r.id).max, r.max);
        EXPECT_EQ(ui.sliders.at(r.id).ticks, r.ticks);
    }
    EXPECT_EQ(ui.sliders.at(dlg102::kVelocity).pos, 50);
    EXPECT_EQ(ui.sliders.at(dlg102::kMotionBlurSamples).pos, 6);
    EXPECT_EQ(ui.sliders.at(dlg102::kBrightness).pos, 100);

    EXPECT_TRUE(ui.checks.at(dlg102::kFog));
    EXPECT_TRUE(ui.checks.at(dlg102::kFlare));
    EXPECT_TRUE(ui.checks.at(dlg102::kAdvancedRendering));
    EXPECT_TRUE(ui.checks.at(dlg102::kSound));
    EXPECT_FALSE(ui.checks.at(dlg102::kDesktop));
    EXPECT_FALSE(ui.checks.at(dlg102::kFPS));
    EXPECT_FALSE(ui.checks.at(dlg102::kGamma));
    EXPECT_FALSE(ui.checks.at(dlg102::kClassicCamera));
    EXPECT_FALSE(ui.checks.at(dlg102::kMotionBlur));

    EXPECT_EQ(ui.texts.at(dlg102::kVelocityLabel), "Flight Velocity [med]");
    EXPECT_EQ(ui.texts.at(dlg102::kQualityLabel), "Motion Blur Quality [med]");
    EXPECT_EQ(ui.texts.at(dlg102::kSamplesLabel), "Motion Blur Samples [6]");
    EXPECT_EQ(ui.texts.at(dlg102::kVolumeLabel), "Sound Volume [100%]");
    EXPECT_EQ(ui.texts.at(dlg102::kBrightnessLabel), "Screen Brightness [100%]");
}

TEST_F(MainDlgTest, BrightnessBandAroundHundredSnapsToHundred)
{
    record.Gamma = 1;
    Open();
    for (int pos : {91, 95, 100, 109}) {
        Drag(dlg102::kBrightness, pos);
        EXPECT_EQ(record.Brightness, 100) << pos;
        EXPECT_EQ(ui.sliders.at(dlg102::kBrightness).pos, 100) << pos;
        EXPECT_EQ(ui.texts.at(dlg102::kBrightnessLabel), "Screen Brightness [100%]") << pos;
    }
    for (int pos : {10, 90, 110, 200}) {
        Drag(dlg102::kBrightness, pos);
        EXPECT_EQ(record.Brightness, pos);
        EXPECT_EQ(ui.texts.at(dlg102::kBrightnessLabel), "Screen Brightness [" + std::to_string(pos) + "%]");
    }
}

TEST_F(MainDlgTest, LabelsFollowTheSliders)
{
    record.MotionBlur = 1;
    Open();
    const std::pair<int, const char*> velocity[] = {{0, "min"}, {39, "min"}, {40, "med"}, {79, "med"},
                                                    {80, "max"}, {130, "max"}};
    for (auto [pos, word] : velocity) {
        Drag(dlg102::kVelocity, pos);
        EXPECT_EQ(record.Velocity, pos);
        EXPECT_EQ(ui.texts.at(dlg102::kVelocityLabel), std::string("Flight Velocity [") + word + "]");
    }
    const char* quality[] = {"min", "med", "max"};
    for (int q = 0; q <= 2; ++q) {
        Drag(dlg102::kMotionBlurQuality, q);
        EXPECT_EQ(record.MotionBlurQuality, q);
        EXPECT_EQ(ui.texts.at(dlg102::kQualityLabel), std::string("Motion Blur Quality [") + quality[q] + "]");
    }
    Drag(dlg102::kMotionBlurSamples, 16);
    EXPECT_EQ(ui.texts.at(dlg102::kSamplesLabel), "Motion Blur Samples [16]");
    Drag(dlg102::kVolume, 37);
    EXPECT_EQ(record.Volume, 37);
    EXPECT_EQ(ui.texts.at(dlg102::kVolumeLabel), "Sound Volume [37%]");
}

TEST_F(MainDlgTest, CheckBoxesEnableTheirControlsAndKeepValues)
{
    record.Desktop = 1;
    record.Width = 800;
    record.Height = 600;
    record.Depth = 32;
    record.MotionBlur = 1;
    record.MotionBlurSamples = 9;
    Open();
    EXPECT_FALSE(ui.enabled.at(dlg102::kModeList));
    Click(dlg102::kDesktop);
    EXPECT_EQ(record.Desktop, 0);
    EXPECT_TRUE(ui.enabled.at(dlg102::kModeList));
    EXPECT_EQ(ui.selection, 2); // the stored mode
    Click(dlg102::kDesktop);
    EXPECT_FALSE(ui.enabled.at(dlg102::kModeList));

    for (int id : {dlg102::kMotionBlurQuality, dlg102::kMotionBlurSamples, dlg102::kQualityLabel, dlg102::kSamplesLabel})
        EXPECT_TRUE(ui.enabled.at(id)) << id;
    Click(dlg102::kMotionBlur);
    EXPECT_EQ(record.MotionBlur, 0);
    for (int id : {dlg102::kMotionBlurQuality, dlg102::kMotionBlurSamples, dlg102::kQualityLabel, dlg102::kSamplesLabel})
        EXPECT_FALSE(ui.enabled.at(id)) << id;
    EXPECT_EQ(record.MotionBlurSamples, 9);
    EXPECT_EQ(ui.sliders.at(dlg102::kMotionBlurSamples).pos, 9);

    Click(dlg102::kSound);
    EXPECT_EQ(record.Sound, 0);
    EXPECT_FALSE(ui.enabled.at(dlg102::kVolume));
    EXPECT_FALSE(ui.enabled.at(dlg102::kVolumeLabel));
    EXPECT_FALSE(ui.enabled.at(dlg102::kBrightness));
    Click(dlg102::kGamma);
    EXPECT_EQ(record.Gamma, 1);
    EXPECT_TRUE(ui.enabled.at(dlg102::kBrightness));
    EXPECT_TRUE(ui.enabled.at(dlg102::kBrightnessLabel));
    EXPECT_TRUE(ui.enabled.at(dlg102::kVelocityLabel));

    // Every check box lands in its own field.
    const std::pair<int, int32_t Settings::*> boxes[] = {
        {dlg102::kFog, &Settings::Fog},         {dlg102::kFlare, &Settings::Flare},
        {dlg102::kFPS, &Settings::FPS},         {dlg102::kClassicCamera, &Settings::ClassicCamera},
        {dlg102::kAdvancedRendering, &Settings::AdvancedRendering}};
    for (auto [id, field] : boxes) {
        const int32_t before = record.*field;
        Click(id);
        EXPECT_EQ(record.*field, before ? 0 : 1) << id;
    }
}

TEST_F(MainDlgTest, StoredModeMissingFromTheListStaysUntilAControlChanges)
{
    record.Desktop = 0;
    record.Width = 800;
    record.Height = 600;
    record.Depth = 24;
    Open();
    EXPECT_EQ(ui.selection, 0);
    EXPECT_EQ(record.Width, 800);
    EXPECT_EQ(record.Depth, 24);
    dlg->OnCommand(dlg102::kOK, Notification::Clicked);
    EXPECT_EQ(ui.result, 1);
    EXPECT_EQ(record.Depth, 24);

    Click(dlg102::kFog);
    EXPECT_EQ(record.Width, 640);
    EXPECT_EQ(record.Height, 480);
    EXPECT_EQ(record.Depth, 32);
    Pick(3);
    EXPECT_EQ(record.Width, 1024);
    EXPECT_EQ(record.Height, 768);
    EXPECT_EQ(ui.selection, 3);
}

TEST_F(MainDlgTest, OutOfRangeStoreValuesShowClampedAndStayUntilAChange)
{
    record.Velocity = 500;
    record.Brightness = -5;
    record.MotionBlurSamples = 0;
    Open();
    EXPECT_EQ(ui.sliders.at(dlg102::kVelocity).pos, 130);
    EXPECT_EQ(ui.texts.at(dlg102::kVelocityLabel), "Flight Velocity [max]");
    EXPECT_EQ(ui.texts.at(dlg102::kBrightnessLabel), "Screen Brightness [10%]");
    EXPECT_EQ(ui.texts.at(dlg102::kSamplesLabel), "Motion Blur Samples [1]");
    dlg->OnCommand(dlg102::kOK, Notification::Clicked);
    EXPECT_EQ(record.Velocity, 500);
    EXPECT_EQ(record.Brightness, -5);

    Click(dlg102::kFPS);
    EXPECT_EQ(record.Velocity, 130);
    EXPECT_EQ(record.Brightness, 10);
    EXPECT_EQ(record.MotionBlurSamples, 1);
}

TEST_F(MainDlgTest, RestoreDefaultsResetsEverythingButPath)
{
    record.Desktop = 0;
    Open({{1024, 768, 32}, {640, 480, 32}, {640, 480, 16}});
    Click(dlg102::kFPS);
    Click(dlg102::kMotionBlur);
    Click(dlg102::kGamma);
    Drag(dlg102::kVelocity, 120);
    Drag(dlg102::kBrightness, 150);
    Drag(dlg102::kVolume, 3);
    Pick(0);
    ui.checks[dlg102::kFog] = false; // changed but not yet reported: must not be read

    dlg->OnCommand(dlg102::kRestoreDefaults, Notification::Clicked);
    Settings defaults;
    SetDefaultSettings(defaults);
    for (const SettingsField& f : kSettingsOrder)
        EXPECT_EQ(record.*f.field, defaults.*f.field) << f.name;
    EXPECT_EQ(record.Path, "/opt/vantor/");
    EXPECT_EQ(ui.selection, 2); // 640x480 16 bits
    EXPECT_TRUE(ui.checks.at(dlg102::kFog));
    EXPECT_FALSE(ui.checks.at(dlg102::kFPS));
    EXPECT_EQ(ui.sliders.at(dlg102::kVelocity).pos, 50);
    EXPECT_EQ(ui.texts.at(dlg102::kVolumeLabel), "Sound Volume [100%]");
    EXPECT_FALSE(ui.enabled.at(dlg102::kModeList));
}

TEST_F(MainDlgTest, CommandTable)
{
    Open();
    ui.checks[dlg102::kFPS] = true; // not reported
    dlg->OnCommand(dlg102::kOK, Notification::Other);
    EXPECT_EQ(ui.result, 1);
    EXPECT_EQ(record.FPS, 0); // OK does not read the controls
    dlg->OnCommand(dlg102::kCancel, Notification::Clicked);
    EXPECT_EQ(ui.result, 2);

    // Only clicks of check boxes and selection changes of the list read the controls.
    dlg->OnCommand(dlg102::kFPS, Notification::Other);
    EXPECT_EQ(record.FPS, 0);
    dlg->OnCommand(dlg102::kModeList, Notification::Clicked);
    EXPECT_EQ(record.FPS, 0);
    dlg->OnCommand(9999, Notification::Clicked);
    EXPECT_EQ(record.FPS, 0);
    dlg->OnHScroll(dlg102::kFPS); // not a slider
    EXPECT_EQ(record.FPS, 0);
    dlg->OnCommand(dlg102::kFPS, Notification::Clicked);
    EXPECT_EQ(record.FPS, 1);

    dlg->OnCommand(dlg102::kMoreInfo, Notification::Clicked);
    ASSERT_EQ(helpOpened.size(), 1u);
    EXPECT_EQ(helpOpened[0], std::string("/opt/vantor/") + kManualName);
    EXPECT_EQ(helpOpened[0], "/opt/vantor/ReadMe.html");
}

TEST_F(MainDlgTest, EmptyModeListKeepsTheStoredMode)
{
    record.Desktop = 0;
    record.Width = 1280;
    Open({});
    EXPECT_TRUE(ui.items.empty());
    EXPECT_EQ(ui.selection, -1);
    Click(dlg102::kFog);
    EXPECT_EQ(record.Width, 1280);
}

TEST_F(MainDlgTest, FailuresJoinTheErrorChain)
{
    Open();
    dlg = std::make_unique<CMainDlg>(record, modes, [](const std::string&) { RaiseError("no viewer"); });
    ASSERT_TRUE(dlg->OnInitDialog(ui));
    EXPECT_THROW(dlg->OnCommand(dlg102::kMoreInfo, Notification::Clicked), CError);
    EXPECT_EQ(g_ErrorChain, "ShowHelp()");

    // A control that fails while the dialog starts.
    class Broken : public FakeSurface {
        void SetText(int, std::string_view) override { RaiseError("broken"); }
    } broken;
    ResetError();
    EXPECT_THROW(dlg->OnInitDialog(broken), CError);
    EXPECT_EQ(g_ErrorChain, "CMainDlg::OnInitDialog() -> CMainDlg::UpdateControls()");
    EXPECT_EQ(g_ErrorText, "\"broken\"");
}

TEST(LevelWords, VelocityAndQualityLevels)
{
    EXPECT_EQ(VelocityLevel(-10), 0);
    EXPECT_EQ(VelocityLevel(1000), 2);
    EXPECT_STREQ(LevelWord(-1), "min");
    EXPECT_STREQ(LevelWord(7), "max");
}

} // namespace
