// Lookup in the table of embedded resources.
#include "platform/resources.h"

namespace os {

std::span<const uint8_t> FindEmbeddedResource(std::span<const EmbeddedResource> table, ResourceType type, int id)
{
    for (const EmbeddedResource& r : table) {
        if (r.type == type && r.id == id)
            return r.bytes;
    }
    return {};
}

} // namespace os
