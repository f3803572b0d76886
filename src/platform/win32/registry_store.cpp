// The registry as the per-user store.
//
// Each value is read on its own into a buffer of its declared size, without
// asking for its type: a value of another type that fits (at most 4 bytes
// for an integer) is taken as the raw bytes it holds, anything longer fails
// and the caller's default stands. Nothing read is trusted beyond that; the
// settings' consumers clamp what they use.
#include "platform/win32/registry_store.h"

#include <cstring>
#include <string>

namespace os::win32 {
namespace {

constexpr DWORD kMaxString = 1024;

class RegistryKey final : public IStoreKey {
public:
    explicit RegistryKey(HKEY key) : m_key(key) {}
    ~RegistryKey() override { RegCloseKey(m_key); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool QueryInt(std::string_view name, int32_t& value) override
    {
        DWORD buffer = 0;
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(m_key, std::string(name).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&buffer),
                             &size) != ERROR_SUCCESS)
            return false;
        value = static_cast<int32_t>(buffer);
        return true;
    }

    bool QueryString(std::string_view name, std::string& value) override
    {
        char buffer[kMaxString] = {};
        DWORD size = kMaxString;
        if (RegQueryValueExA(m_key, std::string(name).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS)
            return false;
        // The stored text need not end with a terminator, nor end at one.
        value.assign(buffer, strnlen(buffer, size));
        return true;
    }

    bool SetInt(std::string_view name, int32_t value) override
    {
        const auto data = static_cast<DWORD>(value);
        if (RegSetValueExA(m_key, std::string(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                           sizeof data) != ERROR_SUCCESS)
            m_failed = true;
        return !m_failed;
    }

    bool Commit() override { return !m_failed; }

private:
    HKEY m_key;
    bool m_failed = false;
};

class RegistryStore final : public IUserStore {
public:
    explicit RegistryStore(HKEY root) : m_root(root) {}

    std::unique_ptr<IStoreKey> OpenKey(std::string_view path) override
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(m_root, std::string(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<RegistryKey>(key);
    }

private:
    HKEY m_root;
};

} // namespace

std::unique_ptr<IUserStore> CreateRegistryStore(HKEY root)
{
    return std::make_unique<RegistryStore>(root);
}

} // namespace os::win32
