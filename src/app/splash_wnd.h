// The picture window: bitmap 146 stretched over a foreign parent window
// (the desktop's preview area). Its destruction ends the preview loop.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/os.h"

// What the picture window does with each event, independent of any window
// system.
enum class SplashAction {
    None,        // the default handling
    StoreRect,   // take the client rectangle; the stretched picture is made for it
    Paint,       // copy the stretched picture to (0, 0)
    Stop,        // free the picture and clear the running flag
    Destroy,     // destroy the window
};

SplashAction SplashRule(os::EventType type);

class CSplashWnd : private os::IEventHandler {
public:
    static constexpr int kBitmapId = 146;

    explicit CSplashWnd(os::IOS& os);
    virtual ~CSplashWnd();
    CSplashWnd(const CSplashWnd&) = delete;
    CSplashWnd& operator=(const CSplashWnd&) = delete;

    // Creates the picture window as a child covering the client area of
    // `parent` (a native window id), showing `bitmap` (BMP file bytes).
    // False when no window could be made, e.g. `parent` names no window.
    bool Create(uint64_t parent, std::span<const uint8_t> bitmap);

    // Whether the picture window still exists.
    bool Exists() const { return m_Window && m_Window->Exists(); }
    os::Rect ClientRect() const { return m_ClientRect; }

private:
    void OnEvent(os::IWindow& window, const os::Event& event) override;

    os::IOS& m_OS;
    int m_BitmapId = kBitmapId;
    os::Rect m_ClientRect;
    std::unique_ptr<os::IWindow> m_Window;
};
