// The engine on the real runtime (headless, llvmpipe) with the baked archive:
// capability checks, caches, loading failures, and frames read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include <unzip.h>
#include <zip.h>

#include "archive/archive.h"
#include "base/error.h"
#include "base/system.h"
#include "d3d8_vantor.h"
#include "render/drawer.h"
#include "render/render_math.h"
#include "settings/settings.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The build's archive with the members in `drop` left out.
std::vector<uint8_t> ArchiveWithout(const std::vector<uint8_t>& full, const std::set<std::string>& drop)
{
    const std::string in = "/tmp/vantor-drawer-in-" + std::to_string(getpid()) + ".zip";
    const std::string out = "/tmp/vantor-drawer-out-" + std::to_string(getpid()) + ".zip";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(full.data()), std::streamsize(full.size()));
    unzFile src = unzOpen(in.c_str());
    zipFile dst = zipOpen(out.c_str(), APPEND_STATUS_CREATE);
    for (int r = unzGoToFirstFile(src); r == UNZ_OK; r = unzGoToNextFile(src)) {
        char name[512];
        unz_file_info info{};
        unzGetCurrentFileInfo(src, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
        if (drop.count(name))
            continue;
        std::vector<char> bytes(info.uncompressed_size);
        unzOpenCurrentFile(src);
        if (!bytes.empty())
            unzReadCurrentFile(src, bytes.data(), static_cast<unsigned>(bytes.size()));
        unzCloseCurrentFile(src);
        zip_fileinfo zi{};
        zipOpenNewFileInZip(dst, name, &zi, nullptr, 0, nullptr, 0, nullptr, 0, 0);
        if (!bytes.empty())
            zipWriteInFileInZip(dst, bytes.data(), static_cast<unsigned>(bytes.size()));
        zipCloseFileInZip(dst);
    }
    unzClose(src);
    zipClose(dst, nullptr);
    auto result = ReadFile(out);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return result;
}

class Clock final : public ISystem {
public:
    double GetTime() override { return now; }
    double GetFrameTime() override { return 1.0 / 30; }
    double GetTotalTime() override { return now; }
    double GetClampedFrameTime() override { return 1.0 / 30; }
    bool PumpMessages() override { return true; }
    IRender* GetRender() override { return render; }
    double now = 0;
    IRender* render = nullptr;
};

class DrawerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_archive = ReadFile(VANTOR_BINARY_DIR "/archive.zip"); }

    void SetUp() override
    {
        ResetError();
        SetDefaultSettings(g_Settings);
        g_Settings.Sound = 0;
        ASSERT_TRUE(OpenResourceArchive(s_archive)) << "the build's archive";
        if (!ReadArchiveFile("models/canyon.smd"))
            GTEST_SKIP() << "the archive holds no baked scene";
        g_pSystem = &clock;
    }
    void TearDown() override
    {
        VantorD3D8SetTestHooks(nullptr);
        g_pSystem = nullptr;
        CloseResourceArchive();
        ResetError();
    }

    // Frames of the flight at the clock's pace; true when every frame ran.
    void Frames(CDrawer& d, int n)
    {
        for (int i = 0; i < n; ++i) {
            clock.now += 1.0 / 30;
            d.RenderFrame();
        }
    }

    static VantorImage Presented(CDrawer& d)
    {
        VantorImage img;
        EXPECT_EQ(VantorReadPresented(d.GetDevice(), &img), D3D_OK);
        return img;
    }

    static double MeanLuma(const VantorImage& img, UINT x0, UINT y0, UINT x1, UINT y1)
    {
        double sum = 0;
        for (UINT y = y0; y < y1; ++y)
            for (UINT x = x0; x < x1; ++x) {
                const uint32_t p = img.At(x, y);
                sum += ((p >> 16) & 0xFF) * 0.3 + ((p >> 8) & 0xFF) * 0.59 + (p & 0xFF) * 0.11;
            }
        return sum / ((x1 - x0) * (y1 - y0));
    }

    struct Rgb {
        double r = 0, g = 0, b = 0;
    };
    static Rgb MeanRgb(const VantorImage& img, UINT x0, UINT y0, UINT x1, UINT y1)
    {
        Rgb m;
        for (UINT y = y0; y < y1; ++y)
            for (UINT x = x0; x < x1; ++x) {
                const uint32_t p = img.At(x, y);
                m.r += (p >> 16) & 0xFF;
                m.g += (p >> 8) & 0xFF;
                m.b += p & 0xFF;
            }
        const double n = double(x1 - x0) * (y1 - y0);
        return {m.r / n, m.g / n, m.b / n};
    }

    // One frame of seed 5 from the start of the flight.
    VantorImage StartFrame()
    {
        CDrawer d(5);
        d.SetOffscreenSize(160, 120);
        clock.now = 0;
        clock.render = &d;
        EXPECT_TRUE(d.Init(nullptr));
        Frames(d, 1);
        return Presented(d);
    }

    // One frame of the helicopter flight 80 s in (close by rock, so that
    // the camera's move shows), without flares, through
    // the 256 x 256 blur target with `samples` sub-frames; the frame time is
    // settled at its longest so that the sub-frames lie far apart.
    // `pathShift` moves the camera along its path.
    VantorImage BlurredFrame(int samples, double pathShift)
    {
        g_Settings.ClassicCamera = 1;
        g_Settings.Velocity = 100;
        g_Settings.Flare = 0;
        g_Settings.MotionBlur = 1;
        g_Settings.MotionBlurQuality = 0;
        g_Settings.MotionBlurSamples = samples;
        CDrawer d(5);
        d.SetOffscreenSize(160, 120);
        clock.now = 0;
        clock.render = &d;
        EXPECT_TRUE(d.Init(nullptr));
        EXPECT_EQ(d.SampleCount(), samples);
        d.SetPathStartOffset(pathShift);
        d.SetSceneClock(80.0);
        d.SetSmoothedFrameTime(render::kMaxSmoothedFrame);
        Frames(d, 1);
        return Presented(d);
    }

    static inline std::vector<uint8_t> s_archive;
    Clock clock;
};

TEST_F(DrawerTest, InitLoadsTheSceneAndAFrameShowsSkyAndRock)
{
    CDrawer d(7);
    d.SetOffscreenSize(320, 240);
    clock.render = &d;
    ASSERT_TRUE(d.Init(nullptr));
    EXPECT_TRUE(d.PixelShadersOn());
    EXPECT_EQ(d.SampleCount(), 1);
    for (int slot : {0, 1, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13})
        EXPECT_NE(d.FixedTexture(slot), nullptr) << slot;
    EXPECT_EQ(d.FixedTexture(2), nullptr);
    Frames(d, 3);
    const VantorImage img = Presented(d);
    ASSERT_EQ(img.width, 320u);
    // The orbiting camera starts low, level with the basin: blue sky along
    // the top, sand and rock along the bottom, and many colours in all.
    const Rgb top = MeanRgb(img, 0, 0, 320, 40), bottom = MeanRgb(img, 0, 200, 320, 240);
    EXPECT_GT(top.b, top.r + 40) << "no sky at the top";
    EXPECT_GT(bottom.r, bottom.b + 40) << "no ground at the bottom";
    std::set<uint32_t> colours;
    for (uint32_t p : img.pixels)
        colours.insert(p & 0xF0F0F0);
    EXPECT_GT(colours.size(), 50u);
    // The clock moved by smoothed frame times.
    EXPECT_GT(d.SceneClock(), 0.0);
    EXPECT_LT(d.SceneClock(), 3 * 0.1);
}

TEST_F(DrawerTest, OneTextureStageStopsWithTheMultitextureError)
{
    VantorD3D8TestHooks hooks;
    hooks.overrideCaps = true;
    VantorD3D8DefaultCaps(&hooks.caps);
    hooks.caps.MaxTextureBlendStages = 1;
    hooks.caps.MaxSimultaneousTextures = 1;
    VantorD3D8SetTestHooks(&hooks);
    CDrawer d(1);
    EXPECT_THROW(d.Init(nullptr), CError);
    EXPECT_EQ(g_ErrorText, "\"Multitexture 3D hardware required\"");
}

TEST_F(DrawerTest, NoVertexShadersStopWithTheirError)
{
    VantorD3D8TestHooks hooks;
    hooks.overrideCaps = true;
    VantorD3D8DefaultCaps(&hooks.caps);
    hooks.caps.VertexShaderVersion = 0xFFFE0100;
    VantorD3D8SetTestHooks(&hooks);
    CDrawer d(1);
    EXPECT_THROW(d.Init(nullptr), CError);
    EXPECT_EQ(g_ErrorText, "\"Vertex Shaders v1.1 or better required\"");
}

TEST_F(DrawerTest, WithoutPixelShadersOrAdvancedRenderingTheBumpPassIsOff)
{
    {
        VantorD3D8TestHooks hooks;
        hooks.overrideCaps = true;
        VantorD3D8DefaultCaps(&hooks.caps);
        hooks.caps.PixelShaderVersion = 0xFFFF0000;
        hooks.caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
        VantorD3D8SetTestHooks(&hooks);
        CDrawer d(1);
        d.SetOffscreenSize(160, 120);
        clock.render = &d;
        ASSERT_TRUE(d.Init(nullptr));
        EXPECT_FALSE(d.PixelShadersOn());
        EXPECT_FALSE(d.HardwareVertexProcessing());
        Frames(d, 1);
    }
    VantorD3D8SetTestHooks(nullptr);
    g_Settings.AdvancedRendering = 0;
    CDrawer d(1);
    d.SetOffscreenSize(160, 120);
    clock.render = &d;
    ASSERT_TRUE(d.Init(nullptr));
    EXPECT_FALSE(d.PixelShadersOn());
    EXPECT_TRUE(d.HardwareVertexProcessing());
}

TEST_F(DrawerTest, TextureCacheIsKeyedByPathInAnyCase)
{
    CDrawer d(1);
    d.SetOffscreenSize(160, 120);
    clock.render = &d;
    ASSERT_TRUE(d.Init(nullptr));
    const size_t cached = d.CachedTextureCount();
    IDirect3DTexture8* a = d.LoadTexture("textures/DEFAULT.JPG", 0, D3DFMT_UNKNOWN);
    EXPECT_EQ(a, d.FixedTexture(0));
    EXPECT_EQ(d.LoadTexture("textures/default.jpg", 1, D3DFMT_L8), a);  // path alone is the key
    EXPECT_EQ(d.LoadTexture("textures/nothing.jpg", 0, D3DFMT_UNKNOWN), nullptr);
    EXPECT_EQ(d.LoadTexture("textures/nothing.jpg", 0, D3DFMT_UNKNOWN), nullptr);
    EXPECT_EQ(d.CachedTextureCount(), cached);
}

TEST_F(DrawerTest, ShutdownReleasesOnceAndFramesAfterItDoNothing)
{
    CDrawer d(1);
    d.SetOffscreenSize(160, 120);
    clock.render = &d;
    ASSERT_TRUE(d.Init(nullptr));
    d.Shutdown();
    EXPECT_TRUE(d.Released());
    EXPECT_EQ(d.GetDevice(), nullptr);
    EXPECT_EQ(d.CachedTextureCount(), 0u);
    d.Shutdown();
    d.RenderFrame();
}

TEST_F(DrawerTest, AMissingOrBrokenMemberFailsInitCleanly)
{
    const std::vector<std::string> members = {"models/canyon.smd",  "models/ptero.smd", "models/camera.ani",
                                              "textures/sky.png",   "dx/basic.vsh",     "dx/bump.vsh",
                                              "dx/bump.psh",        "shadows/shadow.tga", "textures/ptero.bmp"};
    for (const std::string& m : members) {
        auto bytes = ArchiveWithout(s_archive, {m});
        ASSERT_TRUE(OpenResourceArchive(bytes));
        CDrawer d(1);
        d.SetOffscreenSize(64, 48);
        clock.render = &d;
        EXPECT_FALSE(d.Init(nullptr)) << "without " << m;
        // The host may still pump a frame before it reads the failure.
        d.RenderFrame();
        d.Shutdown();
    }
}

TEST_F(DrawerTest, LoadingBarFillsFromTheLeft)
{
    CDrawer d(1);
    d.SetOffscreenSize(400, 300);
    clock.render = &d;
    ASSERT_TRUE(d.Init(nullptr));
    d.SetProgress(0.5f);
    VantorImage half = Presented(d);
    // Bar: x 0.4..0.6, y 0.47..0.52. Done part brighter than the masked part.
    const double done = MeanLuma(half, 165, 144, 195, 153), todo = MeanLuma(half, 205, 144, 235, 153);
    EXPECT_GT(done, todo + 10);
    EXPECT_LT(MeanLuma(half, 0, 0, 400, 100), 1.0);  // the rest is black
    d.SetProgress(-1.0f);
    const double none = MeanLuma(Presented(d), 165, 144, 195, 153);
    d.SetProgress(2.0f);
    const double full = MeanLuma(Presented(d), 205, 144, 235, 153);
    EXPECT_NEAR(none, todo, 6.0);
    EXPECT_GT(full, none + 10);
}

TEST_F(DrawerTest, FrameCounterDrawsInTheTopLeftCorner)
{
    g_Settings.FPS = 0;
    g_Settings.Flare = 0;
    CDrawer plain(3);
    plain.SetOffscreenSize(320, 240);
    clock.render = &plain;
    ASSERT_TRUE(plain.Init(nullptr));
    plain.SetPathStartOffset(0);
    Frames(plain, 1);
    const VantorImage a = Presented(plain);
    plain.Shutdown();

    g_Settings.FPS = 1;
    clock.now = 0;
    CDrawer counted(3);
    counted.SetOffscreenSize(320, 240);
    clock.render = &counted;
    ASSERT_TRUE(counted.Init(nullptr));
    counted.SetPathStartOffset(0);
    Frames(counted, 1);
    const VantorImage b = Presented(counted);
    EXPECT_NEAR(counted.DisplayedRate(), 30.0, 0.01);
    // Text is additive: the corner got brighter, the middle did not change.
    EXPECT_GT(MeanLuma(b, 3, 3, 50, 8), MeanLuma(a, 3, 3, 50, 8) + 5);
    EXPECT_NEAR(MeanLuma(b, 100, 100, 200, 200), MeanLuma(a, 100, 100, 200, 200), 1.0);
}

TEST_F(DrawerTest, MotionBlurIsTheMeanOfItsSubFrames)
{
    // Two sub-frames: the second one's camera is further along the path by
    // the frame time / 2.1. The same two views drawn one by one and averaged
    // here must give the blurred frame.
    const double frameTime = 0.9 * render::kMaxSmoothedFrame + 0.1 / 30;
    const VantorImage first = BlurredFrame(1, 0.0), second = BlurredFrame(1, frameTime / 2.1);
    const VantorImage blurred = BlurredFrame(2, 0.0);
    ASSERT_EQ(first.pixels.size(), blurred.pixels.size());
    size_t moved = 0, off = 0;
    for (size_t i = 0; i < blurred.pixels.size(); ++i)
        for (int s = 0; s < 24; s += 8) {
            const int a = int((first.pixels[i] >> s) & 0xFF), b = int((second.pixels[i] >> s) & 0xFF);
            const int c = int((blurred.pixels[i] >> s) & 0xFF);
            moved += std::abs(a - b) > 12 ? 1 : 0;
            off += std::abs(2 * c - a - b) > 6 ? 1 : 0;
        }
    const size_t channels = blurred.pixels.size() * 3;
    EXPECT_GT(moved, channels / 20) << "the camera hardly moved: a wrong mix would not show";
    EXPECT_LT(off, channels / 200) << "channels more than 3 away from the mean of the sub-frames";
}

TEST_F(DrawerTest, GammaRampScalesWhatIsPresented)
{
    g_Settings.Brightness = 150;
    g_Settings.Gamma = 0;  // the ramp is not touched
    const VantorImage plain = StartFrame();
    g_Settings.Gamma = 1;
    const VantorImage bright = StartFrame();
    ASSERT_EQ(plain.pixels.size(), bright.pixels.size());
    // Brightness 150 multiplies every channel by 1.5, cut at 255 (the
    // ramp's entry i is i * 1.5 * 256). Two steps of slack for a lookup that
    // lands on the neighbouring entry; a ramp 10 % off misses by far more
    // over most of the range.
    int brightened = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i)
        for (int s = 0; s < 24; s += 8) {
            const int v = int((plain.pixels[i] >> s) & 0xFF), w = int((bright.pixels[i] >> s) & 0xFF);
            ASSERT_NEAR(w, std::min(255, v * 3 / 2), 2) << "pixel " << i << " channel value " << v;
            brightened += w > v + 10 ? 1 : 0;
        }
    EXPECT_GT(brightened, 160 * 120);  // most of the picture is far from black
}

}  // namespace
