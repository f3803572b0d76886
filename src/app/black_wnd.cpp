// The black cover windows.
#include "app/black_wnd.h"

#include "app/display.h"
#include "app/saver_wnd.h"
#include "base/error.h"

bool CBlackWnd::Create(os::IOS& os, bool allMonitors)
{
    return InChain("CBlackWnd::Create", [&] {
        Destroy();
        m_os = &os;
        m_rules = BlackWndRules();
        os::WindowDesc desc;
        desc.kind = os::WindowKind::Black;
        desc.title = "Black Window";
        desc.rect = os.PrimaryScreen();
        m_main = os.CreateWindow(desc, this);
        if (!m_main)
            return false;
        if (allMonitors) {
            for (const MonitorRecord& monitor : BuildMonitorList(os)) {
                if (monitor.primary)
                    continue;
                desc.rect = monitor.rect;  // empty for an adapter off the desktop
                desc.owner = m_main.get();
                if (auto window = os.CreateWindow(desc, this))
                    m_others.push_back(std::move(window));
            }
        }
        return true;
    });
}

void CBlackWnd::Destroy()
{
    // The owned windows go first, as they would with their owner.
    m_others.clear();
    m_main.reset();
}

void CBlackWnd::OnEvent(os::IWindow& window, const os::Event& event)
{
    ApplyWindowActions(*m_os, window, m_rules.OnEvent(event));
}
