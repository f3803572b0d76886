// SDL2 implementation of the OS interface.
//
//   1. Helpers (clocks, lock files, documents)
//   2. SdlWindow: one SDL window and its handler
//   3. SdlOS: dispatch, cursor, screens, store, resources
#include "platform/sdl/sdl_os.h"

#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/ini_store.h"
#include "platform/termination.h"
#ifdef VANTOR_HAVE_GTK_BOX
#include "platform/gtk/message_box.h"
#endif
#include "platform/sdl/lock_file.h"

#ifdef VANTOR_HAVE_XLIB
#include <X11/Xlib.h>
#undef None
#undef Status
#endif
#ifdef VANTOR_HAVE_SDL_DISPLAY
#include "platform/sdl/sdl_display.h"
#endif
#ifdef VANTOR_HAVE_X11_PICTURE
#include "platform/x11/foreign_window.h"
#include "platform/x11/picture_window.h"
#endif

extern char** environ;

namespace os {
namespace {

// ---------------------------------------------------------------------------
// 1. Helpers
// ---------------------------------------------------------------------------

// The name of the video driver SDL chose when it is one that shows nothing
// on any screen and nobody asked for it by name; null otherwise.
const char* WindowlessDriver()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0))
        return nullptr;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    return asked && std::strstr(asked, driver) ? nullptr : driver;
}

void SpawnDetached(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
        // Reaped at once if it ends quickly; otherwise init inherits it when
        // we exit. The viewer is not ours to wait for.
        waitpid(pid, nullptr, WNOHANG);
    }
}

// Where the manual is when the settings name no folder: installed beside
// the program's prefix (bin/../share/doc/vantor), else beside the program
// itself (the build tree's copy), else the current folder.
std::string ManualFolder()
{
    std::vector<char> exe(4096);
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n > 0) {
        std::string dir(exe.data(), static_cast<size_t>(n));
        dir.resize(dir.rfind('/') + 1);
        for (const std::string& folder : {dir + "../share/doc/vantor/", dir}) {
            if (access((folder + "ReadMe.html").c_str(), R_OK) == 0)
                return folder;
        }
    }
    return "./";
}

class SdlOS;

// VANTOR_TRACE_EVENTS=1 writes every delivered event to standard error.
const bool g_traceEvents = [] {
    const char* v = std::getenv("VANTOR_TRACE_EVENTS");
    return v && *v && *v != '0';
}();

// ---------------------------------------------------------------------------
// 2. SdlWindow
// ---------------------------------------------------------------------------

class SdlWindow final : public IWindow {
public:
    SdlWindow(SdlOS& os, SDL_Window* window, WindowKind kind, IEventHandler* handler)
        : m_os(os), m_window(window), m_kind(kind), m_handler(handler) {}
    ~SdlWindow() override;

    void* NativeHandle() override { return m_window; }
    Rect ClientRect() override
    {
        int w = 0, h = 0;
        if (m_window)
            SDL_GetWindowSize(m_window, &w, &h);
        return {0, 0, w, h};
    }
    void PostClose() override;
    void SendClose() override { Deliver({EventType::Close, 0, {}}); }
    void SetEnabled(bool enabled) override { m_enabled = enabled; }
    bool Exists() override { return m_window != nullptr; }

    void Deliver(const Event& e)
    {
        if (g_traceEvents)
            std::fprintf(stderr, "vantor: window \"%s\" event %d key %d at %d,%d\n",
                         m_window ? SDL_GetWindowTitle(m_window) : "", static_cast<int>(e.type), e.key, e.pos.x,
                         e.pos.y);
        if (m_handler)
            m_handler->OnEvent(*this, e);
    }
    bool Enabled() const { return m_enabled; }
    WindowKind Kind() const { return m_kind; }
    uint32_t Id() const { return m_window ? SDL_GetWindowID(m_window) : 0; }

    void PaintBlack()
    {
        if (m_kind != WindowKind::Black || !m_window)
            return;
        if (SDL_Surface* s = SDL_GetWindowSurface(m_window)) {
            SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
            SDL_UpdateWindowSurface(m_window);
        }
    }

private:
    SdlOS& m_os;
    SDL_Window* m_window;
    WindowKind m_kind;
    IEventHandler* m_handler;
    bool m_enabled = true;
};

// ---------------------------------------------------------------------------
// 3. SdlOS
// ---------------------------------------------------------------------------

class SdlOS final : public IOS {
public:
    explicit SdlOS(std::span<const EmbeddedResource> resources) : m_resources(resources)
    {
        // Our own announcement decides when the desktop's saver is held off.
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        // Closing is decided by the window rules, not by SDL.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        // SIGTERM and SIGINT are ours in every mode, including those that
        // never start SDL's event loop (the settings dialog runs GTK's).
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        InstallTerminationHandlers();
    }

    ~SdlOS() override
    {
        for (int fd : m_locks)
            close(fd);
#ifdef VANTOR_HAVE_XLIB
        if (m_xDisplay)
            XCloseDisplay(m_xDisplay);
#endif
        if (m_videoUp)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }

    bool VideoUp()
    {
        if (!m_videoUp && !m_videoFailed) {
            m_videoUp = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
            m_videoFailed = !m_videoUp;
            if (m_videoFailed)
                std::fprintf(stderr, "Vantor: no display (%s)\n", SDL_GetError());
            else if (const char* windowless = WindowlessDriver()) {
                // A saver nobody can see could never be dismissed.
                std::fprintf(stderr,
                             "Vantor: no display to show the screensaver on (SDL fell back to its windowless "
                             "\"%s\" driver; DISPLAY must name a running X server)\n",
                             windowless);
                SDL_QuitSubSystem(SDL_INIT_VIDEO);
                m_videoUp = false;
                m_videoFailed = true;
            }
        }
        return m_videoUp;
    }

    std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc, IEventHandler* handler) override
    {
        if (desc.kind == WindowKind::Picture) {
#ifdef VANTOR_HAVE_X11_PICTURE
            m_picturesUsed = true;
            return x11::CreatePictureWindow(desc, handler);
#else
            return nullptr;
#endif
        }
        if (desc.kind == WindowKind::Foreign) {
#ifdef VANTOR_HAVE_X11_PICTURE
            m_foreignUsed = true;
            return x11::CreateForeignWindow(desc, handler);
#else
            return nullptr;
#endif
        }
        if (!VideoUp())
            return nullptr;

        Uint32 flags = 0;
        int x = SDL_WINDOWPOS_UNDEFINED, y = SDL_WINDOWPOS_UNDEFINED;
        int w = desc.rect.Width(), h = desc.rect.Height();
        switch (desc.kind) {
        case WindowKind::SaverTest:
            flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
            break;
        case WindowKind::SaverFull:
            flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP |
                    SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_FULLSCREEN_DESKTOP;
            x = desc.rect.left;
            y = desc.rect.top;
            break;
        case WindowKind::Black:
            flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR;
            x = desc.rect.left;
            y = desc.rect.top;
            break;
        case WindowKind::Picture:
        case WindowKind::Foreign:
            break;
        }
        // A window of no size cannot exist on X11; keep it at one pixel, as an
        // adapter off the desktop gives an empty cover window.
        w = std::max(w, 1);
        h = std::max(h, 1);
        SDL_Window* sw = SDL_CreateWindow(desc.title.c_str(), x, y, w, h, flags | SDL_WINDOW_HIDDEN);
        if (!sw) {
            std::fprintf(stderr, "Vantor: cannot create window (%s)\n", SDL_GetError());
            return nullptr;
        }
        auto window = std::make_unique<SdlWindow>(*this, sw, desc.kind, handler);
        m_windows.push_back(window.get());

        Event create{EventType::Create, 0, GetCursorPos()};
        window->Deliver(create);

        SDL_ShowWindow(sw);
        window->PaintBlack();
        if (desc.kind != WindowKind::Black)
            SDL_RaiseWindow(sw);
        return window;
    }

    void Forget(SdlWindow* window)
    {
        std::erase(m_windows, window);
        std::erase_if(m_posted, [window](const auto& p) { return p.first == window; });
    }

    void Post(SdlWindow* window, const Event& e) { m_posted.emplace_back(window, e); }

    SdlWindow* FindWindow(uint32_t id)
    {
        for (SdlWindow* w : m_windows) {
            if (w->Id() == id)
                return w;
        }
        return nullptr;
    }

    DispatchResult PeekAndDispatch() override
    {
        if (TerminationRequested() && !m_terminationSeen) {
            // As SDL does for these signals: every window is asked to close,
            // so the run ends through its normal teardown.
            m_terminationSeen = true;
            for (SdlWindow* w : std::vector<SdlWindow*>(m_windows))
                w->Deliver({EventType::Close, 0, {}});
#ifdef VANTOR_HAVE_X11_PICTURE
            x11::PostCloseToPictures();
            x11::PostCloseToForeignWindows();
#endif
            return DispatchResult::Quit;
        }
        if (!m_posted.empty()) {
            auto [window, e] = m_posted.front();
            m_posted.pop_front();
            window->Deliver(e);
            return DispatchResult::Dispatched;
        }
#ifdef VANTOR_HAVE_X11_PICTURE
        if (m_picturesUsed && x11::DispatchPictureEvent())
            return DispatchResult::Dispatched;
        if (m_foreignUsed && x11::DispatchForeignEvent())
            return DispatchResult::Dispatched;
#endif
        if (!m_videoUp)
            return DispatchResult::None;
        SDL_Event ev;
        if (!SDL_PollEvent(&ev))
            return DispatchResult::None;
        return Translate(ev);
    }

    void WaitForInput(int ms) override
    {
        if (!m_posted.empty())
            return;
#ifdef VANTOR_HAVE_X11_PICTURE
        if (m_picturesUsed && !m_videoUp) {
            x11::WaitPictureInput(ms);
            return;
        }
#endif
        if (m_videoUp)
            SDL_WaitEventTimeout(nullptr, ms);
        else
            SDL_Delay(static_cast<Uint32>(ms));
    }

    void YieldSlice() override { sched_yield(); }

    int ShowCursor(bool show) override
    {
        m_cursorCount += show ? 1 : -1;
        if (m_videoUp)
            SDL_ShowCursor(m_cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
        return m_cursorCount;
    }

    Point GetCursorPos() override
    {
        Point p;
#ifdef VANTOR_HAVE_XLIB
        // SDL caches the global pointer position between raw input events,
        // which X test drivers and remote desktops do not always send; ask the
        // server directly.
        if (!m_xDisplay && !m_xFailed) {
            m_xDisplay = XOpenDisplay(nullptr);
            m_xFailed = m_xDisplay == nullptr;
        }
        if (m_xDisplay) {
            Window root, child;
            int rx = 0, ry = 0, wx = 0, wy = 0;
            unsigned mask = 0;
            if (XQueryPointer(m_xDisplay, DefaultRootWindow(m_xDisplay), &root, &child, &rx, &ry, &wx, &wy, &mask))
                return {rx, ry};
        }
#endif
        if (m_videoUp)
            SDL_GetGlobalMouseState(&p.x, &p.y);
        return p;
    }

    Rect PrimaryScreen() override
    {
        if (!VideoUp())
            return {0, 0, 640, 480};
#ifdef VANTOR_HAVE_SDL_DISPLAY
        return sdl::PrimaryScreenBounds();
#else
        SDL_Rect r{0, 0, 640, 480};
        SDL_GetDisplayBounds(0, &r);
        return {r.x, r.y, r.x + r.w, r.y + r.h};
#endif
    }

    std::vector<ScreenInfo> Screens() override
    {
        if (!VideoUp())
            return {};
#ifdef VANTOR_HAVE_SDL_DISPLAY
        return sdl::EnumerateScreens();
#else
        std::vector<ScreenInfo> screens;
        const int n = SDL_GetNumVideoDisplays();
        for (int i = 0; i < n; ++i) {
            SDL_Rect r{};
            SDL_GetDisplayBounds(i, &r);
            ScreenInfo s;
            s.adapter = s.monitor = SDL_GetDisplayName(i) ? SDL_GetDisplayName(i) : "";
            s.bounds = {r.x, r.y, r.x + r.w, r.y + r.h};
            s.primary = i == 0;
            screens.push_back(s);
        }
        return screens;
#endif
    }

    std::vector<DisplayModeInfo> DisplayModes() override
    {
        if (!VideoUp())
            return {};
#ifdef VANTOR_HAVE_SDL_DISPLAY
        return sdl::EnumerateDisplayModes();
#else
        std::vector<DisplayModeInfo> modes;
        const int n = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < n; ++i) {
            SDL_DisplayMode m{};
            if (SDL_GetDisplayMode(0, i, &m) == 0) {
                uint32_t bits = SDL_BITSPERPIXEL(m.format);
                modes.push_back({uint32_t(m.w), uint32_t(m.h), bits == 24 ? 32u : bits, uint32_t(m.refresh_rate)});
            }
        }
        return modes;
#endif
    }

    bool SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override
    {
        if (!VideoUp())
            return false;
#ifdef VANTOR_HAVE_SDL_DISPLAY
        return sdl::ChangeDisplayMode(width, height, bits);
#else
        SDL_DisplayMode m{};
        return SDL_GetDesktopDisplayMode(0, &m) == 0 && uint32_t(m.w) == width && uint32_t(m.h) == height && bits >= 16;
#endif
    }

    void RestoreDisplayMode() override
    {
#ifdef VANTOR_HAVE_SDL_DISPLAY
        if (m_videoUp)
            sdl::RestoreDisplayMode();
#endif
    }

    bool AcquireNamedLock(std::string_view name) override
    {
        std::string why;
        const std::string folder = LockFolder(&why);
        const int fd = folder.empty() ? -1 : OpenLockFile(folder, name, &why);
        if (fd < 0) {
            // No trustworthy place for a lock: behave as the only instance.
            std::fprintf(stderr, "Vantor: no single-instance lock (%s)\n", why.c_str());
            return true;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return false;
        }
        m_locks.push_back(fd);
        return true;
    }

    void MessageBox(std::string_view caption, std::string_view text) override
    {
        const std::string c(caption), t(text);
        std::fprintf(stderr, "%s %s\n", c.c_str(), t.c_str());
        const char* quiet = std::getenv("VANTOR_NO_DIALOGS");
        if ((quiet && *quiet && *quiet != '0') || !std::getenv("DISPLAY"))
            return;
#ifdef VANTOR_HAVE_GTK_BOX
        // SDL's own box goes through external helpers that a desktop may
        // lack, and then shows nothing at all.
        ShowMessageDialog(c, t);
#else
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, c.c_str(), t.c_str(), nullptr);
#endif
    }

    IUserStore& Store() override { return m_store; }
    std::string CurrentFolder() override { return ManualFolder(); }

    void OpenDocument(std::string_view path) override { SpawnDetached({"xdg-open", std::string(path)}); }

    uint64_t PerfFrequency() override { return 1000000000ull; }
    uint64_t PerfCounter() override
    {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    // Milliseconds since the system started, wrapping every 49.7 days.
    uint32_t Milliseconds() override
    {
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }

    std::span<const uint8_t> Resource(ResourceType type, int id) override
    {
        return FindEmbeddedResource(m_resources, type, id);
    }

    // Deliberately no inhibit: suspending the X screensaver or DPMS, or
    // taking the desktop's inhibit, would keep a machine left running the
    // flight from ever locking or powering its monitors down, and this
    // program checks no password. The desktop's own saver, locker and power
    // management keep their timers while the flight runs.
    // The announcement itself has no Linux counterpart: nothing here needs to
    // know that a saver runs.
    void SetSaverRunning(bool) override {}

    // The desktop's own lock screen keeps the password here; there is no
    // service to hand a change or a check to.
    void ChangePassword(int64_t) override {}
    bool VerifyPassword(IWindow*) override { return false; }

private:
    Point ToScreen(uint32_t windowId, int x, int y)
    {
        int wx = 0, wy = 0;
        if (SdlWindow* w = FindWindow(windowId))
            SDL_GetWindowPosition(static_cast<SDL_Window*>(w->NativeHandle()), &wx, &wy);
        return {wx + x, wy + y};
    }

    DispatchResult Translate(const SDL_Event& ev)
    {
        auto deliver = [this](uint32_t windowId, const Event& e) {
            SdlWindow* w = FindWindow(windowId);
            if (w && (w->Enabled() || e.type == EventType::Paint || e.type == EventType::Destroy))
                w->Deliver(e);
        };
        switch (ev.type) {
        case SDL_KEYDOWN: {
            const SDL_Keycode sym = ev.key.keysym.sym;
            const bool system = (ev.key.keysym.mod & KMOD_ALT) != 0 || sym == SDLK_F10;
            deliver(ev.key.windowID, {system ? EventType::SysKeyDown : EventType::KeyDown, int(sym), {}});
            if (!system && sym == SDLK_ESCAPE)
                deliver(ev.key.windowID, {EventType::Char, 27, {}});
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (ev.button.button == SDL_BUTTON_LEFT || ev.button.button == SDL_BUTTON_RIGHT ||
                ev.button.button == SDL_BUTTON_MIDDLE)
                deliver(ev.button.windowID,
                        {EventType::ButtonDown, int(ev.button.button), ToScreen(ev.button.windowID, ev.button.x, ev.button.y)});
            break;
        case SDL_MOUSEMOTION:
            // The event's own coordinates: the global pointer state SDL keeps
            // may lag one event behind.
            deliver(ev.motion.windowID, {EventType::MouseMove, 0, ToScreen(ev.motion.windowID, ev.motion.x, ev.motion.y)});
            break;
        case SDL_WINDOWEVENT:
            switch (ev.window.event) {
            case SDL_WINDOWEVENT_FOCUS_LOST:
                deliver(ev.window.windowID, {EventType::Deactivate, 0, {}});
                break;
            case SDL_WINDOWEVENT_CLOSE:
                deliver(ev.window.windowID, {EventType::SysCommandClose, 0, {}});
                break;
            case SDL_WINDOWEVENT_EXPOSED:
                if (SdlWindow* w = FindWindow(ev.window.windowID))
                    w->PaintBlack();
                deliver(ev.window.windowID, {EventType::Paint, 0, {}});
                break;
            default:
                break;
            }
            break;
        case SDL_APP_WILLENTERBACKGROUND:
            for (SdlWindow* w : std::vector<SdlWindow*>(m_windows))
                w->Deliver({EventType::Suspend, 0, {}});
            break;
        case SDL_QUIT:
            // A termination signal: every window is asked to close, so the
            // run ends through its normal teardown.
            for (SdlWindow* w : std::vector<SdlWindow*>(m_windows))
                w->Deliver({EventType::Close, 0, {}});
            return DispatchResult::Quit;
        default:
            break;
        }
        return DispatchResult::Dispatched;
    }

    std::span<const EmbeddedResource> m_resources;
    IniStore m_store{DefaultSettingsFilePath()};
    std::vector<SdlWindow*> m_windows;
    std::deque<std::pair<SdlWindow*, Event>> m_posted;
    std::vector<int> m_locks;
    int m_cursorCount = 0;
    bool m_videoUp = false;
    bool m_videoFailed = false;
    bool m_picturesUsed = false;
    bool m_foreignUsed = false;
    bool m_terminationSeen = false;
#ifdef VANTOR_HAVE_XLIB
    Display* m_xDisplay = nullptr;
    bool m_xFailed = false;
#endif
};

SdlWindow::~SdlWindow()
{
    if (m_window) {
        Deliver({EventType::Destroy, 0, {}});
        m_os.Forget(this);
        SDL_DestroyWindow(m_window);
        m_window = nullptr;
    }
}

void SdlWindow::PostClose()
{
    m_os.Post(this, {EventType::Close, 0, {}});
}

} // namespace

std::unique_ptr<IOS> CreateSdlOS(std::span<const EmbeddedResource> resources)
{
    return std::make_unique<SdlOS>(resources);
}

} // namespace os
