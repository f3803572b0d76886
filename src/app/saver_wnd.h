// CSaverWnd: the window the flight is drawn into, an ordinary 640x480 window
// in test mode or a borderless topmost window over the primary screen, or
// in hack mode a window that belongs to the screensaver daemon.
#pragma once

#include <memory>

#include "app/window_rules.h"
#include "platform/os.h"

class CSaverWnd final : public os::IEventHandler {
public:
    CSaverWnd() = default;
    CSaverWnd(const CSaverWnd&) = delete;
    CSaverWnd& operator=(const CSaverWnd&) = delete;
    virtual ~CSaverWnd() { Destroy(); }

    // Creates and shows the window; false when it cannot be created.
    bool Create(os::IOS& os, bool test);
    // Wraps a window of another program (0: the root window) instead.
    bool CreateForeign(os::IOS& os, uint64_t window);
    void Destroy();
    os::IWindow* Window() const { return m_window.get(); }

    void OnEvent(os::IWindow& window, const os::Event& event) override;

private:
    os::IOS* m_os = nullptr;
    SaverWndRules m_rules{true};
    bool m_foreign = false;
    std::unique_ptr<os::IWindow> m_window;
};

// Carries out the actions of a rule object on `window`.
void ApplyWindowActions(os::IOS& os, os::IWindow& window, unsigned actions);
