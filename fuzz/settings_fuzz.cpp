// The settings store's reading and updating of its file text. After an
// update, the section and every name in it appear exactly once, and the
// values read back are the ones written.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini_store.h"

namespace {

int CountHeaders(const std::vector<std::string>& lines, std::string_view key)
{
    int n = 0;
    for (const std::string& line : lines)
        if (line == "[" + std::string(key) + "]")
            ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines = os::ini::SplitLines(text);
    os::ini::Normalise(lines);
    std::string value;
    int32_t number = 0;
    if (os::ini::Lookup(lines, "Vantor", "Width", value))
        os::ParseStoredInt(value, number);
    os::ParseStoredInt(text, number);

    const std::string key = "Software\\Vantor";
    os::ini::Update(lines, key, {{"Width", "640"}, {"Volume", "-5"}});
    os::ini::Normalise(lines);  // what the next open would see
    if (!os::ini::Lookup(lines, key, "Width", value) || value != "640")
        __builtin_trap();
    if (!os::ini::Lookup(lines, key, "volume", value) || value != "-5")
        __builtin_trap();
    // Updating what was just normalised must not add a second copy.
    std::vector<std::string> again = lines;
    os::ini::Update(again, key, {{"Width", "640"}});
    os::ini::Normalise(again);
    if (again != lines)
        __builtin_trap();
    if (CountHeaders(lines, key) > 1)
        __builtin_trap();
    return 0;
}
