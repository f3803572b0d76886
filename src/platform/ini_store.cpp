// INI-file implementation of the per-user store.
#include "platform/ini_store.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <algorithm>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <pwd.h>

namespace os {
namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Reads the whole file into lines. A missing file is an empty store; any
// other failure to read means the key cannot be opened.
bool ReadLines(const std::string& path, std::vector<std::string>& lines)
{
    lines.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        struct stat st{};
        return stat(path.c_str(), &st) != 0 && errno == ENOENT;
    }
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return !in.bad();
}

// The section header "[path]" as written.
std::string SectionHeader(std::string_view key)
{
    return "[" + std::string(key) + "]";
}

bool IsSectionLine(std::string_view line, std::string_view* name)
{
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    if (name)
        *name = line.substr(1, line.size() - 2);
    return true;
}

// Lines [begin, end) of the section `key`; begin == end == size when absent.
std::pair<size_t, size_t> FindSection(const std::vector<std::string>& lines, std::string_view key)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (IsSectionLine(lines[i], &name) && EqualNoCase(Trim(name), key)) {
            size_t end = i + 1;
            while (end < lines.size() && !IsSectionLine(lines[end], nullptr))
                ++end;
            return {i + 1, end};
        }
    }
    return {lines.size(), lines.size()};
}

// Index of the line holding `name` inside [begin, end), or npos.
size_t FindValue(const std::vector<std::string>& lines, size_t begin, size_t end, std::string_view name)
{
    for (size_t i = begin; i < end; ++i) {
        std::string_view line = lines[i];
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        if (EqualNoCase(Trim(line.substr(0, eq)), name))
            return i;
    }
    return std::string::npos;
}

bool MakeDirs(const std::string& dir)
{
    if (dir.empty())
        return true;
    struct stat st{};
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAtomically(const std::string& path, const std::vector<std::string>& lines)
{
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !MakeDirs(path.substr(0, slash)))
        return false;
    const std::string tmp = path + ".tmp." + std::to_string(getpid());
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    bool ok = true;
    for (const std::string& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size();
        ok = ok && std::fputc('\n', f) != EOF;
    }
    ok = ok && std::fflush(f) == 0 && fsync(fileno(f)) == 0;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

class IniKey final : public IStoreKey {
public:
    IniKey(std::string path, std::string key, std::vector<std::string> lines)
        : m_path(std::move(path)), m_key(std::move(key)), m_lines(std::move(lines)) {}

    ~IniKey() override
    {
        if (!m_pending.empty())
            Commit();
    }

    bool QueryInt(std::string_view name, int32_t& value) override
    {
        std::string text;
        return QueryString(name, text) && ParseStoredInt(text, value);
    }

    bool QueryString(std::string_view name, std::string& value) override
    {
        const auto [begin, end] = FindSection(m_lines, m_key);
        const size_t at = FindValue(m_lines, begin, end, name);
        if (at == std::string::npos)
            return false;
        std::string_view line = m_lines[at];
        value = std::string(Trim(line.substr(line.find('=') + 1)));
        return true;
    }

    bool SetInt(std::string_view name, int32_t value) override
    {
        auto it = std::find_if(m_pending.begin(), m_pending.end(),
                               [name](const auto& p) { return EqualNoCase(p.first, name); });
        if (it != m_pending.end())
            it->second = std::to_string(value);
        else
            m_pending.emplace_back(std::string(name), std::to_string(value));
        Apply(m_lines);
        return true;
    }

    bool Commit() override
    {
        if (m_pending.empty())
            return true;
        // Start again from what is on disk now, so that lines written by
        // someone else since the key was opened survive.
        std::vector<std::string> lines;
        if (!ReadLines(m_path, lines))
            lines = m_lines;
        Apply(lines);
        const bool ok = WriteAtomically(m_path, lines);
        m_pending.clear();
        return ok;
    }

private:
    void Apply(std::vector<std::string>& lines) const
    {
        for (const auto& [name, text] : m_pending) {
            auto [begin, end] = FindSection(lines, m_key);
            if (begin == lines.size() && end == lines.size()) {
                if (!lines.empty() && !Trim(lines.back()).empty())
                    lines.emplace_back();
                lines.push_back(SectionHeader(m_key));
                begin = end = lines.size();
            }
            const size_t at = FindValue(lines, begin, end, name);
            if (at != std::string::npos) {
                lines[at] = name + "=" + text;
            } else {
                // After the last non-blank line of the section.
                size_t insert = end;
                while (insert > begin && Trim(lines[insert - 1]).empty())
                    --insert;
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), name + "=" + text);
            }
        }
    }

    std::string m_path;
    std::string m_key;
    std::vector<std::string> m_lines;
    std::vector<std::pair<std::string, std::string>> m_pending;  // in the order set
};

} // namespace

bool ParseStoredInt(std::string_view text, int32_t& value)
{
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    if (negative) {
        if (magnitude > 0x80000000ull)
            return false;
        value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    } else {
        if (magnitude > 0xffffffffull)
            return false;
        value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    }
    return true;
}

IniStore::IniStore(std::string filePath) : m_path(std::move(filePath)) {}

std::unique_ptr<IStoreKey> IniStore::OpenKey(std::string_view path)
{
    std::vector<std::string> lines;
    if (!ReadLines(m_path, lines))
        return nullptr;
    return std::make_unique<IniKey>(m_path, std::string(path), std::move(lines));
}

std::string DefaultSettingsFilePath()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/vantor/settings.ini";
}

} // namespace os
