// Foreign windows on X11.
//
// The connection stays open until the process ends: the GL context made on
// the window uses it too, and may outlive the window object on error paths.
#include "platform/x11/foreign_window.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <set>
#include <vector>

#include "platform/foreign_target.h"

namespace os::x11 {
namespace {

class ForeignWindow;

struct Connection {
    Display* display = nullptr;
    bool failed = false;
    XErrorHandler previousHandler = nullptr;
    std::vector<ForeignWindow*> windows;
    std::deque<std::pair<ForeignWindow*, Event>> pending;
    std::set<XID> badResources; // ids that drew an error
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

Display* Open()
{
    if (!g_Conn.display && !g_Conn.failed) {
        g_Conn.display = XOpenDisplay(nullptr);
        g_Conn.failed = g_Conn.display == nullptr;
        if (g_Conn.display)
            g_Conn.previousHandler = XSetErrorHandler(TrapErrors);
    }
    return g_Conn.display;
}

class ForeignWindow final : public IWindow {
public:
    ForeignWindow(Window window, VisualID visual, IEventHandler* handler) : m_Handler(handler)
    {
        m_Target.xDisplay = g_Conn.display;
        m_Target.xWindow = window;
        m_Target.xVisualId = visual;
        ForeignGLTargets().insert(&m_Target);
        g_Conn.windows.push_back(this);
    }

    ~ForeignWindow() override
    {
        if (m_Exists) {
            m_Exists = false;
            if (m_Handler)
                m_Handler->OnEvent(*this, Event{EventType::Destroy});
            // Our interest in the window ends; the window itself is not ours.
            XSelectInput(g_Conn.display, m_Target.xWindow, NoEventMask);
            XSync(g_Conn.display, False);
        }
        ForeignGLTargets().erase(&m_Target);
        std::erase(g_Conn.windows, this);
        std::erase_if(g_Conn.pending, [this](const auto& p) { return p.first == this; });
    }

    void* NativeHandle() override { return &m_Target; }
    Rect ClientRect() override
    {
        XWindowAttributes attr{};
        if (m_Exists && XGetWindowAttributes(g_Conn.display, m_Target.xWindow, &attr))
            return {0, 0, attr.width, attr.height};
        return {};
    }
    void PostClose() override { g_Conn.pending.emplace_back(this, Event{EventType::Close}); }
    void SendClose() override { Deliver(Event{EventType::Close}); }
    void SetEnabled(bool) override {}
    bool Exists() override { return m_Exists; }

    Window Id() const { return m_Target.xWindow; }
    void Deliver(const Event& e)
    {
        if (m_Handler)
            m_Handler->OnEvent(*this, e);
    }
    // The owner destroyed the window; report it once.
    void Lost()
    {
        if (!m_Exists)
            return;
        m_Exists = false;
        g_Conn.pending.emplace_back(this, Event{EventType::Destroy});
    }

private:
    ForeignGLTarget m_Target;
    IEventHandler* m_Handler;
    bool m_Exists = true;
};

void Pump()
{
    Display* d = g_Conn.display;
    while (XPending(d) > 0) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type != DestroyNotify)
            continue;
        for (ForeignWindow* w : g_Conn.windows)
            if (w->Id() == ev.xdestroywindow.window)
                w->Lost();
    }
    if (!g_Conn.badResources.empty()) {
        // A BadWindow on the target means it is gone even if the
        // DestroyNotify never reached us (it can be destroyed before we
        // selected the event).
        for (ForeignWindow* w : g_Conn.windows)
            if (g_Conn.badResources.count(w->Id()))
                w->Lost();
        g_Conn.badResources.clear();
    }
}

} // namespace

std::unique_ptr<IWindow> CreateForeignWindow(const WindowDesc& desc, IEventHandler* handler)
{
    Display* d = Open();
    if (!d) {
        std::fprintf(stderr, "Vantor: cannot open the X display\n");
        return nullptr;
    }
    const Window window = desc.foreignParent ? static_cast<Window>(desc.foreignParent) : DefaultRootWindow(d);
    g_Conn.badResources.clear();
    // Select first, then check: a window destroyed in between still reports
    // its destruction, or fails the check.
    XSelectInput(d, window, StructureNotifyMask);
    XWindowAttributes attr{};
    const Status ok = XGetWindowAttributes(d, window, &attr);
    XSync(d, False);
    if (!ok || g_Conn.badResources.count(window)) {
        g_Conn.badResources.clear();
        std::fprintf(stderr, "Vantor: window 0x%lx does not exist\n", static_cast<unsigned long>(window));
        return nullptr;
    }
    if (attr.c_class != InputOutput) {
        std::fprintf(stderr, "Vantor: window 0x%lx cannot be drawn into (input only)\n",
                     static_cast<unsigned long>(window));
        return nullptr;
    }
    auto w = std::make_unique<ForeignWindow>(window, XVisualIDFromVisual(attr.visual), handler);
    w->Deliver(Event{EventType::Create});
    return w;
}

bool DispatchForeignEvent()
{
    if (!g_Conn.display || g_Conn.windows.empty())
        return false;
    if (g_Conn.pending.empty())
        Pump();
    if (g_Conn.pending.empty())
        return false;
    auto [window, e] = g_Conn.pending.front();
    g_Conn.pending.pop_front();
    window->Deliver(e);
    return true;
}

void PostCloseToForeignWindows()
{
    for (ForeignWindow* w : g_Conn.windows)
        w->PostClose();
}

} // namespace os::x11
