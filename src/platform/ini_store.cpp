// INI-file implementation of the per-user store.
#include "platform/ini_store.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <unordered_set>
#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISREG(st.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return false;
    lines = ini::SplitLines(text);
    ini::Normalise(lines);
    return true;
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
        *name = Trim(line.substr(1, line.size() - 2));
    return true;
}

// The name of a "Name=value" line, or false for any other line.
bool ValueName(std::string_view line, std::string_view* name)
{
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    *name = Trim(line.substr(0, eq));
    return true;
}

struct Section {
    std::string header;  // empty for the lines before the first header
    std::string_view name;
    std::vector<std::string> body;
};

std::vector<Section> SplitSections(const std::vector<std::string>& lines)
{
    std::vector<Section> sections(1);
    for (const std::string& line : lines) {
        std::string_view name;
        if (IsSectionLine(line, &name)) {
            sections.push_back({line, {}, {}});
            // Views into `lines`, which outlive the sections.
            sections.back().name = name;
        } else {
            sections.back().body.push_back(line);
        }
    }
    return sections;
}

std::vector<std::string> JoinSections(const std::vector<Section>& sections)
{
    std::vector<std::string> lines;
    for (const Section& s : sections) {
        if (!s.header.empty())
            lines.push_back(s.header);
        lines.insert(lines.end(), s.body.begin(), s.body.end());
    }
    return lines;
}

// Index of the section named `key` (the lines before the first header never
// match), or npos.
size_t FindSection(const std::vector<Section>& sections, std::string_view key)
{
    for (size_t i = 1; i < sections.size(); ++i) {
        if (EqualNoCase(sections[i].name, key))
            return i;
    }
    return std::string::npos;
}

// Index of the line holding `name` in a section body, or npos.
size_t FindValue(const std::vector<std::string>& body, std::string_view name)
{
    for (size_t i = 0; i < body.size(); ++i) {
        std::string_view n;
        if (ValueName(body[i], &n) && EqualNoCase(n, name))
            return i;
    }
    return std::string::npos;
}

// Removes the temporary files of saves that were interrupted: a file
// "NAME.tmp.PID" whose process no longer exists.
void RemoveStaleTemporaries(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent* e = readdir(d)) {
        const std::string_view name = e->d_name;
        if (!name.starts_with(prefix))
            continue;
        const std::string_view digits = name.substr(prefix.size());
        long pid = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || pid <= 0 ||
            pid == getpid())
            continue;
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;  // its writer may still be saving
        unlink((dir + "/" + std::string(name)).c_str());
    }
    closedir(d);
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
    RemoveStaleTemporaries(path);
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
        return ini::Lookup(m_lines, m_key, name, value);
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
    void Apply(std::vector<std::string>& lines) const { ini::Update(lines, m_key, m_pending); }

    std::string m_path;
    std::string m_key;
    std::vector<std::string> m_lines;
    std::vector<std::pair<std::string, std::string>> m_pending;  // in the order set
};

} // namespace

namespace ini {

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        lines.emplace_back(text.substr(0, nl));
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

void Normalise(std::vector<std::string>& lines)
{
    // Hash sets keyed by lowered names: a file of a million lines is
    // normalised in linear time.
    auto lowered = [](std::string_view name) {
        std::string l(name);
        for (char& c : l)
            c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return l;
    };
    std::vector<Section> sections = SplitSections(lines);
    // A section that appears again is merged into its first appearance.
    std::vector<Section> merged;
    std::unordered_map<std::string, size_t> firstOf;
    merged.push_back(std::move(sections[0]));
    for (size_t i = 1; i < sections.size(); ++i) {
        const auto [at, added] = firstOf.try_emplace(lowered(sections[i].name), merged.size());
        if (added) {
            merged.push_back(std::move(sections[i]));
            continue;
        }
        auto& body = merged[at->second].body;
        // Before the blank lines that end the first appearance.
        size_t insert = body.size();
        while (insert > 0 && Trim(body[insert - 1]).empty())
            --insert;
        body.insert(body.begin() + static_cast<std::ptrdiff_t>(insert), std::make_move_iterator(sections[i].body.begin()),
                    std::make_move_iterator(sections[i].body.end()));
    }
    // Within a section a name is kept once: its last line, which is the
    // value every reader of the file would have seen last.
    for (size_t s = 1; s < merged.size(); ++s) {
        auto& body = merged[s].body;
        std::vector<std::string> kept;
        std::unordered_set<std::string> seen;
        for (size_t i = body.size(); i-- > 0;) {
            std::string_view name;
            if (ValueName(body[i], &name) && !seen.insert(lowered(name)).second)
                continue;
            kept.push_back(std::move(body[i]));
        }
        std::reverse(kept.begin(), kept.end());
        body = std::move(kept);
    }
    lines = JoinSections(merged);
}

bool Lookup(const std::vector<std::string>& lines, std::string_view key, std::string_view name, std::string& value)
{
    const std::vector<Section> sections = SplitSections(lines);
    const size_t s = FindSection(sections, key);
    if (s == std::string::npos)
        return false;
    const size_t at = FindValue(sections[s].body, name);
    if (at == std::string::npos)
        return false;
    std::string_view line = sections[s].body[at];
    value = std::string(Trim(line.substr(line.find('=') + 1)));
    return true;
}

void Update(std::vector<std::string>& lines, std::string_view key,
            const std::vector<std::pair<std::string, std::string>>& values)
{
    if (values.empty())
        return;
    std::vector<Section> sections = SplitSections(lines);
    size_t s = FindSection(sections, key);
    if (s == std::string::npos) {
        // A blank line between the last section and the new one.
        Section& last = sections.back();
        const bool lastHasLines = !last.header.empty() || !last.body.empty();
        if (lastHasLines && (last.body.empty() || !Trim(last.body.back()).empty()))
            last.body.emplace_back();
        sections.push_back({SectionHeader(key), {}, {}});
        s = sections.size() - 1;
    }
    auto& body = sections[s].body;
    for (const auto& [name, text] : values) {
        const size_t at = FindValue(body, name);
        if (at != std::string::npos) {
            body[at] = name + "=" + text;
            continue;
        }
        // After the last non-blank line of the section.
        size_t insert = body.size();
        while (insert > 0 && Trim(body[insert - 1]).empty())
            --insert;
        body.insert(body.begin() + static_cast<std::ptrdiff_t>(insert), name + "=" + text);
    }
    lines = JoinSections(sections);
}

} // namespace ini

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
