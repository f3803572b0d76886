// Reference pictures of the flight: a handful of frames at a fixed seed and
// scene time, each with one setting changed, compared with the committed
// pictures under tests/render/golden/ (docs/golden-images.md lists them).
//
// Tolerance. The frame is cut into 16 x 16 tiles. In every tile the mean
// difference over all channels must stay within kTileMean levels, and only
// a handful of single pixels in the whole frame may be off by more than
// kStrong levels. Another Mesa build rounds texture filtering, mip selection
// and blending a little differently: that moves single channels by a few
// levels and, where a triangle edge or a mip boundary lands on another
// pixel, an odd pixel by a lot; it never shifts a whole tile. Measured:
// softpipe against llvmpipe (two different rasterisers and samplers) moves
// the worst tile by about 1 level and no pixel past 40. A wrong setting
// shifts whole tiles: fog, gamma, flare size and blur weights each move some
// tile by twice kTileMean or more, and a wrong digit in the frame counter
// changes dozens of pixels by more than kStrong inside its box.
// GoldenReferences.EachSettingChangesItsPicture checks the references
// themselves keep that property, so a new canyon cannot quietly turn a case
// into a copy of another.
//
// VANTOR_UPDATE_GOLDEN=1 rewrites the references from this build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "render/offscreen.h"
#include "render/snapshot.h"
#include "settings/settings.h"

namespace {

constexpr UINT kTile = 16;
constexpr double kTileMean = 4.0;
constexpr int kStrong = 48;
constexpr size_t kStrongAllowed = 8;

struct Box {
    UINT x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // x1 = 0: the whole frame
};

struct GoldenCase {
    const char* name;
    double time;
    std::vector<std::pair<const char*, int32_t>> settings;
    UINT width = 256, height = 192;
    Box keep;  // the part of the frame kept as the reference
};

const GoldenCase kCases[] = {
    {"default", 3.0, {}},
    {"sun", 160.0, {}},
    {"sun_flares_off", 160.0, {{"Flare", 0}}},
    // A long view across the basin: its far walls and the ranges stand in
    // the fog, the haze lies along the horizon.
    {"helicopter_fog", 200.0, {{"ClassicCamera", 1}}},
    {"helicopter_fog_off", 200.0, {{"ClassicCamera", 1}, {"Fog", 0}}},
    // Walls close by on both sides of the gorge, through the 512 x 512 blur
    // target from one sub-frame and from eight.
    {"motion_blur_1", 120.0, {{"ClassicCamera", 1}, {"MotionBlur", 1}, {"MotionBlurSamples", 1}}},
    {"motion_blur_8", 120.0, {{"ClassicCamera", 1}, {"MotionBlur", 1}, {"MotionBlurSamples", 8}}},
    {"gamma_150", 3.0, {{"Gamma", 1}, {"Brightness", 150}}},
    // Large enough for each digit to be a dozen pixels wide; only the
    // corner with the counter is kept.
    {"frame_counter", 3.0, {{"FPS", 1}}, 640, 480, {0, 0, 96, 32}},
};

struct Difference {
    bool sameSize = false;
    double worstTile = 0;  // mean |difference| over one tile's channels
    UINT tileX = 0, tileY = 0;
    size_t strong = 0;  // pixels with a channel more than kStrong away
    int maxChannel = 0;

    bool Passes() const { return sameSize && worstTile <= kTileMean && strong <= kStrongAllowed; }
    std::string Describe() const
    {
        if (!sameSize)
            return "the sizes differ";
        std::ostringstream s;
        s << "worst 16x16 tile at (" << tileX << ", " << tileY << ") is off by " << worstTile
          << " levels on average (limit " << kTileMean << "); " << strong << " pixels off by more than "
          << kStrong << " (limit " << kStrongAllowed << "); largest channel difference " << maxChannel;
        return s.str();
    }
};

Difference Compare(const VantorImage& a, const VantorImage& b)
{
    Difference d;
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() || a.width < 3 ||
        a.height < 3)
        return d;
    d.sameSize = true;
    // The outermost row and column are left out: where the blur target is
    // stretched onto the frame, drivers disagree on the edge texels.
    const UINT x0 = 1, y0 = 1, x1 = a.width - 1, y1 = a.height - 1;
    for (UINT ty = y0; ty < y1; ty += kTile) {
        for (UINT tx = x0; tx < x1; tx += kTile) {
            long sum = 0, count = 0;
            for (UINT y = ty; y < std::min(ty + kTile, y1); ++y) {
                for (UINT x = tx; x < std::min(tx + kTile, x1); ++x) {
                    const uint32_t p = a.At(x, y), q = b.At(x, y);
                    int worst = 0;
                    for (int s = 0; s < 24; s += 8) {
                        const int c = std::abs(int((p >> s) & 0xFF) - int((q >> s) & 0xFF));
                        sum += c;
                        worst = std::max(worst, c);
                    }
                    count += 3;
                    d.maxChannel = std::max(d.maxChannel, worst);
                    d.strong += worst > kStrong ? 1 : 0;
                }
            }
            const double mean = double(sum) / double(count);
            if (mean > d.worstTile) {
                d.worstTile = mean;
                d.tileX = tx;
                d.tileY = ty;
            }
        }
    }
    return d;
}

VantorImage Cut(const VantorImage& image, const Box& box)
{
    if (box.x1 == 0)
        return image;
    VantorImage part;
    part.width = box.x1 - box.x0;
    part.height = box.y1 - box.y0;
    for (UINT y = box.y0; y < box.y1; ++y)
        for (UINT x = box.x0; x < box.x1; ++x)
            part.pixels.push_back(image.At(x, y));
    return part;
}

// Test names in failure messages.
void PrintTo(const GoldenCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string ReferencePath(const std::string& name)
{
    return VANTOR_SOURCE_DIR "/tests/render/golden/" + name + ".png";
}

class Golden : public ::testing::TestWithParam<GoldenCase> {
protected:
    static void SetUpTestSuite()
    {
        std::ifstream in(VANTOR_BINARY_DIR "/archive.zip", std::ios::binary);
        s_archive.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void SetUp() override
    {
        ASSERT_TRUE(OpenResourceArchive(s_archive));
        if (!ReadArchiveFile("models/canyon.smd"))
            GTEST_SKIP() << "the archive holds no baked scene";
    }
    void TearDown() override { CloseResourceArchive(); }

    // The frame `vantor-render --seed 1 --time T --size WxH --set ...` writes.
    static VantorImage Render(const GoldenCase& c)
    {
        SetDefaultSettings(g_Settings);
        g_Settings.Sound = 0;
        for (const auto& [name, value] : c.settings)
            EXPECT_TRUE(SetSettingByName(g_Settings, name, value));
        COffscreenFlight flight(1);
        std::string error;
        EXPECT_TRUE(flight.Init(c.width, c.height, error)) << error;
        flight.StartAt(c.time);
        flight.Frame();
        VantorImage image;
        EXPECT_TRUE(flight.Capture(image));
        return Cut(image, c.keep);
    }

    static inline std::vector<uint8_t> s_archive;
};

TEST_P(Golden, FrameMatchesItsReference)
{
    const GoldenCase& c = GetParam();
    const VantorImage image = Render(c);
    const std::string path = ReferencePath(c.name);
    const char* update = std::getenv("VANTOR_UPDATE_GOLDEN");
    if (update && *update == '1') {
        ASSERT_TRUE(WritePng(path, image));
        GTEST_SKIP() << "reference written: " << path;
    }
    VantorImage reference;
    ASSERT_TRUE(ReadPng(path, reference)) << "no reference picture " << path;
    const Difference d = Compare(image, reference);
    EXPECT_TRUE(d.Passes()) << c.name << ": " << d.Describe();
    // Failing pictures are kept for a look.
    if (HasFailure())
        WritePng(std::string("/tmp/vantor-golden-") + c.name + ".png", image);
}

INSTANTIATE_TEST_SUITE_P(Flight, Golden, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

// Each pair of references differs by more than the tolerance: a build that
// ignored the setting would fail the case. When new scenery makes a pair
// too alike, pick another scene time for it.
TEST(GoldenReferences, EachSettingChangesItsPicture)
{
    const std::pair<const char*, const char*> pairs[] = {
        {"sun", "sun_flares_off"},
        {"helicopter_fog", "helicopter_fog_off"},
        {"motion_blur_8", "motion_blur_1"},
        {"default", "gamma_150"},
    };
    for (const auto& [a, b] : pairs) {
        VantorImage first, second;
        if (!ReadPng(ReferencePath(a), first) || !ReadPng(ReferencePath(b), second))
            GTEST_SKIP() << "no references yet";
        const Difference d = Compare(first, second);
        EXPECT_FALSE(d.Passes()) << a << " and " << b << " are too alike: " << d.Describe();
    }
}

}  // namespace
