// The whole bake: every member of the archive's list, exactly named, and
// two bakes byte-identical.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "bake/bake.h"
#include "bake/image_io.h"
#include "bake/wav.h"

namespace bake {
namespace {

namespace fs = std::filesystem;

const char* const kMembers[] = {
    "models/canyon.smd",    "models/ptero.smd",     "models/camera.ani",    "textures/DEFAULT.JPG",
    "textures/font.png",    "textures/fog.tga",     "textures/loading1.jpg", "textures/loading2.jpg",
    "textures/sky.png",     "textures/bump.jpg",    "textures/FLARE.JPG",   "textures/f1.jpg",
    "textures/f2.jpg",      "textures/f3.jpg",      "textures/f4.jpg",      "textures/1.jpg",
    "textures/2.jpg",       "textures/12.jpg",      "textures/ptero.bmp",   "shadows/shadow.tga",
    "sound/wind8bit.wav",   "sound/fly8bit.wav",    "sound/ptero8bit.wav",  "sound/ptero8bit2.wav",
    "sound/cry8bit1.wav",   "sound/cry8bit2.wav",   "sound/cry8bit3.wav",   "sound/heli8bit.wav",
};

TEST(BakeAll, WritesEveryMemberAndRepeatsItselfByteForByte)
{
    const fs::path root = fs::temp_directory_path() / ("vantor-bake-test-" + std::to_string(::getpid()));
    fs::remove_all(root);
    BakeOptions a;
    a.stagingDir = (root / "a").string();
    a.resourceDir = (root / "ra").string();
    a.shaderDir = std::string(VANTOR_SOURCE_DIR) + "/assets/dx";
    a.verbose = false;
    ASSERT_TRUE(RunBake(a));

    BakeOptions b = a;
    b.stagingDir = (root / "b").string();
    b.resourceDir = (root / "rb").string();
    ASSERT_TRUE(RunBake(b));
    const fs::path other = b.stagingDir, otherResources = b.resourceDir;
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(a.stagingDir))
        files += e.is_regular_file();
    EXPECT_EQ(files, std::size(kMembers)) << "only the listed members, no strays";
    for (const char* member : kMembers) {
        Bytes mine, theirs;
        ASSERT_TRUE(ReadFile(a.stagingDir + "/" + member, mine)) << member;
        ASSERT_TRUE(ReadFile((other / member).string(), theirs)) << member;
        EXPECT_FALSE(mine.empty()) << member;
        EXPECT_TRUE(mine == theirs) << member << " differs between bakes";
    }
    for (const char* picture : {"preview.bmp", "icon.png", "icon.ico"}) {
        Bytes mine, theirs;
        ASSERT_TRUE(ReadFile(a.resourceDir + "/" + picture, mine));
        ASSERT_TRUE(ReadFile((otherResources / picture).string(), theirs));
        EXPECT_TRUE(mine == theirs) << picture;
    }
    // The preview bitmap is 160 x 120, 8-bit palettised.
    Bytes bmp;
    ASSERT_TRUE(ReadFile(a.resourceDir + "/preview.bmp", bmp));
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp[18] | bmp[19] << 8, 160);
    EXPECT_EQ(bmp[22] | bmp[23] << 8, 120);
    EXPECT_EQ(bmp[28], 8);
    // The icon file: 16, 32 and 48 pixel images, then the PNG itself as
    // the 256 pixel one, each where the directory says.
    Bytes ico, png;
    ASSERT_TRUE(ReadFile(a.resourceDir + "/icon.ico", ico));
    ASSERT_TRUE(ReadFile(a.resourceDir + "/icon.png", png));
    auto u16 = [&](size_t at) { return uint32_t(ico[at] | ico[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    ASSERT_GE(ico.size(), 6u + 4 * 16);
    EXPECT_EQ(u16(2), 1u);
    ASSERT_EQ(u16(4), 4u);
    const uint32_t sizes[] = {16, 32, 48, 0};
    for (size_t i = 0; i < 4; ++i) {
        const size_t entry = 6 + i * 16;
        EXPECT_EQ(ico[entry], sizes[i]);
        const uint32_t bytes = u32(entry + 8), offset = u32(entry + 12);
        ASSERT_LE(uint64_t(offset) + bytes, ico.size());
        if (i < 3)
            EXPECT_EQ(bytes, 40 + sizes[i] * sizes[i] * 4 + sizes[i] * ((sizes[i] + 31) / 32 * 4));
        else
            EXPECT_TRUE(Bytes(ico.begin() + offset, ico.begin() + offset + bytes) == png);
    }
    // Sounds are 8-bit mono at 11,025 Hz.
    for (const char* member : kMembers) {
        const std::string name = member;
        if (name.rfind("sound/", 0) != 0)
            continue;
        Bytes wav;
        std::vector<float> samples;
        uint32_t rate = 0;
        ASSERT_TRUE(ReadFile(a.stagingDir + "/" + name, wav));
        EXPECT_TRUE(DecodeWav8(wav, samples, rate)) << name;
        EXPECT_EQ(rate, 11025u) << name;
    }
    fs::remove_all(root);
}

TEST(BakeAll, BrokenShaderStopsTheBake)
{
    const fs::path root = fs::temp_directory_path() / ("vantor-bake-bad-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dx");
    for (const char* name : {"basic.vsh", "bump.vsh", "light.vsh", "basic.psh"})
        fs::copy_file(fs::path(VANTOR_SOURCE_DIR) / "assets/dx" / name, root / "dx" / name);
    const std::string bad = "ps.1.1\ntex t0\nmul r0, t0, q7\n";
    WriteFile((root / "dx/bump.psh").string(), Bytes(bad.begin(), bad.end()));
    BakeOptions o;
    o.stagingDir = (root / "out").string();
    o.resourceDir = (root / "res").string();
    o.shaderDir = (root / "dx").string();
    o.verbose = false;
    EXPECT_FALSE(RunBake(o));
    fs::remove_all(root);
}

}  // namespace
}  // namespace bake
