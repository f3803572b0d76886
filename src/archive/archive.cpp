// The resource archive over minizip: memory-file callbacks, lookup by name,
// and the reference-counted member buffers.
#include "archive/archive.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>


#include <unzip.h>

#include "archive/memory_file.h"

namespace {

// One memory file per process; the callbacks ignore their stream argument.
struct MemoryFile {
    const uint8_t* base = nullptr;
    uint32_t length = 0;
    uint32_t position = 0;
} g_memory;

unzFile g_archive = nullptr;

// A member larger than this is refused rather than allocated: no asset comes
// near it, and a corrupt header must not make us ask for gigabytes.
constexpr uint32_t kMaxMemberSize = 256u * 1024u * 1024u;

// The largest archive file VANTOR_ARCHIVE may name.
constexpr uint64_t kMaxOverrideSize = 1ull << 30;

// Member paths must be shorter than this; the unzip layer itself refuses
// names of 256 characters or more.
constexpr size_t kMaxPath = 1024;

voidpf ZCALLBACK MemOpen(voidpf, const char*, int mode)
{
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ)
        return const_cast<uint8_t*>(g_memory.base);
    if (mode & ZLIB_FILEFUNC_MODE_EXISTING)
        return const_cast<uint8_t*>(g_memory.base);
    return nullptr;
}

uLong ZCALLBACK MemRead(voidpf, voidpf, void* buffer, uLong count)
{
    if (g_memory.position >= g_memory.length)
        return 0;
    const uLong left = g_memory.length - g_memory.position;
    if (count > left)
        count = left;
    std::memcpy(buffer, g_memory.base + g_memory.position, count);
    g_memory.position += static_cast<uint32_t>(count);
    return count;
}

uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong)
{
    return 0;
}

long ZCALLBACK MemTell(voidpf, voidpf)
{
    return static_cast<long>(g_memory.position);
}

// Follows fseek: SEEK_SET takes the offset as a position, SEEK_CUR and
// SEEK_END as a signed distance (the unzip layer passes negative ones as
// their two's complement in uLong, which is as wide as long). A target
// before the start or past the end of the memory fails and leaves the
// position where it was: offsets read from a damaged archive must not wrap
// around onto other bytes of it.
long ZCALLBACK MemSeek(voidpf, voidpf, uLong offset, int origin)
{
    const auto distance = static_cast<int64_t>(static_cast<long>(offset));
    int64_t target = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
        if (offset > g_memory.length)
            return -1;
        target = static_cast<int64_t>(offset);
        break;
    case ZLIB_FILEFUNC_SEEK_CUR: target = int64_t{g_memory.position} + distance; break;
    case ZLIB_FILEFUNC_SEEK_END: target = int64_t{g_memory.length} + distance; break;
    default: return -1;
    }
    if (target < 0 || target > int64_t{g_memory.length})
        return -1;
    g_memory.position = static_cast<uint32_t>(target);
    return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf)
{
    g_memory.position = 0;
    return 0;
}

int ZCALLBACK MemError(voidpf, voidpf)
{
    return 0;
}

} // namespace

void SetMemoryFile(std::span<const uint8_t> bytes)
{
    g_memory.base = bytes.data();
    g_memory.length = static_cast<uint32_t>(bytes.size());
    g_memory.position = 0;
}

void FillMemoryFileFunctions(zlib_filefunc_def* f)
{
    f->zopen_file = MemOpen;
    f->zread_file = MemRead;
    f->zwrite_file = MemWrite;
    f->ztell_file = MemTell;
    f->zseek_file = MemSeek;
    f->zclose_file = MemClose;
    f->zerror_file = MemError;
    f->opaque = nullptr;
}

bool _data::Allocate(uint32_t size)
{
    // Always a real allocation, also for an empty member, so that an empty
    // member still has a data pointer.
    m_data.reset(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!m_data)
        return false;
    m_size = size;
    return true;
}

void CloseResourceArchive()
{
    if (g_archive) {
        unzClose(g_archive);
        g_archive = nullptr;
    }
    SetMemoryFile({});
}

bool OpenResourceArchive(std::span<const uint8_t> bytes)
{
    CloseResourceArchive();
    if (bytes.empty() || bytes.size() > 0xffffffffu)
        return false;
    SetMemoryFile(bytes);
    zlib_filefunc_def functions{};
    FillMemoryFileFunctions(&functions);
    g_archive = unzOpen2(nullptr, &functions);
    return g_archive != nullptr;
}

namespace {

// Reads the whole regular file at `path` into `out`. The file is judged
// before it is opened: devices, directories and FIFOs are refused (opening a
// FIFO with no writer would wait forever), and so is a file larger than any
// archive we ship could be. The read stops at the size found then, so a file
// that grows meanwhile (or a device swapped in) cannot make it allocate more.
bool ReadArchiveOverride(const char* path, std::vector<uint8_t>& out, std::string& why)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    if (fs::is_directory(st)) {
        why = "is a directory, not an archive file";
        return false;
    }
    if (!fs::is_regular_file(st)) {
        why = "is not a regular file";
        return false;
    }
    const uintmax_t length = fs::file_size(path, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    if (length == 0) {
        why = "is empty";
        return false;
    }
    if (length > kMaxOverrideSize) {
        why = "is larger than 1 GiB";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return false;
    }
    const auto size = static_cast<size_t>(length);
    out.assign(size, 0);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
    if (static_cast<size_t>(in.gcount()) != size) {
        why = "was truncated while being read";
        out.clear();
        return false;
    }
    return true;
}

std::string g_openError;

}  // namespace

bool OpenProgramArchive(std::span<const uint8_t> embedded)
{
    g_openError.clear();
    const char* override = std::getenv("VANTOR_ARCHIVE");
    if (!override || !*override)
        return OpenResourceArchive(embedded);

    // Kept for the life of the process, like resource memory.
    static std::vector<uint8_t> file;
    std::string why;
    try {
        if (!ReadArchiveOverride(override, file, why)) {
            g_openError = std::string(override) + ": " + why;
            return false;
        }
    } catch (const std::bad_alloc&) {
        file.clear();
        g_openError = std::string(override) + ": not enough memory to read it";
        return false;
    }
    if (!OpenResourceArchive(file)) {
        g_openError = std::string(override) + ": not a ZIP archive";
        return false;
    }
    return true;
}

const std::string& ProgramArchiveError() { return g_openError; }

DataRef ReadArchiveFile(std::string_view path)
{
    if (!g_archive || path.size() >= kMaxPath)
        return {};
    char name[kMaxPath];
    for (size_t i = 0; i < path.size(); ++i)
        name[i] = path[i] == '\\' ? '/' : path[i];
    name[path.size()] = '\0';
    if (std::strlen(name) != path.size())
        return {};  // an embedded zero would name a different member

    if (unzLocateFile(g_archive, name, 2) != UNZ_OK)
        return {};
    unz_file_info info{};
    if (unzGetCurrentFileInfo(g_archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return {};
    if (info.uncompressed_size > kMaxMemberSize ||
        (info.compression_method == 0 && info.uncompressed_size > g_memory.length))
        return {};
    if (unzOpenCurrentFile(g_archive) != UNZ_OK)
        return {};

    auto* owner = CSmartPtrWrap<_data>::Create();
    DataRef ref(owner);  // holds the owner from here on, so every exit frees it
    const auto size = static_cast<uint32_t>(info.uncompressed_size);
    if (!owner || !owner->Allocate(size)) {
        unzCloseCurrentFile(g_archive);
        return {};
    }
    const int got = size ? unzReadCurrentFile(g_archive, owner->Bytes(), size) : 0;
    if (got < 0 || static_cast<uint32_t>(got) != size) {
        unzCloseCurrentFile(g_archive);
        return {};
    }
    if (unzCloseCurrentFile(g_archive) != UNZ_OK)
        return {};  // CRC-32 mismatch
    return ref;
}
