// The neutral OS interface of the application shell.
//
// Everything the shell needs from the windowing system, expressed without
// Win32 or SDL types: windows and their input, the cursor, screens and display
// modes, the single-instance lock, the error box, the per-user store, clocks,
// embedded resources and the screensaver-running announcement. The Linux
// implementation lives in platform/sdl, a scriptable fake in platform/fake.
//
//   1. Geometry and events
//   2. Windows
//   3. Per-user store
//   4. The OS interface itself
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// windows.h defines CreateWindow and MessageBox as macros that would rename
// the members below in some files and not in others. It is included here
// once, and the two macros are dropped, so every file sees the same names
// (Win32 code calls CreateWindowExA and MessageBoxA by their own names).
#ifdef _WIN32
#include <windows.h>
#undef CreateWindow
#undef MessageBox
#endif

namespace os {

// ---------------------------------------------------------------------------
// 1. Geometry and events
// ---------------------------------------------------------------------------

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Input and life-cycle events, delivered to the handler of the window they
// belong to.
enum class EventType {
    Create,               // the window came into existence; pos = cursor position
    Destroy,              // the window is being destroyed
    Close,                // close request (posted, or sent synchronously)
    KeyDown,              // an ordinary key; key = key code
    SysKeyDown,           // a key pressed with Alt held, or F10
    Char,                 // a character; key = its code (27 = Escape)
    ButtonDown,           // left, right or middle mouse button
    MouseMove,            // pos = cursor position in screen coordinates
    Deactivate,           // the window or the whole application lost activation
    SysCommandClose,      // the window manager's close command (Alt+F4, close box)
    SysCommandScreenSave, // a request to start the screensaver again
    Suspend,              // the system asks to suspend or announces it
    Paint,                // the window needs repainting
};

struct Event {
    EventType type = EventType::Paint;
    int key = 0;
    Point pos;
};

class IWindow;

// Receives the events of one window during dispatch.
class IEventHandler {
public:
    virtual void OnEvent(IWindow& window, const Event& event) = 0;

protected:
    ~IEventHandler() = default;
};

// ---------------------------------------------------------------------------
// 2. Windows
// ---------------------------------------------------------------------------

enum class WindowKind {
    SaverTest,   // ordinary 640x480 window titled "Debug Window"
    SaverFull,   // borderless, topmost, over the primary screen
    Black,       // black topmost cover window at a given rectangle
    Picture,     // child window inside a foreign parent, showing a bitmap
    Foreign,     // a window another program owns (a screensaver daemon's),
                 // drawn into as it is: foreignParent names it, 0 the root
};

struct WindowDesc {
    WindowKind kind = WindowKind::SaverTest;
    std::string title;
    Rect rect;                      // Black / SaverFull: placement; SaverTest: size only
    IWindow* owner = nullptr;       // Black windows of further monitors
    uint64_t foreignParent = 0;     // Picture: the parent's native id; Foreign: the window's
    std::span<const uint8_t> bitmap; // Picture: BMP file bytes to show stretched
};

class IWindow {
public:
    // Destroying the object destroys the system window; its handler receives
    // Destroy first if the window still existed.
    virtual ~IWindow() = default;

    // What the graphics and sound runtimes attach to (an SDL_Window* on Linux).
    virtual void* NativeHandle() = 0;
    virtual Rect ClientRect() = 0;
    // Queues a close request that arrives through dispatch.
    virtual void PostClose() = 0;
    // Delivers a close request to the handler at once.
    virtual void SendClose() = 0;
    // Whether the window takes input.
    virtual void SetEnabled(bool enabled) = 0;
    // False once the system window is gone (for example with its parent).
    virtual bool Exists() = 0;
};

// ---------------------------------------------------------------------------
// 3. Per-user store, with registry semantics: every value is read on its own,
//    a failed read leaves the caller's default in place.
// ---------------------------------------------------------------------------

class IStoreKey {
public:
    // Closing a key that was written to commits the writes.
    virtual ~IStoreKey() = default;
    virtual bool QueryInt(std::string_view name, int32_t& value) = 0;
    virtual bool QueryString(std::string_view name, std::string& value) = 0;
    virtual bool SetInt(std::string_view name, int32_t value) = 0;
    // Writes what was set so far; false when it could not be stored.
    virtual bool Commit() = 0;
};

class IUserStore {
public:
    virtual ~IUserStore() = default;
    // Opens (creating when absent) the key at `path`, e.g.
    // "Software\\Quellwork\\Vantor". Null when it cannot be opened.
    virtual std::unique_ptr<IStoreKey> OpenKey(std::string_view path) = 0;
};

// ---------------------------------------------------------------------------
// 4. The OS interface
// ---------------------------------------------------------------------------

enum class ResourceType { RCData, Bitmap, Icon };

struct ScreenInfo {
    std::string adapter;  // adapter description
    std::string monitor;  // monitor description
    Rect bounds;          // virtual-screen coordinates; empty when not attached
    bool primary = false;
    bool attached = true;
    bool mirroring = false;
};

struct DisplayModeInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 0;
    uint32_t refresh = 0;
};

enum class DispatchResult { None, Dispatched, Quit };

class IOS {
public:
    virtual ~IOS() = default;

    // Windows and dispatch.
    virtual std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc, IEventHandler* handler) = 0;
    // Takes one waiting event and delivers it; None when nothing waits.
    virtual DispatchResult PeekAndDispatch() = 0;
    // Blocks until input arrives or `ms` milliseconds have passed.
    virtual void WaitForInput(int ms) = 0;
    // Gives up the rest of the time slice.
    virtual void YieldSlice() = 0;

    // Cursor: a display count, visible while it is 0 or more.
    virtual int ShowCursor(bool show) = 0;
    virtual Point GetCursorPos() = 0;

    // Screens and display modes.
    virtual Rect PrimaryScreen() = 0;
    virtual std::vector<ScreenInfo> Screens() = 0;
    virtual std::vector<DisplayModeInfo> DisplayModes() = 0;
    virtual bool SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) = 0;
    virtual void RestoreDisplayMode() = 0;

    // The named single-instance lock; true when this process is the only
    // holder. Held until the OS object is destroyed.
    virtual bool AcquireNamedLock(std::string_view name) = 0;

    // A system-modal error box; always also written to standard error.
    virtual void MessageBox(std::string_view caption, std::string_view text) = 0;

    virtual IUserStore& Store() = 0;
    // The folder the manual is looked up in when the settings name none (on
    // Linux the installed or built copy's folder, "./" when neither exists).
    virtual std::string CurrentFolder() = 0;
    // Opens a document with the desktop's default viewer.
    virtual void OpenDocument(std::string_view path) = 0;

    // Clocks. PerfFrequency is 0 when there is no high-resolution counter.
    virtual uint64_t PerfFrequency() = 0;
    virtual uint64_t PerfCounter() = 0;
    virtual uint32_t Milliseconds() = 0;

    // Resources embedded in the executable; empty when absent.
    virtual std::span<const uint8_t> Resource(ResourceType type, int id) = 0;

    // Tells the desktop that a screensaver is running (its own one is then
    // held off), or that it no longer is.
    virtual void SetSaverRunning(bool running) = 0;

    // Screensaver passwords, for desktops that leave them to the screensaver
    // (the Windows 9x family); elsewhere both do nothing.
    // Hands the change of the password to the system's password service,
    // with `window` (a native window id from the command line) as the
    // owner of its dialog.
    virtual void ChangePassword(int64_t window) = 0;
    // Asks for the password, with `owner` as the owner of the prompt, until
    // the right one is given, when the desktop asks for one. True when a
    // password was asked for.
    virtual bool VerifyPassword(IWindow* owner) = 0;
};

} // namespace os
