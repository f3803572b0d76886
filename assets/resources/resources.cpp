// The table of resources embedded in the executable.
#include "platform/resources.h"

extern "C" const uint8_t vantor_rc_archive[];
extern "C" const uint8_t vantor_rc_archive_end[];
#if VANTOR_HAVE_PICTURES
extern "C" const uint8_t vantor_rc_bitmap146[];
extern "C" const uint8_t vantor_rc_bitmap146_end[];
extern "C" const uint8_t vantor_rc_icon128[];
extern "C" const uint8_t vantor_rc_icon128_end[];
#endif

namespace os {
namespace {

std::span<const uint8_t> Between(const uint8_t* begin, const uint8_t* end)
{
    return {begin, static_cast<size_t>(end - begin)};
}

} // namespace

std::span<const EmbeddedResource> EmbeddedResources()
{
    static const EmbeddedResource table[] = {
        {ResourceType::RCData, 144, Between(vantor_rc_archive, vantor_rc_archive_end)},
#if VANTOR_HAVE_PICTURES
        {ResourceType::Bitmap, 146, Between(vantor_rc_bitmap146, vantor_rc_bitmap146_end)},
        {ResourceType::Icon, 128, Between(vantor_rc_icon128, vantor_rc_icon128_end)},
#endif
    };
    return table;
}

} // namespace os
