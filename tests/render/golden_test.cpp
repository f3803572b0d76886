// Reference pictures of the flight: a handful of frames at a fixed seed and
// scene time, each with one setting changed, compared with the committed
// pictures under tests/render/golden/.
//
// Tolerance: llvmpipe renders the same frame identically on one machine, but
// other Mesa builds may round a few texels differently along edges and in
// mip selection. A pixel counts as different when one of its channels is
// more than 40 away from the reference; a frame passes when at most 2 % of
// its pixels differ. A wrong state changes far more than that (fog, flares,
// gamma and the camera mode each change large parts of the frame; the frame
// counter is small, so that case is also checked in a box around its corner
// at a stricter 0.5 %).
//
// VANTOR_UPDATE_GOLDEN=1 rewrites the references from this build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "render/offscreen.h"
#include "render/snapshot.h"
#include "settings/settings.h"

namespace {

constexpr unsigned kWidth = 256, kHeight = 192;

struct GoldenCase {
    const char* name;
    double time;
    std::vector<std::pair<const char*, int32_t>> settings;
};

const GoldenCase kCases[] = {
    {"default", 3.0, {}},
    {"sun", 160.0, {}},
    {"sun_flares_off", 160.0, {{"Flare", 0}}},
    {"helicopter", 47.0, {{"ClassicCamera", 1}}},
    {"helicopter_fog_off", 47.0, {{"ClassicCamera", 1}, {"Fog", 0}}},
    {"motion_blur_q0_4", 3.0, {{"MotionBlur", 1}, {"MotionBlurQuality", 0}, {"MotionBlurSamples", 4}}},
    {"gamma_150", 3.0, {{"Gamma", 1}, {"Brightness", 150}}},
    {"frame_counter", 3.0, {{"FPS", 1}}},
};

struct Difference {
    double share = 1.0;  // of pixels beyond the channel tolerance
    int maxChannel = 255;
};

Difference Compare(const VantorImage& a, const VantorImage& b, UINT x0, UINT y0, UINT x1, UINT y1)
{
    Difference d;
    if (a.width != b.width || a.height != b.height)
        return d;
    size_t off = 0, total = 0;
    d.maxChannel = 0;
    for (UINT y = y0; y < y1; ++y) {
        for (UINT x = x0; x < x1; ++x) {
            const uint32_t p = a.At(x, y), q = b.At(x, y);
            int worst = 0;
            for (int s = 0; s < 24; s += 8)
                worst = std::max(worst, std::abs(int((p >> s) & 0xFF) - int((q >> s) & 0xFF)));
            d.maxChannel = std::max(d.maxChannel, worst);
            off += worst > 40 ? 1 : 0;
            ++total;
        }
    }
    d.share = total ? double(off) / double(total) : 1.0;
    return d;
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

    static VantorImage Render(const GoldenCase& c)
    {
        SetDefaultSettings(g_Settings);
        g_Settings.Sound = 0;
        for (const auto& [name, value] : c.settings)
            EXPECT_TRUE(SetSettingByName(g_Settings, name, value));
        COffscreenFlight flight(1);
        std::string error;
        EXPECT_TRUE(flight.Init(kWidth, kHeight, error)) << error;
        flight.Drawer().SetPathStartOffset(0);
        flight.StartAt(c.time);
        flight.Frame();
        VantorImage image;
        EXPECT_TRUE(flight.Capture(image));
        return image;
    }

    static inline std::vector<uint8_t> s_archive;
};

TEST_P(Golden, FrameMatchesItsReference)
{
    const GoldenCase& c = GetParam();
    const VantorImage image = Render(c);
    const std::string path = std::string(VANTOR_SOURCE_DIR "/tests/render/golden/") + c.name + ".png";
    const char* update = std::getenv("VANTOR_UPDATE_GOLDEN");
    if (update && *update == '1') {
        ASSERT_TRUE(WritePng(path, image));
        GTEST_SKIP() << "reference written: " << path;
    }
    VantorImage reference;
    ASSERT_TRUE(ReadPng(path, reference)) << "no reference picture " << path;
    const Difference d = Compare(image, reference, 0, 0, kWidth, kHeight);
    EXPECT_LE(d.share, 0.02) << c.name << ": " << d.share * 100 << " % of pixels differ (max " << d.maxChannel << ")";
    if (std::string(c.name) == "frame_counter") {
        const Difference corner = Compare(image, reference, 0, 0, kWidth / 3, kHeight / 8);
        EXPECT_LE(corner.share, 0.005) << "frame counter corner";
    }
    // Failing pictures are kept for a look.
    if (HasFailure())
        WritePng(std::string("/tmp/vantor-golden-") + c.name + ".png", image);
}

INSTANTIATE_TEST_SUITE_P(Flight, Golden, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

// The references differ from each other where their settings say they must:
// each case is a real test of its setting, not a copy of the default frame.
TEST(GoldenReferences, EachSettingChangesItsPicture)
{
    const std::string dir = VANTOR_SOURCE_DIR "/tests/render/golden/";
    VantorImage base;
    if (!ReadPng(dir + "default.png", base))
        GTEST_SKIP() << "no references yet";
    for (const char* name : {"motion_blur_q0_4", "gamma_150"}) {
        VantorImage other;
        ASSERT_TRUE(ReadPng(dir + name + ".png", other)) << name;
        const Difference d = Compare(base, other, 0, 0, kWidth, kHeight);
        EXPECT_GT(d.share, 0.01) << name << " looks like the default frame";
    }
    VantorImage counter;
    ASSERT_TRUE(ReadPng(dir + "frame_counter.png", counter));
    EXPECT_GT(Compare(base, counter, 0, 0, kWidth / 3, kHeight / 8).share, 0.005) << "no frame counter";
    EXPECT_EQ(Compare(base, counter, 0, kHeight / 4, kWidth, kHeight).share, 0.0) << "the counter changed the scene";
    // Fog only starts 9,000 units away, beyond most views down the canyon,
    // so the fog pair is not expected to differ much; each still has its
    // own reference.
    VantorImage sun, noFlares;
    ASSERT_TRUE(ReadPng(dir + "sun.png", sun));
    ASSERT_TRUE(ReadPng(dir + "sun_flares_off.png", noFlares));
    EXPECT_GT(Compare(sun, noFlares, 0, 0, kWidth, kHeight).share, 0.01) << "flares make no difference";
}

}  // namespace
