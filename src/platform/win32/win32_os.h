// The Windows implementation of the neutral OS interface: Win32 windows and
// messages, the registry as the per-user store, a named mutex as the
// single-instance lock, the system's display modes, monitors, clocks,
// resources and screensaver password services.
#pragma once

#include <memory>
#include <span>

#include "platform/os.h"
#include "platform/resources.h"
#include "platform/win32/win32_api.h"

namespace os {

// `instance` is the module whose window classes and resources are used.
// Resources it does not carry are looked up in `fallback` (the table of
// EmbeddedResources(), where the build provides one).
std::unique_ptr<IOS> CreateWin32OS(HINSTANCE instance, std::span<const EmbeddedResource> fallback = {});

} // namespace os
