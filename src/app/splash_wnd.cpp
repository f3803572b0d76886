// The picture window of preview mode.
//
// The platform layer owns the pixels: it decodes the bitmap, stretches it to
// the client size and copies it on every repaint, because only it knows the
// window system's drawing calls. This class keeps the rules.
#include "app/splash_wnd.h"

#include "base/system.h"

SplashAction SplashRule(os::EventType type)
{
    switch (type) {
    case os::EventType::Create:
        return SplashAction::StoreRect;
    case os::EventType::Paint:
        return SplashAction::Paint;
    case os::EventType::Destroy:
        return SplashAction::Stop;
    case os::EventType::Close:
        return SplashAction::Destroy;
    default:
        return SplashAction::None;
    }
}

CSplashWnd::CSplashWnd(os::IOS& os) : m_OS(os) {}

CSplashWnd::~CSplashWnd()
{
    m_Window.reset();
}

bool CSplashWnd::Create(uint64_t parent, std::span<const uint8_t> bitmap)
{
    m_BitmapId = kBitmapId;
    os::WindowDesc desc;
    desc.kind = os::WindowKind::Picture;
    desc.title = "Splash Window";
    desc.foreignParent = parent;
    desc.bitmap = bitmap;
    // The handler is this object itself, so events that arrive while the
    // window is still being created reach it without any lookup.
    m_Window = m_OS.CreateWindow(desc, this);
    return m_Window != nullptr;
}

void CSplashWnd::OnEvent(os::IWindow& window, const os::Event& event)
{
    switch (SplashRule(event.type)) {
    case SplashAction::StoreRect:
        m_ClientRect = window.ClientRect();
        break;
    case SplashAction::Stop:
        g_Running = 0;
        break;
    case SplashAction::Destroy:
        // The window object delivers Destroy from its destructor, which
        // clears the running flag through the rule above.
        if (m_Window.get() == &window)
            m_Window.reset();
        break;
    case SplashAction::Paint:
    case SplashAction::None:
        break;
    }
}
