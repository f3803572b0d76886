// Shared helpers of the dialog suite: a scriptable OS, and BMP files built
// in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/os.h"

namespace testsupport {

// An OS whose windows, screens and modes are scripted; CreateWindow can be
// redirected (to a real window system) with `createHook`.
class ScriptedOS : public os::IOS {
public:
    std::vector<os::DisplayModeInfo> modes;
    std::vector<os::ScreenInfo> screens;
    bool acceptModeSwitch = true;
    std::vector<os::DisplayModeInfo> switches;
    int restores = 0;
    std::vector<os::WindowDesc> created;
    bool refuseWindows = false;
    std::function<std::unique_ptr<os::IWindow>(const os::WindowDesc&, os::IEventHandler*)> createHook;
    std::function<os::DispatchResult()> dispatchHook;
    std::function<void(int)> waitHook;
    std::vector<std::string> opened;

    std::unique_ptr<os::IWindow> CreateWindow(const os::WindowDesc& desc, os::IEventHandler* handler) override;
    os::DispatchResult PeekAndDispatch() override { return dispatchHook ? dispatchHook() : os::DispatchResult::None; }
    void WaitForInput(int ms) override
    {
        if (waitHook)
            waitHook(ms);
    }
    void YieldSlice() override {}
    int ShowCursor(bool show) override { return show ? 0 : -1; }
    os::Point GetCursorPos() override { return {}; }
    os::Rect PrimaryScreen() override { return {0, 0, 640, 480}; }
    std::vector<os::ScreenInfo> Screens() override { return screens; }
    std::vector<os::DisplayModeInfo> DisplayModes() override { return modes; }
    bool SetDisplayMode(uint32_t w, uint32_t h, uint32_t bits) override
    {
        switches.push_back({w, h, bits, 0});
        return acceptModeSwitch;
    }
    void RestoreDisplayMode() override { ++restores; }
    bool AcquireNamedLock(std::string_view) override { return true; }
    void MessageBox(std::string_view, std::string_view) override {}
    os::IUserStore& Store() override;
    std::string CurrentFolder() override { return "./"; }
    void OpenDocument(std::string_view path) override { opened.emplace_back(path); }
    uint64_t PerfFrequency() override { return 0; }
    uint64_t PerfCounter() override { return 0; }
    uint32_t Milliseconds() override { return 0; }
    std::span<const uint8_t> Resource(os::ResourceType, int) override { return {}; }
    void SetSaverRunning(bool) override {}
    void ChangePassword(int64_t) override {}
    bool VerifyPassword(os::IWindow*) override { return false; }
};

// A window that exists until it is destroyed; it tells its handler about its
// destruction like a real one.
class ScriptedWindow : public os::IWindow {
public:
    ScriptedWindow(os::IEventHandler* handler, os::Rect client, int* destroyedCount)
        : m_Handler(handler), m_Client(client), m_DestroyedCount(destroyedCount)
    {
    }
    ~ScriptedWindow() override
    {
        if (m_Exists && m_Handler)
            m_Handler->OnEvent(*this, os::Event{os::EventType::Destroy});
        if (m_DestroyedCount)
            ++*m_DestroyedCount;
    }
    void* NativeHandle() override { return nullptr; }
    os::Rect ClientRect() override { return m_Client; }
    void PostClose() override { SendClose(); }
    void SendClose() override
    {
        if (m_Handler)
            m_Handler->OnEvent(*this, os::Event{os::EventType::Close});
    }
    void SetEnabled(bool) override {}
    bool Exists() override { return m_Exists; }
    // The system window vanished on its own (its parent went away).
    void Vanish()
    {
        m_Exists = false;
        if (m_Handler)
            m_Handler->OnEvent(*this, os::Event{os::EventType::Destroy});
    }
    void Deliver(os::EventType type)
    {
        if (m_Handler)
            m_Handler->OnEvent(*this, os::Event{type});
    }

private:
    os::IEventHandler* m_Handler;
    os::Rect m_Client;
    int* m_DestroyedCount;
    bool m_Exists = true;
};

// An uncompressed 8-bit palettised BMP file of `width` x `height`;
// `index(x, y)` (y = 0 is the top row) picks the palette entry.
std::vector<uint8_t> MakeBmp8(int width, int height, const std::vector<uint32_t>& palette,
                              const std::function<uint8_t(int, int)>& index, bool topDown = false);
// A 24-bit BMP file; `color(x, y)` gives 0x00RRGGBB.
std::vector<uint8_t> MakeBmp24(int width, int height, const std::function<uint32_t(int, int)>& color);

// The four-colour test picture: 160x120, red top left, green top right, blue
// bottom left, white bottom right.
std::vector<uint8_t> QuadrantPicture();
inline constexpr uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff, kWhite = 0xffffff;

} // namespace testsupport
