// Stored integers as the settings file and the fake store keep them: the
// parsing rule both share, and the only piece of the file store that the
// Windows build (which keeps its settings in the registry) needs.
#include "platform/ini_store.h"

#include <charconv>
#include <cstdint>

namespace os {

bool ParseStoredInt(std::string_view text, int32_t& value)
{
    const size_t first = text.find_first_not_of(" \t");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    if (negative) {
        if (magnitude > 0x80000000ull)
            return false;
        value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    } else {
        if (magnitude > 0xffffffffull)
            return false;
        value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    }
    return true;
}

} // namespace os
