// The Linux implementation of the neutral OS interface: SDL2 windows and
// input, flock-based single-instance lock, INI per-user store, steady clocks.
#pragma once

#include <memory>
#include <span>

#include "platform/os.h"
#include "platform/resources.h"

namespace os {

// `resources` is the executable's resource table (EmbeddedResources()).
std::unique_ptr<IOS> CreateSdlOS(std::span<const EmbeddedResource> resources);

} // namespace os
