// The GTK view of the settings dialog, driven with real input (xdotool) on
// the test's X server.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/config_dialog.h"
#include "platform/gtk/settings_view.h"
#include "settings/main_dlg.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 256> buf{};
        while (fgets(buf.data(), buf.size(), p))
            out += buf.data();
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// Waits for the dialog's window and returns its X id ("" when it never came).
std::string FindDialog()
{
    for (int i = 0; i < 300; ++i) {
        const std::string id = Shell("xdotool search --onlyvisible --name '^Vantor\\. Settings:$' 2>/dev/null | head -n1");
        if (!id.empty())
            return id;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

void ClickControl(const std::string& window, int id)
{
    const auto r = SettingsControlRect(id);
    ASSERT_TRUE(r);
    // Check boxes: on their box at the left; buttons: in the middle.
    const bool check = r->Height() <= 22;
    const int x = check ? r->left + 8 : (r->left + r->right) / 2;
    const int y = (r->top + r->bottom) / 2;
    Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
        " click 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// Clicks the slider `id` where `value` of [min, max] lies; GTK moves the
// slider to a clicked point of its trough.
void ClickSlider(const std::string& window, int id, int min, int max, int value)
{
    const auto r = SettingsControlRect(id);
    ASSERT_TRUE(r);
    const int knobHalf = 10;
    const int x = r->left + knobHalf + (r->Width() - 2 * knobHalf) * (value - min) / (max - min);
    Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(x) + " " +
          std::to_string((r->top + r->bottom) / 2) + " click 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// Closes every window if the script gets stuck, so the test fails instead of hanging.
gboolean Rescue(gpointer rescued)
{
    *static_cast<bool*>(rescued) = true;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        gtk_window_close(GTK_WINDOW(l->data));
    g_list_free(all);
    return G_SOURCE_REMOVE;
}

class GtkViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY") || Shell("command -v xdotool").empty())
            GTEST_SKIP() << "no X display or no xdotool";
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        SetDefaultSettings(record);
        record.Path = "/usr/share/doc/vantor/";
    }

    // Runs `script` against the dialog while `body` shows it.
    int Drive(const std::function<void(const std::string&)>& script, const std::function<int()>& body)
    {
        std::thread driver([&] {
            const std::string window = FindDialog();
            if (window.empty())
                return;
            found = true;
            script(window);
        });
        rescued = false;
        const guint rescue = g_timeout_add_seconds(30, Rescue, &rescued);
        const int result = body();
        driver.join();
        if (!rescued)
            g_source_remove(rescue);
        EXPECT_FALSE(rescued) << "the script did not end the dialog";
        return result;
    }

    int RunDialog(const std::function<void(const std::string&)>& script)
    {
        CMainDlg dlg(record, {{640, 480, 32}, {640, 480, 16}, {1024, 768, 32}},
                     [this](const std::string& p) { help.push_back(p); });
        const auto picture = testsupport::QuadrantPicture();
        const auto icon = testsupport::MakeBmp24(32, 32, [](int x, int) { return x < 16 ? 0xff8000u : 0x0040ffu; });
        return Drive(script, [&] { return RunSettingsDialog(dlg, picture, icon); });
    }

    Settings record;
    std::vector<std::string> help;
    bool found = false;
    bool rescued = false;
    std::string icons;
};

TEST_F(GtkViewTest, TogglingACheckBoxAndOkEditsTheRecord)
{
    const int result = RunDialog([this](const std::string& w) {
        ClickControl(w, dlg102::kFPS);
        ClickControl(w, dlg102::kDesktop);
        if (const char* shot = std::getenv("VANTOR_DIALOG_SHOT"))
            Shell("import -window " + w + " " + shot);
        icons = Shell("xprop -id " + w + " _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)'");
        ClickControl(w, dlg102::kMoreInfo);
        ClickControl(w, dlg102::kOK);
    });
    ASSERT_TRUE(found);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.FPS, 1);
    EXPECT_EQ(record.Desktop, 0);
    EXPECT_EQ(record.Fog, 1);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0], "/usr/share/doc/vantor/ReadMe.html");
    // The large and the small icon.
    EXPECT_NE(icons.find("Icon (48 x 48)"), std::string::npos) << icons;
    EXPECT_NE(icons.find("Icon (16 x 16)"), std::string::npos) << icons;
}

TEST_F(GtkViewTest, CancelAndEscapeEndWithTwo)
{
    EXPECT_EQ(RunDialog([](const std::string& w) { ClickControl(w, dlg102::kCancel); }), 2);
    EXPECT_TRUE(found);
    found = false;
    EXPECT_EQ(RunDialog([](const std::string& w) { Shell("xdotool windowfocus --sync " + w + " key Escape"); }), 2);
    EXPECT_TRUE(found);
    EXPECT_EQ(record.FPS, 0);
}

TEST_F(GtkViewTest, RestoreDefaultsResetsTheRecord)
{
    record.Velocity = 120;
    record.Sound = 0;
    const int result = RunDialog([](const std::string& w) {
        ClickControl(w, dlg102::kRestoreDefaults);
        ClickControl(w, dlg102::kOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.Velocity, 50);
    EXPECT_EQ(record.Sound, 1);
    EXPECT_EQ(record.Path, "/usr/share/doc/vantor/");
}

TEST_F(GtkViewTest, BrightnessSliderSnapsToHundredNearIt)
{
    record.Gamma = 1;
    record.Brightness = 180;
    auto clickAt = [](int value) {
        return [value](const std::string& w) {
            ClickSlider(w, dlg102::kBrightness, 10, 200, value);
            ClickControl(w, dlg102::kOK);
        };
    };
    EXPECT_EQ(RunDialog(clickAt(100)), 1);
    EXPECT_EQ(record.Brightness, 100);
    EXPECT_EQ(RunDialog(clickAt(40)), 1);
    EXPECT_GT(record.Brightness, 20);
    EXPECT_LT(record.Brightness, 60);
}

// Configure mode's runner: the mode list comes from the OS, filtered and
// sorted, and the dialog edits the process-wide record.
TEST_F(GtkViewTest, ConfigDialogEditsTheProcessRecordWithTheOSModes)
{
    testsupport::ScriptedOS os;
    os.modes = {{640, 480, 8, 60}, {640, 480, 16, 60}, {640, 480, 32, 60}, {640, 480, 32, 75}, {1024, 768, 16, 60}};
    const Settings saved = g_Settings;
    SetDefaultSettings(g_Settings);
    g_Settings.Path = "./";
    g_Settings.Width = 800; // not offered: the first entry is taken once a control changes
    g_Settings.Height = 600;
    const int result = Drive(
        [](const std::string& w) {
            ClickControl(w, dlg102::kDesktop);
            ClickControl(w, dlg102::kMoreInfo);
            ClickControl(w, dlg102::kOK);
        },
        [&] { return RunConfigDialog(os); });
    const Settings edited = g_Settings;
    g_Settings = saved;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(edited.Desktop, 0);
    EXPECT_EQ(edited.Width, 640);
    EXPECT_EQ(edited.Height, 480);
    EXPECT_EQ(edited.Depth, 32);
    EXPECT_EQ(os.opened, (std::vector<std::string>{"./ReadMe.html"}));
}

} // namespace
