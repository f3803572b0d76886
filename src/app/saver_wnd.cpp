// The saver window and the execution of its rules.
#include "app/saver_wnd.h"

#include "base/system.h"

void ApplyWindowActions(os::IOS& os, os::IWindow& window, unsigned actions)
{
    if (actions & kActHideCursor)
        os.ShowCursor(false);
    if (actions & kActShowCursor)
        os.ShowCursor(true);
    if (actions & kActClearRunning)
        g_Running = 0;
    if (actions & kActPostClose)
        window.PostClose();
    if (actions & kActSendClose)
        window.SendClose();
}

bool CSaverWnd::Create(os::IOS& os, bool test)
{
    Destroy();
    m_os = &os;
    m_rules = SaverWndRules(test);
    m_foreign = false;
    os::WindowDesc desc;
    if (test) {
        desc.kind = os::WindowKind::SaverTest;
        desc.title = "Debug Window";
        desc.rect = {0, 0, 640, 480};
    } else {
        // The primary screen as it is now, after any display mode switch.
        desc.kind = os::WindowKind::SaverFull;
        desc.title = "Window";
        desc.rect = os.PrimaryScreen();
    }
    m_window = os.CreateWindow(desc, this);
    return m_window != nullptr;
}

bool CSaverWnd::CreateForeign(os::IOS& os, uint64_t window)
{
    Destroy();
    m_os = &os;
    m_foreign = true;
    os::WindowDesc desc;
    desc.kind = os::WindowKind::Foreign;
    desc.title = "Window";
    desc.foreignParent = window;
    m_window = os.CreateWindow(desc, this);
    return m_window != nullptr;
}

void CSaverWnd::Destroy()
{
    m_window.reset();
}

void CSaverWnd::OnEvent(os::IWindow& window, const os::Event& event)
{
    ApplyWindowActions(*m_os, window, m_foreign ? HackWndRules(event) : m_rules.OnEvent(event));
}
