// The Windows resources and the Win32 view of the settings dialog, for real
// (under Wine in the cross build): the embedded bytes against the files the
// build embedded, and the dialog from template 102 driven through its
// controls' own messages.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/resources.h"
#include "platform/win32/settings_view_win32.h"
#include "settings/main_dlg.h"
#include "settings/settings.h"

namespace {

std::vector<uint8_t> ReadHostFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(Win32Resources, AreTheFilesTheBuildEmbedded)
{
    const auto table = os::EmbeddedResources();
    const struct {
        os::ResourceType type;
        int id;
        std::string file;
    } expected[] = {
        {os::ResourceType::RCData, 144, VANTOR_HOST_ARCHIVE},
        // The bitmap resource lacks the file header; the lookup puts it back.
        {os::ResourceType::Bitmap, 146, std::string(VANTOR_HOST_RESOURCES) + "/preview.bmp"},
        // The largest image of the icon is the PNG the Linux build embeds.
        {os::ResourceType::Icon, 128, std::string(VANTOR_HOST_RESOURCES) + "/icon.png"},
    };
    for (const auto& e : expected) {
        const std::vector<uint8_t> host = ReadHostFile(e.file);
        ASSERT_FALSE(host.empty()) << e.file;
        const auto bytes = os::FindEmbeddedResource(table, e.type, e.id);
        EXPECT_TRUE(std::vector<uint8_t>(bytes.begin(), bytes.end()) == host)
            << e.file << ": " << bytes.size() << " bytes embedded, " << host.size() << " in the file";
    }
    EXPECT_EQ(table.size(), std::size(expected));
    EXPECT_EQ(os::EmbeddedResources().data(), table.data()) << "built once";

    // The name the display settings list, and the icon at the sizes the
    // dialog asks for.
    char name[64] = {};
    EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), 1, name, sizeof name), 0);
    EXPECT_STREQ(name, "Vantor");
    for (int size : {16, 32}) {
        HICON icon = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << size;
        if (icon)
            DestroyIcon(icon);
    }
}

class Win32DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetDefaultSettings(record);
        record.Path = "C:\\Vantor\\";
        ResetError();
    }
    void TearDown() override { ResetError(); }

    static std::string Text(HWND dialog, int id)
    {
        char text[128] = {};
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    static void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }
    static LRESULT Msg(HWND dialog, int id, UINT msg, WPARAM w = 0, LPARAM l = 0)
    {
        return SendDlgItemMessageA(dialog, id, msg, w, l);
    }
    // Delivers what was posted (the close box posts its Cancel).
    static void Pump()
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }

    Settings record;
    std::vector<std::string> opened;
    CMainDlg dlg{record,
                 {{640, 480, 16}, {800, 600, 32}, {1024, 768, 32}},
                 [this](const std::string& path) { opened.push_back(path); }};
    HWND frame = nullptr;
};

TEST_F(Win32DialogTest, ShowsTheRecordAndTakesEveryChangeFromTheControls)
{
    record.Width = 800;
    record.Height = 600;
    record.Depth = 32;
    record.Desktop = 0;
    record.Velocity = 500; // beyond the slider: kept until a control changes
    CSettingsViewWin32 view(dlg, [this](HWND f) { frame = f; });
    HWND h = view.CreateModeless(nullptr);
    ASSERT_NE(h, nullptr);
    ShowWindow(h, SW_SHOWNOACTIVATE);

    // The template.
    char text[64] = {};
    GetWindowTextA(h, text, sizeof text);
    EXPECT_STREQ(text, "Vantor. Settings:");
    GetClassNameA(GetDlgItem(h, dlg102::kBrightness), text, sizeof text);
    EXPECT_EQ(lstrcmpiA(text, TRACKBAR_CLASSA), 0);
    EXPECT_EQ(frame, GetDlgItem(h, dlg102::kPicture));

    // The record, shown.
    EXPECT_EQ(Msg(h, dlg102::kModeList, CB_GETCOUNT), 3);
    EXPECT_EQ(Msg(h, dlg102::kModeList, CB_GETCURSEL), 1);
    EXPECT_EQ(Text(h, dlg102::kVelocityLabel), "Flight Velocity [max]");
    EXPECT_EQ(Msg(h, dlg102::kVelocity, TBM_GETPOS), 130);
    EXPECT_EQ(Msg(h, dlg102::kMotionBlurSamples, TBM_GETRANGEMIN), 1);
    EXPECT_EQ(Msg(h, dlg102::kMotionBlurSamples, TBM_GETRANGEMAX), 16);
    EXPECT_EQ(Text(h, dlg102::kSamplesLabel), "Motion Blur Samples [6]");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, dlg102::kBrightness)));
    EXPECT_EQ(record.Velocity, 500);

    // A click on a check box, as the button itself reports it.
    Click(h, dlg102::kGamma);
    EXPECT_EQ(record.Gamma, 1);
    EXPECT_EQ(record.Velocity, 130);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(h, dlg102::kBrightness)));

    // The trackbar's own keys: End moves to the top of the range.
    Msg(h, dlg102::kBrightness, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(record.Brightness, 200);
    EXPECT_EQ(Text(h, dlg102::kBrightnessLabel), "Screen Brightness [200%]");
    // A drag through the band around 100% sticks at 100%.
    Msg(h, dlg102::kBrightness, TBM_SETPOS, TRUE, 95);
    SendMessageA(h, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 95),
                 reinterpret_cast<LPARAM>(GetDlgItem(h, dlg102::kBrightness)));
    EXPECT_EQ(record.Brightness, 100);
    EXPECT_EQ(Msg(h, dlg102::kBrightness, TBM_GETPOS), 100);

    // Another mode from the list.
    Msg(h, dlg102::kModeList, CB_SETCURSEL, 2);
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(dlg102::kModeList, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(h, dlg102::kModeList)));
    EXPECT_EQ(record.Width, 1024);
    EXPECT_EQ(record.Depth, 32);
    Click(h, dlg102::kDesktop);
    EXPECT_EQ(record.Desktop, 1);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, dlg102::kModeList)));

    Click(h, dlg102::kMoreInfo);
    EXPECT_EQ(opened, std::vector<std::string>{std::string("C:\\Vantor\\") + kManualName});

    Click(h, dlg102::kRestoreDefaults);
    EXPECT_EQ(record.Velocity, 50);
    EXPECT_EQ(record.Gamma, 0);
    EXPECT_EQ(Msg(h, dlg102::kGamma, BM_GETCHECK), BST_UNCHECKED);
    EXPECT_EQ(record.Path, "C:\\Vantor\\");

    Click(h, dlg102::kOK);
    EXPECT_EQ(view.Result(), 1);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Win32DialogTest, TheCloseBoxCancels)
{
    CSettingsViewWin32 view(dlg, nullptr);
    HWND h = view.CreateModeless(nullptr);
    ASSERT_NE(h, nullptr);
    SendMessageA(h, WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(view.Result(), 2);
    EXPECT_FALSE(IsWindow(h));
}

// The modal loop belongs to the system: what the test does happens in a
// timer callback inside it.
CSettingsViewWin32* g_ModalView = nullptr;
int g_ClickId = 0;

void CALLBACK ClickInDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (g_ModalView && g_ModalView->Handle())
        SendDlgItemMessageA(g_ModalView->Handle(), g_ClickId, BM_CLICK, 0, 0);
}

int RunModalClicking(CSettingsViewWin32& view, int id)
{
    g_ModalView = &view;
    g_ClickId = id;
    SetTimer(nullptr, 0, 0, ClickInDialog);
    struct Reset {
        ~Reset() { g_ModalView = nullptr; }
    } reset;
    return view.RunModal(nullptr);
}

TEST_F(Win32DialogTest, RunsModallyAndLetsTheLogicsErrorsOut)
{
    {
        CSettingsViewWin32 view(dlg, nullptr);
        EXPECT_EQ(RunModalClicking(view, dlg102::kOK), 1);
    }
    // An error inside the logic ends the dialog and surfaces from RunModal,
    // with the chain of names the logic added.
    CMainDlg failing(record, {}, [](const std::string&) { RaiseError("no viewer"); });
    CSettingsViewWin32 view(failing, nullptr);
    EXPECT_THROW(RunModalClicking(view, dlg102::kMoreInfo), CError);
    EXPECT_EQ(g_ErrorChain, "ShowHelp()");
    EXPECT_EQ(view.Handle(), nullptr);
}

} // namespace
