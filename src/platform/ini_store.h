// The per-user store on Linux: an INI file with one section per key path and
// Name=value lines. Values are read one by one, unknown lines survive a save,
// and a save replaces the file atomically (temporary file + rename), so a
// crash never leaves half a file behind.
#pragma once

#include <string>

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

// $XDG_CONFIG_HOME/vantor/settings.ini, or ~/.config/vantor/settings.ini.
std::string DefaultSettingsFilePath();

// Parses a stored 32-bit integer: optional blanks, an optional sign and
// decimal digits, nothing else; signed or unsigned 32-bit range (the bits are
// kept, as a registry DWORD would). False for anything else.
bool ParseStoredInt(std::string_view text, int32_t& value);

} // namespace os
