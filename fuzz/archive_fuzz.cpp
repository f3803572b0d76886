// The resource archive: open from memory and read members, by the names
// its central directory lists and by the names the program asks for.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace {

// Member names as the central directory records state them, found by
// signature so that damaged directories still offer names to look up.
std::vector<std::string> ListedNames(const uint8_t* data, size_t size)
{
    std::vector<std::string> names;
    for (size_t i = 0; i + 46 <= size && names.size() < 16; ++i) {
        if (std::memcmp(data + i, "PK\1\2", 4) != 0)
            continue;
        const size_t length = data[i + 28] | (data[i + 29] << 8);
        if (i + 46 + length <= size)
            names.emplace_back(reinterpret_cast<const char*>(data + i + 46), length);
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!OpenResourceArchive(std::span<const uint8_t>(data, size)))
        return 0;
    std::vector<std::string> names = ListedNames(data, size);
    for (const char* fixed : {"models/canyon.smd", "MODELS\\CAMERA.ANI", "dx/basic.vsh", ""})
        names.emplace_back(fixed);
    for (const std::string& name : names) {
        const DataRef member = ReadArchiveFile(name);
        if (member && member.GetSize() > 0) {
            // Touch both ends: the buffer must hold exactly the member.
            volatile uint8_t first = member.GetData()[0];
            volatile uint8_t last = member.GetData()[member.GetSize() - 1];
            (void)first;
            (void)last;
        }
    }
    CloseResourceArchive();
    return 0;
}
