// CBlackWnd: black topmost windows over the primary screen and every other
// monitor, so that only the flight is visible; input on them ends the run.
#pragma once

#include <memory>
#include <vector>

#include "app/window_rules.h"
#include "platform/os.h"

class CBlackWnd final : public os::IEventHandler {
public:
    CBlackWnd() = default;
    CBlackWnd(const CBlackWnd&) = delete;
    CBlackWnd& operator=(const CBlackWnd&) = delete;
    virtual ~CBlackWnd() { Destroy(); }

    // The main window over the primary screen, and with `allMonitors` one
    // more over each further monitor. False when the main one cannot be made;
    // a missing further window is silently left out.
    bool Create(os::IOS& os, bool allMonitors);
    // Destroys the main window and, with it, the others.
    void Destroy();
    os::IWindow* Window() const { return m_main.get(); }
    size_t WindowCount() const { return (m_main ? 1 : 0) + m_others.size(); }

    void OnEvent(os::IWindow& window, const os::Event& event) override;

private:
    os::IOS* m_os = nullptr;
    BlackWndRules m_rules;
    std::unique_ptr<os::IWindow> m_main;
    std::vector<std::unique_ptr<os::IWindow>> m_others;
};
