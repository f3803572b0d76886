// The table of resources embedded in the executable.
#include "platform/resources.h"

extern "C" const uint8_t vantor_rc_archive[];
extern "C" const uint8_t vantor_rc_archive_end[];

namespace os {

std::span<const EmbeddedResource> EmbeddedResources()
{
    static const EmbeddedResource table[] = {
        {ResourceType::RCData, 144,
         {vantor_rc_archive, static_cast<size_t>(vantor_rc_archive_end - vantor_rc_archive)}},
    };
    return table;
}

} // namespace os
