// The scriptable test OS.
#include "platform/fake/fake_os.h"

#include <algorithm>
#include <new>

#include "platform/ini_store.h"

namespace os {

namespace {

class MemoryKey final : public IStoreKey {
public:
    MemoryKey(MemoryStore& store, std::map<std::string, std::string>& values) : m_store(store), m_values(values) {}
    bool QueryInt(std::string_view name, int32_t& value) override
    {
        auto it = m_values.find(std::string(name));
        return it != m_values.end() && ParseStoredInt(it->second, value);
    }
    bool QueryString(std::string_view name, std::string& value) override
    {
        auto it = m_values.find(std::string(name));
        if (it == m_values.end())
            return false;
        value = it->second;
        return true;
    }
    bool SetInt(std::string_view name, int32_t value) override
    {
        m_values[std::string(name)] = std::to_string(value);
        return true;
    }
    bool Commit() override
    {
        ++m_store.commits;
        return true;
    }

private:
    MemoryStore& m_store;
    std::map<std::string, std::string>& m_values;
};

} // namespace

const char* WindowKindName(WindowKind kind)
{
    switch (kind) {
    case WindowKind::SaverTest: return "SaverTest";
    case WindowKind::SaverFull: return "SaverFull";
    case WindowKind::Black: return "Black";
    case WindowKind::Picture: return "Picture";
    case WindowKind::Foreign: return "Foreign";
    }
    return "?";
}

std::unique_ptr<IStoreKey> MemoryStore::OpenKey(std::string_view path)
{
    if (throwOnOpen)
        throw std::bad_alloc();
    if (failOpen)
        return nullptr;
    return std::make_unique<MemoryKey>(*this, keys[std::string(path)]);
}

FakeWindow::FakeWindow(FakeOS& o, const WindowDesc& d, IEventHandler* h) : os(o), desc(d), handler(h) {}

FakeWindow::~FakeWindow()
{
    if (exists) {
        Deliver({EventType::Destroy, 0, {}});
        exists = false;
    }
    os.Log(std::string("DestroyWindow ") + WindowKindName(desc.kind) + " " + desc.title);
    std::erase(os.windows, this);
    std::erase_if(os.queue, [this](const auto& p) { return p.first == this; });
}

void FakeWindow::PostClose()
{
    os.queue.emplace_back(this, Event{EventType::Close, 0, {}});
}

void FakeWindow::SetEnabled(bool on)
{
    enabled = on;
    os.Log(std::string("EnableWindow ") + WindowKindName(desc.kind) + (on ? " 1" : " 0"));
}

void FakeWindow::Deliver(const Event& e)
{
    if (handler)
        handler->OnEvent(*this, e);
}

FakeOS::FakeOS() = default;
FakeOS::~FakeOS() = default;

std::unique_ptr<IWindow> FakeOS::CreateWindow(const WindowDesc& desc, IEventHandler* handler)
{
    const Rect& r = desc.rect;
    std::string line = std::string("CreateWindow ") + WindowKindName(desc.kind) + " \"" + desc.title + "\" " +
                       std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                       std::to_string(r.bottom);
    if (desc.kind == WindowKind::Foreign)
        line += " target " + std::to_string(desc.foreignParent);
    if (failCreate[desc.kind]) {
        Log(line + " failed");
        return nullptr;
    }
    Log(line);
    auto window = std::make_unique<FakeWindow>(*this, desc, handler);
    windows.push_back(window.get());
    window->Deliver({EventType::Create, 0, cursor});
    return window;
}

DispatchResult FakeOS::PeekAndDispatch()
{
    if (queue.empty()) {
        if (onIdle)
            onIdle();
        return DispatchResult::None;
    }
    auto [window, e] = queue.front();
    queue.pop_front();
    if (window->enabled || e.type == EventType::Paint)
        window->Deliver(e);
    return DispatchResult::Dispatched;
}

void FakeOS::WaitForInput(int ms)
{
    Log("WaitForInput " + std::to_string(ms));
}

int FakeOS::ShowCursor(bool show)
{
    cursorCount += show ? 1 : -1;
    Log(std::string("ShowCursor ") + (show ? "1" : "0"));
    return cursorCount;
}

bool FakeOS::SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits)
{
    Log("SetDisplayMode " + std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bits) +
        (setModeResult ? "" : " refused"));
    return setModeResult;
}

bool FakeOS::AcquireNamedLock(std::string_view name)
{
    const bool held = heldLocks[std::string(name)];
    Log("AcquireNamedLock " + std::string(name) + (held ? " busy" : ""));
    heldLocks[std::string(name)] = true;
    return !held;
}

void FakeOS::MessageBox(std::string_view caption, std::string_view text)
{
    Log("MessageBox " + std::string(caption));
    messageBoxes.push_back(std::string(caption) + "|" + std::string(text));
}

std::span<const uint8_t> FakeOS::Resource(ResourceType type, int id)
{
    auto it = resources.find({type, id});
    if (it == resources.end())
        return {};
    return it->second;
}

bool FakeOS::VerifyPassword(IWindow* owner)
{
    const auto* w = static_cast<FakeWindow*>(owner);
    Log(std::string("VerifyPassword ") + (w ? WindowKindName(w->desc.kind) : "none"));
    return passwordAsked;
}

void FakeOS::Queue(IWindow* window, const Event& e)
{
    queue.emplace_back(static_cast<FakeWindow*>(window), e);
}

FakeWindow* FakeOS::Find(WindowKind kind)
{
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->desc.kind == kind && (*it)->exists)
            return *it;
    }
    return nullptr;
}

std::vector<std::string> FakeOS::LogStartingWith(std::string_view prefix) const
{
    std::vector<std::string> out;
    for (const std::string& line : log) {
        if (line.starts_with(prefix))
            out.push_back(line);
    }
    return out;
}

} // namespace os
