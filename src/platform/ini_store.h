// The per-user store on Linux: an INI file with one section per key path and
// Name=value lines. Values are read one by one, unknown lines survive a save,
// and a save replaces the file atomically (temporary file + rename), so a
// crash never leaves half a file behind.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace os {

class IniStore final : public IUserStore {
public:
    explicit IniStore(std::string filePath);
    std::unique_ptr<IStoreKey> OpenKey(std::string_view path) override;
    const std::string& FilePath() const { return m_path; }

private:
    std::string m_path;
};

// The file's text as the store sees it. A file is normalised as it is read:
// a section that appears twice is merged into its first appearance, and a
// name that appears twice in a section keeps only its last line, so a save
// never writes a section or a name twice. Every other line is kept.
namespace ini {
std::vector<std::string> SplitLines(std::string_view text);
void Normalise(std::vector<std::string>& lines);
bool Lookup(const std::vector<std::string>& lines, std::string_view key, std::string_view name, std::string& value);
// Sets each name of `values` in section `key`, adding the section (after a
// blank line) or the line (after the section's last non-blank line) when
// missing.
void Update(std::vector<std::string>& lines, std::string_view key,
            const std::vector<std::pair<std::string, std::string>>& values);
} // namespace ini

// $XDG_CONFIG_HOME/vantor/settings.ini, or ~/.config/vantor/settings.ini.
std::string DefaultSettingsFilePath();

// Parses a stored 32-bit integer: optional blanks, an optional sign and
// decimal digits, nothing else; signed or unsigned 32-bit range (the bits are
// kept, as a registry DWORD would). False for anything else.
bool ParseStoredInt(std::string_view text, int32_t& value);

} // namespace os
