// The resources carried by the Windows executable (vantor.rc), found through
// the system's resource functions and handed out as the very bytes the Linux
// build embeds: the archive, the preview picture as a whole BMP file, and
// the icon's picture as PNG.
#include "platform/resources.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/resource_ids.h"

namespace os {
namespace {

std::span<const uint8_t> LoadRaw(HMODULE module, LPCSTR type, int id)
{
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!info)
        return {};
    HGLOBAL handle = LoadResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    const DWORD size = SizeofResource(module, info);
    if (!data || size == 0)
        return {};
    // Resources stay mapped as long as the module is loaded: for the
    // executable itself, until the process ends.
    return {static_cast<const uint8_t*>(data), size};
}

uint32_t Get16(std::span<const uint8_t> b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
}

uint32_t Get32(std::span<const uint8_t> b, size_t at)
{
    return Get16(b, at) | Get16(b, at + 2) << 16;
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

// A bitmap resource is the BMP file without its 14-byte file header. The
// header is rebuilt so that callers see the file itself: where the pixels
// start follows from the info header, the colour masks and the palette.
std::vector<uint8_t> WithFileHeader(std::span<const uint8_t> dib)
{
    if (dib.size() < 12)
        return {};
    const uint32_t headerSize = Get32(dib, 0);
    if (headerSize < 12 || headerSize > dib.size())
        return {};
    uint64_t tableBytes = 0;
    if (headerSize == 12) { // the old core header: 3-byte palette entries
        const uint32_t bits = Get16(dib, 10);
        tableBytes = bits <= 8 ? (uint64_t(1) << bits) * 3 : 0;
    } else if (headerSize >= 36) {
        const uint32_t bits = Get16(dib, 14);
        const uint32_t compression = Get32(dib, 16);
        const uint32_t used = Get32(dib, 32);
        tableBytes = uint64_t(used ? used : (bits <= 8 ? 1u << bits : 0)) * 4;
        // A plain info header is followed by the masks it names.
        if (headerSize == 40 && compression == BI_BITFIELDS)
            tableBytes += 12;
        else if (headerSize == 40 && compression == 6) // BI_ALPHABITFIELDS
            tableBytes += 16;
    }
    const uint64_t offset = std::min<uint64_t>(14 + uint64_t(headerSize) + tableBytes, 14 + uint64_t(dib.size()));

    std::vector<uint8_t> file;
    file.reserve(14 + dib.size());
    file.push_back('B');
    file.push_back('M');
    Put32(file, static_cast<uint32_t>(14 + dib.size()));
    Put32(file, 0); // reserved
    Put32(file, static_cast<uint32_t>(offset));
    file.insert(file.end(), dib.begin(), dib.end());
    return file;
}

// The largest image of icon group `id`. The build stores the icon's PNG as
// the largest image, so this is the same PNG the Linux build embeds.
std::span<const uint8_t> LoadIconPicture(HMODULE module, int id)
{
    const std::span<const uint8_t> group = LoadRaw(module, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, id);
    if (group.size() < 6)
        return {};
    const uint32_t count = Get16(group, 4);
    int best = -1;
    uint32_t bestSize = 0;
    for (uint32_t i = 0; i < count && 6 + (i + 1) * 14 <= group.size(); ++i) {
        const size_t entry = 6 + i * 14;
        const uint32_t width = group[entry] ? group[entry] : 256;
        if (width > bestSize) {
            bestSize = width;
            best = static_cast<int>(Get16(group, entry + 12));
        }
    }
    return best < 0 ? std::span<const uint8_t>{} : LoadRaw(module, MAKEINTRESOURCEA(3) /* RT_ICON */, best);
}

class Table {
public:
    Table()
    {
        HMODULE self = GetModuleHandleA(nullptr);
        Add(ResourceType::RCData, VANTOR_IDR_ARCHIVE, LoadRaw(self, MAKEINTRESOURCEA(10) /* RT_RCDATA */, VANTOR_IDR_ARCHIVE));
        m_Bitmap = WithFileHeader(LoadRaw(self, MAKEINTRESOURCEA(2) /* RT_BITMAP */, VANTOR_IDB_PREVIEW));
        Add(ResourceType::Bitmap, VANTOR_IDB_PREVIEW, m_Bitmap);
        Add(ResourceType::Icon, VANTOR_IDI_ICON, LoadIconPicture(self, VANTOR_IDI_ICON));
    }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    std::span<const EmbeddedResource> Entries() const { return m_Entries; }

private:
    void Add(ResourceType type, int id, std::span<const uint8_t> bytes)
    {
        if (!bytes.empty())
            m_Entries.push_back({type, id, bytes});
    }

    std::vector<uint8_t> m_Bitmap;
    std::vector<EmbeddedResource> m_Entries;
};

} // namespace

std::span<const EmbeddedResource> EmbeddedResources()
{
    static const Table table;
    return table.Entries();
}

} // namespace os
