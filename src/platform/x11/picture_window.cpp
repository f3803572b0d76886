// The picture window on X11.
//
// The stretched picture lives in a server-side pixmap that is also the
// window's background, so the server repaints it on exposure even while the
// program is busy; Expose is still reported as Paint. The parent belongs to
// another client and may vanish at any moment: its DestroyNotify (and ours,
// since children die first) and any BadWindow error end the window, which is
// reported once as Destroy.
#include "platform/x11/picture_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <set>

#include "platform/x11/dib.h"

namespace os::x11 {
namespace {

class PictureWindow;

// One Xlib connection shared by every picture window, open while any exists.
struct Connection {
    Display* display = nullptr;
    int users = 0;
    Atom wmProtocols = None;
    Atom wmDeleteWindow = None;
    XErrorHandler previousHandler = nullptr;
    std::map<Window, PictureWindow*> windows;
    std::deque<std::pair<Window, Event>> pending;
    std::set<XID> badResources; // ids that drew an error since the last pump
};

Connection g_Conn;

int TrapErrors(Display* display, XErrorEvent* error)
{
    if (display == g_Conn.display) {
        g_Conn.badResources.insert(error->resourceid);
        return 0;
    }
    return g_Conn.previousHandler ? g_Conn.previousHandler(display, error) : 0;
}

bool OpenConnection()
{
    if (g_Conn.display) {
        ++g_Conn.users;
        return true;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    g_Conn.display = display;
    g_Conn.users = 1;
    g_Conn.previousHandler = XSetErrorHandler(TrapErrors);
    g_Conn.wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    g_Conn.wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    return true;
}

void CloseConnection()
{
    if (--g_Conn.users > 0)
        return;
    XCloseDisplay(g_Conn.display);
    // Someone else may have installed a handler since; leave theirs alone.
    XErrorHandler current = XSetErrorHandler(g_Conn.previousHandler);
    if (current != TrapErrors)
        XSetErrorHandler(current);
    g_Conn = Connection{};
}

// Channel shift and width of a visual's colour mask.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(unsigned long mask)
    {
        if (mask) {
            shift = std::countr_zero(mask);
            bits = std::popcount(mask);
        }
    }
    unsigned long Place(uint32_t value8) const
    {
        if (bits == 0)
            return 0;
        const unsigned long v = bits >= 8 ? static_cast<unsigned long>(value8) << (bits - 8) : value8 >> (8 - bits);
        return v << shift;
    }
};

class PictureWindow final : public IWindow {
public:
    PictureWindow(Window parent, IEventHandler* handler) : m_Parent(parent), m_Handler(handler) {}

    ~PictureWindow() override
    {
        if (m_Exists) {
            m_Exists = false;
            if (m_Handler)
                m_Handler->OnEvent(*this, Event{EventType::Destroy});
            XDestroyWindow(g_Conn.display, m_Window);
        }
        FreePixmap();
        XSync(g_Conn.display, False);
        g_Conn.windows.erase(m_Window);
        CloseConnection();
    }

    bool Create(std::span<const uint8_t> bitmap)
    {
        Display* d = g_Conn.display;
        XWindowAttributes parentAttr{};
        g_Conn.badResources.clear();
        if (!XGetWindowAttributes(d, m_Parent, &parentAttr) || g_Conn.badResources.count(m_Parent))
            return false;
        const int w = std::max(1, parentAttr.width);
        const int h = std::max(1, parentAttr.height);

        XSetWindowAttributes attr{};
        attr.event_mask = ExposureMask | StructureNotifyMask;
        attr.background_pixel = BlackPixel(d, DefaultScreen(d));
        m_Window = XCreateWindow(d, m_Parent, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                 CopyFromParent, InputOutput, CopyFromParent, CWEventMask | CWBackPixel, &attr);
        XSync(d, False);
        if (!m_Window || g_Conn.badResources.count(m_Parent) || g_Conn.badResources.count(m_Window)) {
            if (m_Window)
                XDestroyWindow(d, m_Window); // may fail with the parent; trapped
            g_Conn.badResources.clear();
            return false;
        }
        m_Exists = true;
        m_Client = Rect{0, 0, w, h};
        g_Conn.windows[m_Window] = this;
        XStoreName(d, m_Window, "Splash Window");
        XSetWMProtocols(d, m_Window, &g_Conn.wmDeleteWindow, 1);
        // Our own interest in the parent: its destruction and its size.
        XSelectInput(d, m_Parent, StructureNotifyMask);

        m_Visual = parentAttr.visual;
        m_Depth = parentAttr.depth;
        m_Source = dib::Decode(bitmap);
        MakePixmap();
        XMapWindow(d, m_Window);
        XSync(d, False);
        return true;
    }

    void* NativeHandle() override { return reinterpret_cast<void*>(static_cast<uintptr_t>(m_Window)); }
    Rect ClientRect() override { return m_Client; }
    void PostClose() override
    {
        if (m_Exists)
            g_Conn.pending.emplace_back(m_Window, Event{EventType::Close});
    }
    void SendClose() override
    {
        if (m_Handler)
            m_Handler->OnEvent(*this, Event{EventType::Close});
    }
    void SetEnabled(bool) override {}
    bool Exists() override;

    IEventHandler* Handler() const { return m_Handler; }
    Window Parent() const { return m_Parent; }
    Window Id() const { return m_Window; }

    // The system window is gone; report it once.
    void Lost()
    {
        if (!m_Exists)
            return;
        m_Exists = false;
        g_Conn.pending.emplace_back(m_Window, Event{EventType::Destroy});
    }

    // The child keeps covering the whole parent, with the picture stretched
    // anew, when the desktop resizes its preview area.
    void FollowParent(int width, int height)
    {
        if (!m_Exists || width <= 0 || height <= 0 || (width == m_Client.Width() && height == m_Client.Height()))
            return;
        m_Client = Rect{0, 0, width, height};
        XResizeWindow(g_Conn.display, m_Window, static_cast<unsigned>(width), static_cast<unsigned>(height));
        MakePixmap();
        XClearArea(g_Conn.display, m_Window, 0, 0, 0, 0, True);
    }

    void Repaint()
    {
        if (m_Exists && m_Pixmap && m_Gc)
            XCopyArea(g_Conn.display, m_Pixmap, m_Window, m_Gc, 0, 0, static_cast<unsigned>(m_Client.Width()),
                      static_cast<unsigned>(m_Client.Height()), 0, 0);
    }

private:
    void FreePixmap()
    {
        if (m_Gc)
            XFreeGC(g_Conn.display, m_Gc);
        if (m_Pixmap)
            XFreePixmap(g_Conn.display, m_Pixmap);
        m_Gc = nullptr;
        m_Pixmap = None;
    }

    // The source picture stretched to the client size, in a pixmap that is
    // also the window's background.
    void MakePixmap()
    {
        FreePixmap();
        if (!m_Source)
            return;
        const dib::Picture picture = dib::Stretch(*m_Source, m_Client.Width(), m_Client.Height());
        Display* d = g_Conn.display;
        Visual* visual = m_Visual;
        if (picture.pixels.empty() || !visual || (visual->c_class != TrueColor && visual->c_class != DirectColor))
            return; // a picture that cannot be shown leaves the window black
        const int depth = m_Depth;
        XImage* image = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                     static_cast<unsigned>(picture.width), static_cast<unsigned>(picture.height), 32, 0);
        if (!image)
            return;
        image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * picture.height));
        if (!image->data) {
            XDestroyImage(image);
            return;
        }
        const Channel red(visual->red_mask), green(visual->green_mask), blue(visual->blue_mask);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const uint32_t p = picture.At(x, y);
                XPutPixel(image, x, y, red.Place(p >> 16 & 0xff) | green.Place(p >> 8 & 0xff) | blue.Place(p & 0xff));
            }
        m_Pixmap = XCreatePixmap(d, m_Window, static_cast<unsigned>(picture.width),
                                 static_cast<unsigned>(picture.height), static_cast<unsigned>(depth));
        m_Gc = XCreateGC(d, m_Pixmap, 0, nullptr);
        XPutImage(d, m_Pixmap, m_Gc, image, 0, 0, 0, 0, static_cast<unsigned>(picture.width),
                  static_cast<unsigned>(picture.height));
        XDestroyImage(image); // frees the pixel memory too
        XSetWindowBackgroundPixmap(d, m_Window, m_Pixmap);
    }

    Window m_Parent = None;
    Window m_Window = None;
    Visual* m_Visual = nullptr;
    int m_Depth = 0;
    std::optional<dib::Picture> m_Source;
    Pixmap m_Pixmap = None;
    GC m_Gc = nullptr;
    IEventHandler* m_Handler = nullptr;
    Rect m_Client;
    bool m_Exists = false;
};

PictureWindow* FindWindow(Window id)
{
    const auto it = g_Conn.windows.find(id);
    return it == g_Conn.windows.end() ? nullptr : it->second;
}

// Moves what the server has sent into the pending queue, turning errors on
// a window or its parent into the window's loss.
void Pump()
{
    if (!g_Conn.display)
        return;
    Display* d = g_Conn.display;
    while (XPending(d) > 0) {
        XEvent ev;
        XNextEvent(d, &ev);
        switch (ev.type) {
        case Expose:
            if (PictureWindow* w = FindWindow(ev.xexpose.window); w && ev.xexpose.count == 0) {
                w->Repaint();
                g_Conn.pending.emplace_back(w->Id(), Event{EventType::Paint});
            }
            break;
        case DestroyNotify:
            for (auto& [id, w] : g_Conn.windows)
                if (ev.xdestroywindow.window == id || ev.xdestroywindow.window == w->Parent())
                    w->Lost();
            break;
        case ConfigureNotify:
            for (auto& [id, w] : g_Conn.windows)
                if (ev.xconfigure.window == w->Parent())
                    w->FollowParent(ev.xconfigure.width, ev.xconfigure.height);
            break;
        case ClientMessage:
            if (PictureWindow* w = FindWindow(ev.xclient.window);
                w && ev.xclient.message_type == g_Conn.wmProtocols && ev.xclient.format == 32 &&
                static_cast<Atom>(ev.xclient.data.l[0]) == g_Conn.wmDeleteWindow)
                g_Conn.pending.emplace_back(w->Id(), Event{EventType::Close});
            break;
        default:
            break;
        }
    }
    if (!g_Conn.badResources.empty()) {
        for (auto& [id, w] : g_Conn.windows)
            if (g_Conn.badResources.count(id) || g_Conn.badResources.count(w->Parent()))
                w->Lost();
        g_Conn.badResources.clear();
    }
}

bool PictureWindow::Exists()
{
    Pump();
    return m_Exists;
}

} // namespace

std::unique_ptr<IWindow> CreatePictureWindow(const WindowDesc& desc, IEventHandler* handler)
{
    // X resource ids have 29 bits; anything larger names no window.
    if (desc.foreignParent == 0 || desc.foreignParent > 0x1fffffff)
        return nullptr;
    if (!OpenConnection())
        return nullptr;
    auto window = std::make_unique<PictureWindow>(static_cast<Window>(desc.foreignParent), handler);
    if (!window->Create(desc.bitmap)) {
        window.reset(); // releases the connection
        return nullptr;
    }
    if (handler)
        handler->OnEvent(*window, Event{EventType::Create});
    return window;
}

bool DispatchPictureEvent()
{
    if (g_Conn.pending.empty())
        Pump();
    while (!g_Conn.pending.empty()) {
        const auto [id, event] = g_Conn.pending.front();
        g_Conn.pending.pop_front();
        PictureWindow* w = FindWindow(id);
        if (!w || !w->Handler())
            continue;
        // The handler may destroy the window (and the connection with it);
        // nothing here touches either afterwards.
        w->Handler()->OnEvent(*w, event);
        return true;
    }
    return false;
}

void PostCloseToPictures()
{
    for (const auto& [id, window] : g_Conn.windows)
        window->PostClose();
}

void WaitPictureInput(int ms)
{
    if (!g_Conn.display) {
        poll(nullptr, 0, ms);
        return;
    }
    if (!g_Conn.pending.empty() || XPending(g_Conn.display) > 0 || !g_Conn.badResources.empty())
        return;
    pollfd fd{ConnectionNumber(g_Conn.display), POLLIN, 0};
    poll(&fd, 1, ms);
}

} // namespace os::x11
