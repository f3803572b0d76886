// The Win32 implementation of the OS interface.
//
//   1. Helpers (system family, run-time lookups)
//   2. Win32OS: dispatch, cursor, screens, lock, box, store, clocks,
//      resources, passwords
#include "platform/win32/win32_os.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/registry_store.h"
#include "platform/win32/win32_window.h"

namespace os {
namespace {

// ---------------------------------------------------------------------------
// 1. Helpers
// ---------------------------------------------------------------------------

// Only the Windows 9x family leaves the screensaver password to the
// screensaver; the NT family's desktop asks for it itself.
bool IsWindows9xFamily()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// A function of a library loaded at run time, as the type it is declared
// with; null when the library lacks it.
template <typename Fn>
Fn LookUp(HMODULE library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

HWND ToHwnd(int64_t id)
{
    return reinterpret_cast<HWND>(static_cast<intptr_t>(id));
}

// ---------------------------------------------------------------------------
// 2. Win32OS
// ---------------------------------------------------------------------------

class Win32OS final : public IOS {
public:
    Win32OS(HINSTANCE instance, std::span<const EmbeddedResource> resources)
        : m_instance(instance), m_resources(resources), m_store(win32::CreateRegistryStore(HKEY_CURRENT_USER))
    {
    }

    ~Win32OS() override
    {
        for (HANDLE mutex : m_mutexes)
            CloseHandle(mutex);
    }

    Win32OS(const Win32OS&) = delete;
    Win32OS& operator=(const Win32OS&) = delete;

    std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc, IEventHandler* handler) override
    {
        return win32::CreateNativeWindow(m_instance, desc, handler);
    }

    DispatchResult PeekAndDispatch() override
    {
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            return DispatchResult::None;
        if (msg.message == WM_QUIT)
            return DispatchResult::Quit;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        return DispatchResult::Dispatched;
    }

    void WaitForInput(int ms) override
    {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms < 0 ? 0 : ms), QS_ALLINPUT);
    }

    void YieldSlice() override { Sleep(0); }

    int ShowCursor(bool show) override { return ::ShowCursor(show ? TRUE : FALSE); }

    Point GetCursorPos() override
    {
        POINT p{};
        ::GetCursorPos(&p);
        return {static_cast<int>(p.x), static_cast<int>(p.y)};
    }

    Rect PrimaryScreen() override { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

    // One record per display adapter, with its first monitor's name and
    // its place on the virtual screen; the primary adapter is at the origin.
    std::vector<ScreenInfo> Screens() override
    {
        std::vector<ScreenInfo> screens;
        DISPLAY_DEVICEA adapter{};
        adapter.cb = sizeof adapter;
        for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &adapter, 0); ++i) {
            ScreenInfo s;
            s.adapter = adapter.DeviceString;
            DISPLAY_DEVICEA monitor{};
            monitor.cb = sizeof monitor;
            if (EnumDisplayDevicesA(adapter.DeviceName, 0, &monitor, 0))
                s.monitor = monitor.DeviceString;
            s.mirroring = (adapter.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0;
            s.attached = (adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0;
            if (s.attached) {
                s.primary = (adapter.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
                DEVMODEA mode{};
                mode.dmSize = sizeof mode;
                if (EnumDisplaySettingsA(adapter.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) {
                    const int x = s.primary ? 0 : static_cast<int>(mode.dmPosition.x);
                    const int y = s.primary ? 0 : static_cast<int>(mode.dmPosition.y);
                    s.bounds = {x, y, x + static_cast<int>(mode.dmPelsWidth), y + static_cast<int>(mode.dmPelsHeight)};
                }
            }
            screens.push_back(std::move(s));
            adapter = {};
            adapter.cb = sizeof adapter;
        }
        if (screens.empty()) {
            // A system that lists no adapters still has its one screen.
            ScreenInfo s;
            s.adapter = s.monitor = "DISPLAY";
            s.bounds = PrimaryScreen();
            s.primary = true;
            screens.push_back(std::move(s));
        }
        return screens;
    }

    std::vector<DisplayModeInfo> DisplayModes() override
    {
        std::vector<DisplayModeInfo> modes;
        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
            modes.push_back({mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel, mode.dmDisplayFrequency});
            mode = {};
            mode.dmSize = sizeof mode;
        }
        return modes;
    }

    // A temporary switch: CDS_FULLSCREEN keeps it out of the user's profile.
    bool SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override
    {
        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        mode.dmPelsWidth = width;
        mode.dmPelsHeight = height;
        mode.dmBitsPerPel = bits;
        return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
    }

    // Back to the mode of the user's profile.
    void RestoreDisplayMode() override { ChangeDisplaySettingsA(nullptr, 0); }

    bool AcquireNamedLock(std::string_view name) override
    {
        // Only ERROR_ALREADY_EXISTS counts; no stale code may pass for it.
        SetLastError(ERROR_SUCCESS);
        const HANDLE mutex = CreateMutexA(nullptr, FALSE, std::string(name).c_str());
        const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
        // Kept either way: the name exists for as long as a handle is open.
        if (mutex)
            m_mutexes.push_back(mutex);
        return !existed;
    }

    void MessageBox(std::string_view caption, std::string_view text) override
    {
        const std::string c(caption), t(text);
        std::fprintf(stderr, "%s %s\n", c.c_str(), t.c_str());
        std::fflush(stderr);
        const char* quiet = std::getenv("VANTOR_NO_DIALOGS");
        if (quiet && *quiet && *quiet != '0')
            return;
        MessageBoxA(nullptr, t.c_str(), c.c_str(), MB_SYSTEMMODAL | MB_ICONINFORMATION);
    }

    IUserStore& Store() override { return *m_store; }

    // The program's own folder, where the manual is installed beside it.
    std::string CurrentFolder() override
    {
        char path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return ".\\";
        std::string folder(path, n);
        const size_t slash = folder.find_last_of("\\/");
        if (slash == std::string::npos)
            return ".\\";
        folder.resize(slash + 1);
        return folder;
    }

    void OpenDocument(std::string_view path) override
    {
        ShellExecuteA(nullptr, "open", std::string(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    uint64_t PerfFrequency() override
    {
        LARGE_INTEGER f{};
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? static_cast<uint64_t>(f.QuadPart) : 0;
    }

    uint64_t PerfCounter() override
    {
        LARGE_INTEGER c{};
        QueryPerformanceCounter(&c);
        return static_cast<uint64_t>(c.QuadPart);
    }

    uint32_t Milliseconds() override { return timeGetTime(); }

    std::span<const uint8_t> Resource(ResourceType type, int id) override
    {
        return FindEmbeddedResource(m_resources, type, id);
    }

    void SetSaverRunning(bool running) override
    {
        UINT previous = 0;
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running ? TRUE : FALSE, &previous, 0);
    }

    void ChangePassword(int64_t window) override
    {
        if (!IsWindows9xFamily())
            return;
        const HMODULE mpr = LoadLibraryA("MPR.DLL");
        if (!mpr)
            return;
        using Change = DWORD(WINAPI*)(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2);
        if (const auto change = LookUp<Change>(mpr, "PwdChangePasswordA"))
            change("SCRSAVE", ToHwnd(window), 0, 0);
        FreeLibrary(mpr);
    }

    bool VerifyPassword(IWindow* owner) override
    {
        if (!IsWindows9xFamily())
            return false;
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS)
            return false;
        bool asked = false;
        DWORD use = 0;
        DWORD size = sizeof use;
        if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr, reinterpret_cast<BYTE*>(&use), &size) ==
                ERROR_SUCCESS &&
            use != 0) {
            const HMODULE library = LoadLibraryA("PASSWORD.CPL");
            // The prompt runs while the system still counts the saver as
            // running, so that it cannot be switched away from.
            SetSaverRunning(true);
            if (library) {
                using Verify = BOOL(WINAPI*)(HWND owner);
                if (const auto verify = LookUp<Verify>(library, "VerifyScreenSavePwd")) {
                    const HWND hwnd = owner ? static_cast<HWND>(owner->NativeHandle()) : nullptr;
                    // A cancelled prompt comes back: only the right password
                    // ends the screensaver.
                    while (verify(hwnd) != 1) {
                    }
                    asked = true;
                }
                FreeLibrary(library);
            }
        }
        RegCloseKey(key);
        return asked;
    }

private:
    HINSTANCE m_instance;
    std::span<const EmbeddedResource> m_resources;
    std::unique_ptr<IUserStore> m_store;
    std::vector<HANDLE> m_mutexes;
};

} // namespace

std::unique_ptr<IOS> CreateWin32OS(HINSTANCE instance, std::span<const EmbeddedResource> resources)
{
    return std::make_unique<Win32OS>(instance, resources);
}

} // namespace os
