// The per-user store on Windows: the registry.
#pragma once

#include <memory>

#include "platform/os.h"
#include "platform/win32/win32_api.h"

namespace os::win32 {

// Keys are opened (created when absent) below `root`, normally
// HKEY_CURRENT_USER. Integers are REG_DWORD values; strings are read as
// REG_SZ. Writes take effect at once, so Commit only reports failures.
std::unique_ptr<IUserStore> CreateRegistryStore(HKEY root);

} // namespace os::win32
