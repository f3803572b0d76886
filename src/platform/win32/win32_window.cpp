// The window procedure and the windows of the four kinds; see win32_window.h.
//
// Each window object keeps its handle in the window's user data (set by the
// first message, WM_NCCREATE), so the events of creation reach its handler
// before CreateWindowExA returns. A handler may end the window object while
// its procedure runs (the picture window does on a close request): after the
// handler has been called, the procedure touches nothing of the object.
#include "platform/win32/win32_window.h"

#include <cstring>
#include <optional>
#include <vector>

#include "platform/win32/bitmap_file.h"

namespace os::win32 {
namespace {

// IDC_ARROW, spelled so that it stays the A form whatever UNICODE says.
const LPCSTR kArrowCursor = MAKEINTRESOURCEA(32512);

bool IsSaver(WindowKind kind)
{
    return kind == WindowKind::SaverTest || kind == WindowKind::SaverFull;
}

Point CursorPos()
{
    POINT p{};
    ::GetCursorPos(&p);
    return {static_cast<int>(p.x), static_cast<int>(p.y)};
}

class Win32Window final : public IWindow {
public:
    Win32Window(HINSTANCE instance, WindowKind kind, IEventHandler* handler)
        : m_instance(instance), m_kind(kind), m_handler(handler) {}
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    bool Create(const WindowDesc& desc);

    void* NativeHandle() override { return m_hwnd; }
    Rect ClientRect() override
    {
        RECT r{};
        if (m_hwnd)
            GetClientRect(m_hwnd, &r);
        return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
                static_cast<int>(r.bottom)};
    }
    void PostClose() override
    {
        if (m_hwnd)
            PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
    }
    void SendClose() override
    {
        if (m_hwnd)
            SendMessageA(m_hwnd, WM_CLOSE, 0, 0);
    }
    void SetEnabled(bool enabled) override
    {
        if (m_hwnd)
            EnableWindow(m_hwnd, enabled ? TRUE : FALSE);
    }
    bool Exists() override { return m_hwnd != nullptr; }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void PreparePicture();
    void PaintPicture();
    void FreePicture();

    HINSTANCE m_instance;
    WindowKind m_kind;
    IEventHandler* m_handler;
    HWND m_hwnd = nullptr;
    // Picture window: the file to show, and the picture stretched to the
    // client area when the window was created.
    std::vector<uint8_t> m_file;
    HBITMAP m_picture = nullptr;
    RECT m_client{};
};

bool RegisterWindowClass(HINSTANCE instance, const char* name, HBRUSH background)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = &Win32Window::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, kArrowCursor);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (RegisterClassExA(&wc))
        return true;
    WNDCLASSEXA found{};
    found.cbSize = sizeof found;
    return GetClassInfoExA(instance, name, &found) != 0;
}

Win32Window::~Win32Window()
{
    if (m_hwnd) {
        const HWND hwnd = m_hwnd;
        // The handler hears of the end through WM_DESTROY; WM_NCDESTROY
        // forgets the handle.
        DestroyWindow(hwnd);
        if (m_hwnd) {
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            m_hwnd = nullptr;
        }
    }
    FreePicture();
}

bool Win32Window::Create(const WindowDesc& desc)
{
    const char* cls = kSaverClass;
    HBRUSH background = nullptr;
    DWORD exStyle = 0;
    DWORD style = 0;
    int x = desc.rect.left, y = desc.rect.top, w = desc.rect.Width(), h = desc.rect.Height();
    HWND parent = nullptr;
    switch (desc.kind) {
    case WindowKind::SaverTest:
        style = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        x = y = CW_USEDEFAULT;
        break;
    case WindowKind::SaverFull:
        exStyle = WS_EX_TOPMOST;
        style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        break;
    case WindowKind::Black:
        cls = kBlackClass;
        background = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        exStyle = WS_EX_TOPMOST;
        style = WS_POPUP | WS_VISIBLE;
        if (desc.owner)
            parent = static_cast<HWND>(desc.owner->NativeHandle());
        break;
    case WindowKind::Picture: {
        cls = kSplashClass;
        background = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        style = WS_CHILD | WS_VISIBLE;
        // The number on the command line is untrusted: it must name a window.
        parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(desc.foreignParent));
        RECT r{};
        if (!parent || !IsWindow(parent) || !GetClientRect(parent, &r))
            return false;
        x = r.left;
        y = r.top;
        w = r.right - r.left;
        h = r.bottom - r.top;
        m_file.assign(desc.bitmap.begin(), desc.bitmap.end());
        break;
    }
    case WindowKind::Foreign:
        return false;
    }
    if (!RegisterWindowClass(m_instance, cls, background))
        return false;
    const HWND hwnd =
        CreateWindowExA(exStyle, cls, desc.title.c_str(), style, x, y, w, h, parent, nullptr, m_instance, this);
    if (!hwnd)
        return false;
    if (IsSaver(m_kind)) {
        ShowWindow(hwnd, SW_SHOW);
        UpdateWindow(hwnd);
        SetForegroundWindow(hwnd);
        SetFocus(hwnd);
    } else if (m_kind == WindowKind::Picture) {
        ShowWindow(hwnd, SW_SHOW);
        UpdateWindow(hwnd);
    }
    return m_hwnd != nullptr;
}

LRESULT CALLBACK Win32Window::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Win32Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
    if (!self)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    return self->Handle(hwnd, msg, wParam, lParam);
}

LRESULT Win32Window::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const WindowKind kind = m_kind;
    std::optional<Event> event;
    bool zero = false;  // return 0 instead of the default handling
    switch (msg) {
    case WM_CREATE:
        if (kind == WindowKind::Picture)
            PreparePicture();
        event = Event{EventType::Create, 0, CursorPos()};
        break;
    case WM_CLOSE:
        // A close of the saver window does not destroy it: the loop's
        // teardown does. The picture window's handler destroys it itself.
        event = Event{EventType::Close, 0, {}};
        zero = kind != WindowKind::Black;
        break;
    case WM_DESTROY:
        if (kind == WindowKind::Picture)
            FreePicture();
        event = Event{EventType::Destroy, 0, {}};
        zero = kind != WindowKind::Black;
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            event = Event{EventType::Deactivate, 0, {}};
        break;
    case WM_ACTIVATEAPP:
        if (!wParam)
            event = Event{EventType::Deactivate, 0, {}};
        break;
    case WM_NCACTIVATE:
        // The saver window's frame refuses to look inactive.
        if (!wParam && IsSaver(kind))
            return 0;
        break;
    case WM_SETCURSOR:
        if (kind == WindowKind::SaverTest)
            SetCursor(LoadCursorA(nullptr, kArrowCursor));
        break;
    case WM_KEYDOWN:
        event = Event{EventType::KeyDown, static_cast<int>(wParam), {}};
        break;
    case WM_SYSKEYDOWN:
        event = Event{EventType::SysKeyDown, static_cast<int>(wParam), {}};
        break;
    case WM_CHAR:
        event = Event{EventType::Char, static_cast<int>(wParam), {}};
        zero = kind == WindowKind::SaverTest;
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ClientToScreen(hwnd, &p);
        // Buttons numbered as on the other platforms: 1 left, 2 middle, 3 right.
        const int button = msg == WM_LBUTTONDOWN ? 1 : msg == WM_MBUTTONDOWN ? 2 : 3;
        event = Event{EventType::ButtonDown, button, {static_cast<int>(p.x), static_cast<int>(p.y)}};
        break;
    }
    case WM_MOUSEMOVE:
        // Where the cursor is now, in screen coordinates.
        event = Event{EventType::MouseMove, 0, CursorPos()};
        break;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) {
            // The rules close the test form themselves (which is all the
            // default handling would do) and swallow it in full screen.
            event = Event{EventType::SysCommandClose, 0, {}};
            zero = IsSaver(kind);
        } else if (wParam == SC_SCREENSAVE) {
            event = Event{EventType::SysCommandScreenSave, 0, {}};
            zero = kind == WindowKind::SaverFull;
        }
        break;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMSUSPEND)
            event = Event{EventType::Suspend, 0, {}};
        break;
    case WM_PAINT:
        if (kind == WindowKind::Picture) {
            PaintPicture();
            zero = true;
        }
        event = Event{EventType::Paint, 0, {}};
        break;
    default:
        break;
    }
    if (event && m_handler)
        m_handler->OnEvent(*this, *event);
    // From here on this object may be gone.
    return zero ? 0 : DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Win32Window::PreparePicture()
{
    FreePicture();
    GetClientRect(m_hwnd, &m_client);
    const int w = m_client.right - m_client.left;
    const int h = m_client.bottom - m_client.top;
    DibView dib;
    // A picture that cannot be shown is not reported: the window stays empty.
    if (w <= 0 || h <= 0 || !ViewBitmapFile(m_file, dib))
        return;
    // StretchDIBits wants an aligned BITMAPINFO; in the file it sits at
    // offset 14.
    std::vector<uint32_t> info((dib.info.size() + 3) / 4);
    std::memcpy(info.data(), dib.info.data(), dib.info.size());
    HDC windowDc = GetDC(m_hwnd);
    HDC memory = CreateCompatibleDC(windowDc);
    m_picture = CreateCompatibleBitmap(windowDc, w, h);
    if (memory && m_picture) {
        HGDIOBJ old = SelectObject(memory, m_picture);
        SetStretchBltMode(memory, COLORONCOLOR);
        StretchDIBits(memory, 0, 0, w, h, 0, 0, dib.width, dib.height, dib.bits.data(),
                      reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
        SelectObject(memory, old);
    }
    if (memory)
        DeleteDC(memory);
    ReleaseDC(m_hwnd, windowDc);
}

void Win32Window::PaintPicture()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    if (dc && m_picture) {
        HDC memory = CreateCompatibleDC(dc);
        if (memory) {
            HGDIOBJ old = SelectObject(memory, m_picture);
            BitBlt(dc, 0, 0, m_client.right - m_client.left, m_client.bottom - m_client.top, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        }
    }
    EndPaint(m_hwnd, &ps);
}

void Win32Window::FreePicture()
{
    if (m_picture) {
        DeleteObject(m_picture);
        m_picture = nullptr;
    }
}

} // namespace

std::unique_ptr<IWindow> CreateNativeWindow(HINSTANCE instance, const WindowDesc& desc, IEventHandler* handler)
{
    auto window = std::make_unique<Win32Window>(instance, desc.kind, handler);
    if (!window->Create(desc))
        return nullptr;
    return window;
}

} // namespace os::win32
