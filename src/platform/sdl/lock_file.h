// The single-instance lock file, opened so that no other local user can
// plant it, redirect it or hold it in our place.
#pragma once

#include <string>
#include <string_view>

namespace os {

// The folder for lock files: $XDG_RUNTIME_DIR when it is ours and nobody
// else may write to it; otherwise a folder of our own under
// $XDG_CACHE_HOME (or ~/.cache), created private. Empty when neither can be
// had; `why` then says what was wrong.
std::string LockFolder(std::string* why = nullptr);

// Opens (creating it when missing) `folder`/`name`.lock for an exclusive
// lock: never through a symbolic link, and only a regular file that we own
// and that no one else may write. -1 when refused, with the reason in `why`.
int OpenLockFile(const std::string& folder, std::string_view name, std::string* why = nullptr);

} // namespace os
