// Resources carried inside the executable (the archive, the preview picture,
// the icon), looked up by type and number.
#pragma once

#include <cstdint>
#include <span>

#include "platform/os.h"

namespace os {

struct EmbeddedResource {
    ResourceType type;
    int id;
    std::span<const uint8_t> bytes;
};

// Provided by the executable's resource object.
std::span<const EmbeddedResource> EmbeddedResources();

// The resource of `type` and `id` in `table`, or an empty span.
std::span<const uint8_t> FindEmbeddedResource(std::span<const EmbeddedResource> table, ResourceType type, int id);

} // namespace os
