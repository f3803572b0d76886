// The Windows implementation of the neutral OS interface: Win32 windows and
// messages, the registry as the per-user store, a named mutex as the
// single-instance lock, the system's display modes, monitors, clocks and
// screensaver password services.
#pragma once

#include <memory>
#include <span>

#include "platform/os.h"
#include "platform/resources.h"
#include "platform/win32/win32_api.h"

namespace os {

// `instance` is the module the window classes are registered for;
// `resources` is the executable's resource table (EmbeddedResources(),
// which on Windows reads the module's own resources).
std::unique_ptr<IOS> CreateWin32OS(HINSTANCE instance, std::span<const EmbeddedResource> resources = {});

} // namespace os
