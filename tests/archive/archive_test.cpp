// The resource archive: lookup rules, member buffers and damaged archives.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/memory_file.h"
#include "../support/test_zip.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Builds a ZIP in memory; method 0 stores, 8 deflates.
Bytes MakeZip(const std::vector<std::pair<std::string, std::string>>& members, int method = 0)
{
    std::vector<std::pair<std::string, Bytes>> raw;
    for (const auto& [name, text] : members)
        raw.emplace_back(name, Bytes(text.begin(), text.end()));
    return testzip::Build(raw, method);
}

size_t Find(const Bytes& bytes, const std::string& what, size_t from = 0)
{
    auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), what.begin(), what.end());
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

void Put32(Bytes& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

class Archive : public ::testing::Test {
protected:
    void TearDown() override { CloseResourceArchive(); }

    void Open(const std::vector<std::pair<std::string, std::string>>& members, int method = 0)
    {
        bytes = MakeZip(members, method);
        ASSERT_TRUE(OpenResourceArchive(bytes));
    }
    Bytes bytes;
};

TEST_F(Archive, LookupIgnoresCaseAndTakesBackslashesAsSlashes)
{
    Open({{"textures/DEFAULT.JPG", "jpeg bytes"}, {"textures/sky.png", "png"}});
    DataRef a = ReadArchiveFile("textures/default.jpg");
    ASSERT_TRUE(a);
    EXPECT_EQ(a.Text(), "jpeg bytes");
    DataRef b = ReadArchiveFile("textures\\sky.png");
    ASSERT_TRUE(b);
    EXPECT_EQ(b.Text(), "png");
    EXPECT_EQ(b.GetSize(), 3u);
}

TEST_F(Archive, MissingMemberIsEmptyAndTheArchiveStaysUsable)
{
    Open({{"models/camera.ani", "x"}});
    EXPECT_FALSE(ReadArchiveFile("models/ptero.smd"));
    EXPECT_FALSE(ReadArchiveFile(""));
    EXPECT_TRUE(ReadArchiveFile("models/camera.ani"));
}

TEST_F(Archive, ZeroByteMemberGivesANonEmptyReferenceOfSizeZero)
{
    Open({{"empty.txt", ""}});
    DataRef r = ReadArchiveFile("empty.txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r.GetSize(), 0u);
    EXPECT_NE(r.GetData(), nullptr);
}

TEST_F(Archive, OverlongNamesAreNotFound)
{
    Open({{"a.txt", "a"}});
    EXPECT_FALSE(ReadArchiveFile(std::string(1024, 'a')));
    EXPECT_FALSE(ReadArchiveFile(std::string(5000, 'b')));
    EXPECT_FALSE(ReadArchiveFile(std::string(300, 'c')));
    EXPECT_FALSE(ReadArchiveFile(std::string("a.txt\0junk", 10)));
    EXPECT_TRUE(ReadArchiveFile("A.TXT"));
}

TEST_F(Archive, CompressedMembersAreReadToo)
{
    const std::string big(10000, 'z');
    Open({{"big.txt", big}}, 8);
    DataRef r = ReadArchiveFile("big.txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r.Text(), big);
}

TEST_F(Archive, CrcMismatchGivesAnEmptyReferenceAndLaterReadsWork)
{
    Bytes zip = MakeZip({{"bad.txt", "hello world"}, {"good.txt", "fine"}});
    const size_t at = Find(zip, "hello world");
    ASSERT_NE(at, std::string::npos);
    zip[at] = 'J';
    bytes = zip;
    ASSERT_TRUE(OpenResourceArchive(bytes));
    EXPECT_FALSE(ReadArchiveFile("bad.txt"));
    DataRef good = ReadArchiveFile("good.txt");
    ASSERT_TRUE(good);
    EXPECT_EQ(good.Text(), "fine");
}

TEST_F(Archive, ASizeBeyondTheArchiveIsRefusedWithoutAllocating)
{
    Bytes zip = MakeZip({{"m.bin", "12345678"}});
    const size_t central = Find(zip, "PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    Put32(zip, central + 24, 0x7fffffffu);  // uncompressed size
    Put32(zip, 22, 0x7fffffffu);            // and in the local header
    bytes = zip;
    ASSERT_TRUE(OpenResourceArchive(bytes));
    EXPECT_FALSE(ReadArchiveFile("m.bin"));
}

// Puts a ZIP64 end record (and its locator) before the end record of `zip`,
// stating the central directory's offset and size.
Bytes WithZip64End(const Bytes& zip, uint64_t offset, uint64_t size)
{
    const size_t end = Find(zip, "PK\x05\x06");
    Bytes out(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(end));
    auto put = [&out](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const uint64_t record = out.size();
    put(0x06064b50, 4);
    put(44, 8);      // size of the rest of the record
    put(45, 2);      // version made by
    put(45, 2);      // version needed
    put(0, 4);       // this disk
    put(0, 4);       // disk with the directory
    put(1, 8);       // entries on this disk
    put(1, 8);       // entries in all
    put(size, 8);
    put(offset, 8);
    put(0x07064b50, 4);  // the locator
    put(0, 4);
    put(record, 8);
    put(1, 4);       // disks in all
    out.insert(out.end(), zip.begin() + static_cast<std::ptrdiff_t>(end), zip.end());
    return out;
}

TEST_F(Archive, ADirectoryOffsetOutsideTheFileFindsNothing)
{
    const Bytes zip = MakeZip({{"a.txt", "inside"}});
    const size_t directory = Find(zip, "PK\x01\x02");
    const size_t end = Find(zip, "PK\x05\x06");
    ASSERT_NE(end, std::string::npos);
    // Stated truthfully, the ZIP64 record is followed.
    bytes = WithZip64End(zip, directory, end - directory);
    ASSERT_TRUE(OpenResourceArchive(bytes));
    EXPECT_EQ(ReadArchiveFile("a.txt").Text(), "inside");
    // 4 GiB before the real directory, which is past the end of the file;
    // the size grows by as much, so that offset + size still ends where
    // the record starts. Cut to 32 bits, the offset would be the real one.
    const uint64_t wrap = 1ull << 32;
    bytes = WithZip64End(zip, directory - wrap, end - directory + wrap);
    OpenResourceArchive(bytes);
    EXPECT_FALSE(ReadArchiveFile("a.txt"));
}

TEST_F(Archive, TruncatedOrForeignBytesDoNotOpen)
{
    Bytes zip = MakeZip({{"a.txt", "some content here"}});
    Bytes cut(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(zip.size() / 2));
    EXPECT_FALSE(OpenResourceArchive(cut));
    Bytes text(200, 'x');
    EXPECT_FALSE(OpenResourceArchive(text));
    EXPECT_FALSE(OpenResourceArchive({}));
    EXPECT_FALSE(ReadArchiveFile("a.txt"));  // nothing is open
}

// The override is read through POSIX files here (FIFOs, sparse files,
// devices); the Windows build checks it end to end under Wine.
#ifndef _WIN32
TEST_F(Archive, ArchiveOverrideComesFromTheEnvironment)
{
    Bytes embedded = MakeZip({{"which.txt", "embedded"}});
    Bytes other = MakeZip({{"which.txt", "override"}});
    const std::string file = "/tmp/vantor-override-" + std::to_string(getpid()) + ".zip";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(other.data()),
                                                static_cast<std::streamsize>(other.size()));
    setenv("VANTOR_ARCHIVE", file.c_str(), 1);
    ASSERT_TRUE(OpenProgramArchive(embedded));
    EXPECT_EQ(ReadArchiveFile("which.txt").Text(), "override");
    setenv("VANTOR_ARCHIVE", "/nonexistent/archive.zip", 1);
    EXPECT_FALSE(OpenProgramArchive(embedded));
    unsetenv("VANTOR_ARCHIVE");
    std::remove(file.c_str());
    ASSERT_TRUE(OpenProgramArchive(embedded));
    EXPECT_EQ(ReadArchiveFile("which.txt").Text(), "embedded");
}

TEST_F(Archive, ArchiveOverrideMustBeARegularFileOfSaneSize)
{
    // Each refusal names the path and the reason, and none of them blocks
    // or reads without end.
    const Bytes embedded = MakeZip({{"which.txt", "embedded"}});
    const std::string dir = "/tmp/vantor-override-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    const std::string fifo = dir + "/fifo", big = dir + "/big.zip", text = dir + "/text.zip";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
        std::ofstream(big, std::ios::binary).put('P');
        std::ofstream(text, std::ios::binary) << "not an archive";
    }
    ASSERT_EQ(truncate(big.c_str(), (1ll << 30) + 1), 0);  // sparse: nothing is written
    const std::pair<std::string, std::string> cases[] = {
        {dir, "is a directory"},        {"/dev/zero", "not a regular file"},
        {fifo, "not a regular file"},   {big, "larger than 1 GiB"},
        {text, "not a ZIP archive"},    {dir + "/missing.zip", "No such file"},
    };
    for (const auto& [path, reason] : cases) {
        setenv("VANTOR_ARCHIVE", path.c_str(), 1);
        EXPECT_FALSE(OpenProgramArchive(embedded)) << path;
        EXPECT_EQ(ProgramArchiveError().rfind(path + ": ", 0), 0u) << ProgramArchiveError();
        EXPECT_NE(ProgramArchiveError().find(reason), std::string::npos) << ProgramArchiveError();
    }
    unsetenv("VANTOR_ARCHIVE");
    ASSERT_TRUE(OpenProgramArchive(embedded));
    EXPECT_EQ(ProgramArchiveError(), "");
    for (const std::string& f : {fifo, big, text})
        std::remove(f.c_str());
    rmdir(dir.c_str());
}
#endif

TEST(DataRefLifetime, BytesLiveAsLongAsTheLastReference)
{
    Bytes zip = MakeZip({{"a.txt", "abc"}});
    ASSERT_TRUE(OpenResourceArchive(zip));
    DataRef first = ReadArchiveFile("a.txt");
    ASSERT_TRUE(first);
    auto* owner = first.Owner();
    EXPECT_EQ(owner->RefCount(), 1);
    {
        DataRef copy = first;
        EXPECT_EQ(owner->RefCount(), 2);
        DataRef moved = std::move(copy);
        EXPECT_EQ(owner->RefCount(), 2);
        EXPECT_FALSE(copy);
    }
    EXPECT_EQ(owner->RefCount(), 1);
    // Each read is its own copy.
    DataRef second = ReadArchiveFile("a.txt");
    EXPECT_NE(second.Owner(), owner);
    EXPECT_EQ(second.Text(), first.Text());
    CloseResourceArchive();
    EXPECT_EQ(first.Text(), "abc");  // independent of the archive once read
}

TEST(MemoryFile, CallbacksFollowTheStreamContract)
{
    const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    SetMemoryFile(data);
    zlib_filefunc_def f{};
    FillMemoryFileFunctions(&f);
    EXPECT_EQ(f.opaque, nullptr);

    EXPECT_NE(f.zopen_file(nullptr, "ignored", ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING), nullptr);
    EXPECT_NE(f.zopen_file(nullptr, nullptr, ZLIB_FILEFUNC_MODE_EXISTING | ZLIB_FILEFUNC_MODE_WRITE), nullptr);
    EXPECT_EQ(f.zopen_file(nullptr, nullptr, ZLIB_FILEFUNC_MODE_CREATE | ZLIB_FILEFUNC_MODE_WRITE), nullptr);
    void* s = f.zopen_file(nullptr, nullptr, ZLIB_FILEFUNC_MODE_READ);

    EXPECT_EQ(f.zseek_file(nullptr, s, 0, ZLIB_FILEFUNC_SEEK_END), 0);
    EXPECT_EQ(f.ztell_file(nullptr, s), 10);
    uint8_t buf[8] = {};
    EXPECT_EQ(f.zread_file(nullptr, s, buf, 4), 0u);

    EXPECT_EQ(f.zseek_file(nullptr, s, 3, ZLIB_FILEFUNC_SEEK_SET), 0);
    EXPECT_EQ(f.zseek_file(nullptr, s, 4, ZLIB_FILEFUNC_SEEK_CUR), 0);
    EXPECT_EQ(f.zread_file(nullptr, s, buf, 8), 3u);  // clipped at the end
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(buf[2], 9);
    const auto back = [](long distance) { return static_cast<uLong>(distance); };
    EXPECT_EQ(f.zseek_file(nullptr, s, back(-2), ZLIB_FILEFUNC_SEEK_END), 0);
    EXPECT_EQ(f.ztell_file(nullptr, s), 8);
    EXPECT_EQ(f.zseek_file(nullptr, s, 0, 7), -1);
    // Before the start or past the end fails and keeps the position.
    EXPECT_EQ(f.zseek_file(nullptr, s, 11, ZLIB_FILEFUNC_SEEK_SET), -1);
    EXPECT_EQ(f.zseek_file(nullptr, s, 3, ZLIB_FILEFUNC_SEEK_CUR), -1);
    EXPECT_EQ(f.zseek_file(nullptr, s, back(-9), ZLIB_FILEFUNC_SEEK_CUR), -1);
    EXPECT_EQ(f.zseek_file(nullptr, s, 1, ZLIB_FILEFUNC_SEEK_END), -1);
    EXPECT_EQ(f.zseek_file(nullptr, s, back(-11), ZLIB_FILEFUNC_SEEK_END), -1);
    if constexpr (sizeof(uLong) > 4) {  // where uLong can state it
        EXPECT_EQ(f.zseek_file(nullptr, s, static_cast<uLong>((1ull << 32) + 2), ZLIB_FILEFUNC_SEEK_SET), -1);
    }
    EXPECT_EQ(f.ztell_file(nullptr, s), 8);
    EXPECT_EQ(f.zseek_file(nullptr, s, 10, ZLIB_FILEFUNC_SEEK_SET), 0);
    EXPECT_EQ(f.zread_file(nullptr, s, buf, 1), 0u);  // at the end reads nothing
    EXPECT_EQ(f.zwrite_file(nullptr, s, buf, 1), 0u);
    EXPECT_EQ(f.zerror_file(nullptr, s), 0);
    EXPECT_EQ(f.zclose_file(nullptr, s), 0);
    EXPECT_EQ(f.ztell_file(nullptr, s), 0);
    SetMemoryFile({});
}

} // namespace
