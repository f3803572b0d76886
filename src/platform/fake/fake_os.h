// A scriptable OS for tests: every call is written to a log, windows are
// plain records, events are queued by the test and delivered by dispatch.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/os.h"

namespace os {

// An in-memory per-user store: key path -> name -> text.
class MemoryStore final : public IUserStore {
public:
    std::unique_ptr<IStoreKey> OpenKey(std::string_view path) override;

    std::map<std::string, std::map<std::string, std::string>> keys;
    bool failOpen = false;
    bool throwOnOpen = false;  // an unexpected failure, e.g. memory exhausted
    int commits = 0;
};

class FakeOS;

class FakeWindow final : public IWindow {
public:
    FakeWindow(FakeOS& os, const WindowDesc& desc, IEventHandler* handler);
    ~FakeWindow() override;

    void* NativeHandle() override { return this; }
    Rect ClientRect() override { return {0, 0, desc.rect.Width(), desc.rect.Height()}; }
    void PostClose() override;
    void SendClose() override { Deliver({EventType::Close, 0, {}}); }
    void SetEnabled(bool on) override;
    bool Exists() override { return exists; }

    void Deliver(const Event& e);

    FakeOS& os;
    WindowDesc desc;
    IEventHandler* handler;
    bool exists = true;
    bool enabled = true;
};

class FakeOS final : public IOS {
public:
    FakeOS();
    ~FakeOS() override;

    std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc, IEventHandler* handler) override;
    DispatchResult PeekAndDispatch() override;
    void WaitForInput(int ms) override;
    void YieldSlice() override { Log("YieldSlice"); }
    int ShowCursor(bool show) override;
    Point GetCursorPos() override { return cursor; }
    Rect PrimaryScreen() override { return primary; }
    std::vector<ScreenInfo> Screens() override { return screens; }
    std::vector<DisplayModeInfo> DisplayModes() override { return modes; }
    bool SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override;
    void RestoreDisplayMode() override { Log("RestoreDisplayMode"); }
    bool AcquireNamedLock(std::string_view name) override;
    void MessageBox(std::string_view caption, std::string_view text) override;
    IUserStore& Store() override { return store; }
    std::string CurrentFolder() override { return "./"; }
    void OpenDocument(std::string_view path) override { Log("OpenDocument " + std::string(path)); }
    uint64_t PerfFrequency() override { return perfFrequency; }
    uint64_t PerfCounter() override { return perfCounter; }
    uint32_t Milliseconds() override { return milliseconds; }
    std::span<const uint8_t> Resource(ResourceType type, int id) override;
    void SetSaverRunning(bool running) override { Log(running ? "SetSaverRunning 1" : "SetSaverRunning 0"); }
    void ChangePassword(int64_t window) override { Log("ChangePassword " + std::to_string(window)); }
    bool VerifyPassword(IWindow* owner) override;

    // Scripting.
    void Log(std::string line) { log.push_back(std::move(line)); }
    void Queue(IWindow* window, const Event& e);
    // The most recent live window of `kind`, or null.
    FakeWindow* Find(WindowKind kind);
    // Entries of the log that start with `prefix`, in order.
    std::vector<std::string> LogStartingWith(std::string_view prefix) const;

    std::vector<std::string> log;
    std::vector<FakeWindow*> windows;
    std::deque<std::pair<FakeWindow*, Event>> queue;
    std::map<WindowKind, bool> failCreate;
    bool setModeResult = true;
    std::map<std::string, bool> heldLocks;  // locks another process holds
    Rect primary{0, 0, 1280, 1024};
    std::vector<ScreenInfo> screens;
    std::vector<DisplayModeInfo> modes;
    Point cursor;
    int cursorCount = 0;
    uint64_t perfFrequency = 1000000;
    uint64_t perfCounter = 0;
    uint32_t milliseconds = 0;
    std::map<std::pair<ResourceType, int>, std::vector<uint8_t>> resources;
    MemoryStore store;
    std::vector<std::string> messageBoxes;
    bool passwordAsked = false;  // what VerifyPassword answers
    // Called on every idle dispatch (nothing queued); tests use it to end loops.
    std::function<void()> onIdle;
};

const char* WindowKindName(WindowKind kind);

} // namespace os
