// The Win32 layer of the shell, run under Windows (or Wine): the registry
// store with values that are missing or of the wrong kind, the named mutex,
// the checks on the preview picture, and how the window procedure turns
// messages into events.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/bitmap_file.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/win32_os.h"
#include "settings/settings.h"

namespace {

// ----------------------------------------------------------- registry store

class RegistryStoreTest : public ::testing::Test {
protected:
    RegistryStoreTest() : m_path("Software\\Quellwork\\VantorShellTest" + std::to_string(GetCurrentProcessId())) {}
    ~RegistryStoreTest() override { RegDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str()); }

    void SetRaw(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }

    std::string m_path;
    std::unique_ptr<os::IUserStore> m_store = os::win32::CreateRegistryStore(HKEY_CURRENT_USER);
};

TEST_F(RegistryStoreTest, SavedSettingsComeBackAsDwordsAndPathStaysUnwritten)
{
    Settings saved;
    SetDefaultSettings(saved);
    saved.Velocity = 500;  // out of the dialog's range: kept as it is
    saved.Brightness = -7;
    {
        auto key = m_store->OpenKey(m_path);
        ASSERT_TRUE(key);
        for (const SettingsField& f : kSettingsOrder)
            EXPECT_TRUE(key->SetInt(f.name, saved.*f.field));
        EXPECT_TRUE(key->Commit());
    }
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, m_path.c_str(), &raw), ERROR_SUCCESS);
    DWORD type = 0, size = 0, values = 0;
    RegQueryValueExA(raw, "Velocity", nullptr, &type, nullptr, &size);
    RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(raw);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(values, 17u);

    Settings loaded;
    SetDefaultSettings(loaded);
    auto key = m_store->OpenKey(m_path);
    for (const SettingsField& f : kSettingsOrder) {
        int32_t v = 0;
        EXPECT_TRUE(key->QueryInt(f.name, v)) << f.name;
        loaded.*f.field = v;
    }
    EXPECT_EQ(loaded.Velocity, 500);
    EXPECT_EQ(loaded.Brightness, -7);
    std::string path;
    EXPECT_FALSE(key->QueryString("Path", path));
}

TEST_F(RegistryStoreTest, EachValueFallsBackOnItsOwn)
{
    const char longText[] = "eight hundred";
    SetRaw("Width", REG_SZ, longText, sizeof longText);     // too long for 4 bytes: default
    const BYTE twoBytes[] = {0x34, 0x12};
    SetRaw("Height", REG_BINARY, twoBytes, sizeof twoBytes);  // fits: its raw bytes
    const BYTE eightBytes[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    SetRaw("Depth", REG_QWORD, eightBytes, sizeof eightBytes);  // too long: default
    const DWORD velocity = 77;
    SetRaw("Velocity", REG_DWORD, &velocity, sizeof velocity);
    // A stored text without its terminator still reads as the whole text.
    const char path[] = {'C', ':', '\\', 'V', '\\'};
    SetRaw("Path", REG_SZ, path, sizeof path);

    Settings s;
    SetDefaultSettings(s);
    auto key = m_store->OpenKey(m_path);
    ASSERT_TRUE(key);
    for (const SettingsField& f : kSettingsOrder) {
        int32_t v = 0;
        if (key->QueryInt(f.name, v))
            s.*f.field = v;
    }
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 0x1234);
    EXPECT_EQ(s.Depth, 16);
    EXPECT_EQ(s.Velocity, 77);
    EXPECT_EQ(s.Volume, 100);  // missing
    std::string text;
    EXPECT_TRUE(key->QueryString("Path", text));
    EXPECT_EQ(text, "C:\\V\\");

    // A text longer than the 1024 bytes read is no text at all.
    const std::string huge(2000, 'x');
    SetRaw("Path", REG_SZ, huge.c_str(), static_cast<DWORD>(huge.size() + 1));
    EXPECT_FALSE(key->QueryString("Path", text));
}

// ------------------------------------------------------------------- mutex

TEST(NamedLockTest, HeldUntilEveryOsObjectHoldingItIsGone)
{
    const std::string name = "VantorShellTestMutex" + std::to_string(GetCurrentProcessId());
    auto first = os::CreateWin32OS(GetModuleHandleA(nullptr));
    auto second = os::CreateWin32OS(GetModuleHandleA(nullptr));
    EXPECT_TRUE(first->AcquireNamedLock(name));
    EXPECT_FALSE(second->AcquireNamedLock(name));
    first.reset();
    // The second object's handle keeps the name alive.
    auto third = os::CreateWin32OS(GetModuleHandleA(nullptr));
    EXPECT_FALSE(third->AcquireNamedLock(name));
    second.reset();
    third.reset();
    auto fourth = os::CreateWin32OS(GetModuleHandleA(nullptr));
    EXPECT_TRUE(fourth->AcquireNamedLock(name));
}

// ------------------------------------------------------------- bitmap file

// An 8-bit 3x2 BMP file: file header, info header, 256 colours, rows padded
// to 4 bytes.
std::vector<uint8_t> SmallBmp(int32_t width = 3, int32_t height = 2)
{
    std::vector<uint8_t> bmp(14 + 40 + 256 * 4 + 4 * 2, 0);
    auto put = [&bmp](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<uint32_t>(bmp.size()), 4);
    put(10, 14 + 40 + 1024, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 8, 2);
    bmp[14 + 40 + 1024] = 7;  // first pixel
    return bmp;
}

TEST(BitmapFileTest, PartsAreFoundAndCutsOrAbsurdSizesAreRefused)
{
    const std::vector<uint8_t> file = SmallBmp();
    os::win32::DibView view;
    ASSERT_TRUE(os::win32::ViewBitmapFile(file, view));
    EXPECT_EQ(view.width, 3);
    EXPECT_EQ(view.height, 2);
    EXPECT_EQ(view.info.size(), 40u + 1024u);
    EXPECT_EQ(view.bits.size(), 8u);
    EXPECT_EQ(view.bits[0], 7);

    EXPECT_FALSE(os::win32::ViewBitmapFile(std::span(file).first(file.size() - 1), view));
    EXPECT_FALSE(os::win32::ViewBitmapFile(std::span(file).first(30), view));
    EXPECT_FALSE(os::win32::ViewBitmapFile(SmallBmp(1 << 30, 2), view));
    EXPECT_FALSE(os::win32::ViewBitmapFile(SmallBmp(3, 0), view));
    std::vector<uint8_t> pixelsInsideHeader = file;
    pixelsInsideHeader[10] = 20;  // pixel offset pointing into the info header
    pixelsInsideHeader[11] = 0;
    EXPECT_FALSE(os::win32::ViewBitmapFile(pixelsInsideHeader, view));
}

// ---------------------------------------------------------- window events

struct Recorder final : os::IEventHandler {
    void OnEvent(os::IWindow&, const os::Event& e) override { events.push_back(e); }
    std::vector<os::EventType> Types() const
    {
        std::vector<os::EventType> out;
        for (const os::Event& e : events)
            out.push_back(e.type);
        return out;
    }
    std::vector<os::Event> events;
};

class WindowTest : public ::testing::Test {
protected:
    std::unique_ptr<os::IWindow> Make(os::WindowKind kind, Recorder& recorder, uint64_t parent = 0)
    {
        os::WindowDesc desc;
        desc.kind = kind;
        desc.title = "Shell Test";
        desc.rect = {0, 0, 200, 150};
        desc.foreignParent = parent;
        return m_os->CreateWindow(desc, &recorder);
    }
    static HWND Hwnd(os::IWindow& w) { return static_cast<HWND>(w.NativeHandle()); }

    std::unique_ptr<os::IOS> m_os = os::CreateWin32OS(GetModuleHandleA(nullptr));
};

TEST_F(WindowTest, SaverWindowTurnsMessagesIntoEventsAndSurvivesACloseRequest)
{
    Recorder r;
    auto w = Make(os::WindowKind::SaverTest, r);
    ASSERT_TRUE(w);
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.front().type, os::EventType::Create);
    char title[64] = {};
    GetWindowTextA(Hwnd(*w), title, sizeof title);
    EXPECT_STREQ(title, "Shell Test");
    r.events.clear();

    const HWND h = Hwnd(*w);
    SendMessageA(h, WM_KEYDOWN, 'A', 0);
    SendMessageA(h, WM_SYSKEYDOWN, VK_F10, 0);
    // The test form answers every character itself.
    EXPECT_EQ(SendMessageA(h, WM_CHAR, 27, 0), 0);
    SendMessageA(h, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 6));
    SendMessageA(h, WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageA(h, WM_ACTIVATEAPP, FALSE, 0);
    SendMessageA(h, WM_POWERBROADCAST, 4, 0);   // suspend notice
    SendMessageA(h, WM_POWERBROADCAST, 7, 0);   // resumed: nothing
    EXPECT_EQ(SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    SendMessageA(h, WM_CLOSE, 0, 0);
    using T = os::EventType;
    const std::vector<T> expected = {T::KeyDown, T::SysKeyDown, T::Char, T::ButtonDown, T::Deactivate,
                                     T::Deactivate, T::Suspend, T::SysCommandClose, T::Close};
    EXPECT_EQ(r.Types(), expected);
    EXPECT_EQ(r.events[0].key, 'A');
    EXPECT_EQ(r.events[2].key, 27);
    POINT p{5, 6};
    ClientToScreen(h, &p);
    EXPECT_EQ(r.events[3].pos, (os::Point{static_cast<int>(p.x), static_cast<int>(p.y)}));
    // Neither the close command nor the close request destroyed the window.
    EXPECT_TRUE(w->Exists());
    EXPECT_TRUE(IsWindow(h));

    // Destroying it tells the handler once, as the last thing it hears (an
    // active window loses activation on the way).
    r.events.clear();
    w.reset();
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.back().type, T::Destroy);
    const std::vector<T> types = r.Types();
    EXPECT_EQ(std::count(types.begin(), types.end(), T::Destroy), 1);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowTest, PostedCloseArrivesThroughDispatch)
{
    Recorder r;
    auto w = Make(os::WindowKind::SaverTest, r);
    ASSERT_TRUE(w);
    while (m_os->PeekAndDispatch() != os::DispatchResult::None) {
    }
    r.events.clear();
    w->PostClose();
    EXPECT_TRUE(r.events.empty());
    int guard = 0;
    while (m_os->PeekAndDispatch() != os::DispatchResult::None && ++guard < 1000) {
    }
    // Other programs' windows may take the activation meanwhile (tests run
    // side by side), so only the close itself is counted.
    const std::vector<os::EventType> types = r.Types();
    EXPECT_EQ(std::count(types.begin(), types.end(), os::EventType::Close), 1);
}

TEST_F(WindowTest, BlackWindowIsDestroyedByACloseRequest)
{
    Recorder r;
    auto w = Make(os::WindowKind::Black, r);
    ASSERT_TRUE(w);
    const HWND h = Hwnd(*w);
    EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SendMessageA(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(w->Exists());
    EXPECT_EQ(r.events.back().type, os::EventType::Destroy);
}

TEST_F(WindowTest, PictureWindowFillsItsParentAndEndsWithIt)
{
    Recorder parentEvents, r;
    auto parent = Make(os::WindowKind::SaverTest, parentEvents);
    ASSERT_TRUE(parent);
    auto picture = Make(os::WindowKind::Picture, r, reinterpret_cast<uintptr_t>(parent->NativeHandle()));
    ASSERT_TRUE(picture);
    EXPECT_EQ(GetParent(Hwnd(*picture)), Hwnd(*parent));
    EXPECT_EQ(picture->ClientRect(), parent->ClientRect());
    EXPECT_EQ(r.events.front().type, os::EventType::Create);

    // The parent goes away: so does the picture window, telling its handler.
    DestroyWindow(Hwnd(*parent));
    EXPECT_FALSE(picture->Exists());
    EXPECT_EQ(r.events.back().type, os::EventType::Destroy);

    // A number that names no window gives no window.
    EXPECT_FALSE(Make(os::WindowKind::Picture, r, 0x7fff0000u));
    EXPECT_FALSE(Make(os::WindowKind::Foreign, r, 0));
}

} // namespace
