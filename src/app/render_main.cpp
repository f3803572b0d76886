// vantor-render: renders the flight off-screen to PNG files, or measures how
// fast it renders.
//
//   vantor-render [--size WxH] [--time SECONDS] [--seed N] [--set Name=value]...
//                 [--out DIR] [--frames N]
//   vantor-render --bench N [--size WxH] [--set Name=value]...
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <png.h>

#include "archive/archive.h"
#include "base/error.h"
#include "base/system.h"
#include "d3d8_vantor.h"
#include "platform/resources.h"
#include "render/drawer.h"
#include "settings/settings.h"

namespace {

// A steady clock for the engine and the creatures: every frame lasts `step`.
class CFixedClock final : public ISystem {
public:
    CFixedClock(double start, double step, IRender* render) : m_now(start), m_step(step), m_render(render) {}
    void Tick()
    {
        m_now += m_step;
        m_total += m_step;
    }
    void SetTotal(double t) { m_total = t; }
    double GetTime() override { return m_now; }
    double GetFrameTime() override { return m_step; }
    double GetTotalTime() override { return m_total; }
    double GetClampedFrameTime() override { return m_step < 0.1 ? m_step : 0.1; }
    bool PumpMessages() override { return true; }
    IRender* GetRender() override { return m_render; }

private:
    double m_now;
    double m_total = 0;
    double m_step;
    IRender* m_render;
};

struct Options {
    unsigned width = 640, height = 480;
    double time = 10.0;
    uint32_t seed = 1;
    std::string out = ".";
    int frames = 1;
    int bench = 0;
};

int Usage()
{
    std::fprintf(stderr,
                 "usage: vantor-render [--size WxH] [--time SECONDS] [--seed N] [--set Name=value]... [--out DIR] "
                 "[--frames N]\n"
                 "       vantor-render --bench N [--size WxH] [--set Name=value]...\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!next)
            return false;
        char* end = nullptr;
        if (a == "--size") {
            unsigned w = 0, h = 0;
            if (std::sscanf(next, "%ux%u", &w, &h) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
                return false;
            o.width = w;
            o.height = h;
        } else if (a == "--time") {
            o.time = std::strtod(next, &end);
            if (*end || o.time < 0 || o.time > 1e6)
                return false;
        } else if (a == "--seed") {
            o.seed = static_cast<uint32_t>(std::strtoul(next, &end, 10));
            if (*end)
                return false;
        } else if (a == "--out") {
            o.out = next;
        } else if (a == "--frames") {
            o.frames = static_cast<int>(std::strtol(next, &end, 10));
            if (*end || o.frames < 1 || o.frames > 100000)
                return false;
        } else if (a == "--bench") {
            o.bench = static_cast<int>(std::strtol(next, &end, 10));
            if (*end || o.bench < 1 || o.bench > 1000000)
                return false;
        } else if (a == "--set") {
            const char* eq = std::strchr(next, '=');
            if (!eq)
                return false;
            const long v = std::strtol(eq + 1, &end, 10);
            if (*end || !SetSettingByName(g_Settings, std::string(next, eq), static_cast<int32_t>(v))) {
                std::fprintf(stderr, "vantor-render: unknown setting or value: %s\n", next);
                return false;
            }
        } else {
            return false;
        }
        ++i;
    }
    return true;
}

bool WritePng(const std::string& path, const VantorImage& image)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(static_cast<size_t>(image.width) * 3);
        for (UINT y = 0; y < image.height; ++y) {
            for (UINT x = 0; x < image.width; ++x) {
                const uint32_t p = image.At(x, y);
                row[3 * x] = static_cast<png_byte>(p >> 16);
                row[3 * x + 1] = static_cast<png_byte>(p >> 8);
                row[3 * x + 2] = static_cast<png_byte>(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int Run(const Options& o)
{
    if (!OpenProgramArchive(os::FindEmbeddedResource(os::EmbeddedResources(), os::ResourceType::RCData, 144))) {
        std::fprintf(stderr, "vantor-render: could not open the resource archive\n");
        return 1;
    }
    constexpr double kStep = 1.0 / 30.0;
    constexpr int kWarmUp = 4;  // lets the flares fade in and the clock settle
    const double start = o.bench ? 0.0 : std::max(0.0, o.time - kWarmUp * kStep);

    CDrawer drawer(o.seed);
    CFixedClock clock(0.0, kStep, &drawer);
    g_pSystem = &clock;
    drawer.SetOffscreenSize(o.width, o.height);
    bool ok = false;
    try {
        ok = drawer.Init(nullptr);
    } catch (const CError&) {
        std::fprintf(stderr, "vantor-render: %s\n", g_ErrorText.c_str());
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "vantor-render: \"Could not init Rendering Engine\"\n");
        return 1;
    }
    // A steady clock from the start: the scene advances one step a frame.
    drawer.SetSceneClock(start - kStep);
    drawer.SetSmoothedFrameTime(kStep);
    clock.SetTotal(start);

    if (o.bench) {
        for (int i = 0; i < kWarmUp; ++i) {
            clock.Tick();
            drawer.RenderFrame();
        }
        const auto t0 = std::chrono::steady_clock::now();
        const double cpu0 = ThreadCpuSeconds();
        for (int i = 0; i < o.bench; ++i) {
            clock.Tick();
            drawer.RenderFrame();
        }
        VantorImage last;
        VantorReadPresented(drawer.GetDevice(), &last);  // waits for the last frame
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = ThreadCpuSeconds() - cpu0;
        std::printf("%d frames, %.1f fps, %.3f ms engine CPU per frame\n", o.bench, o.bench / wall,
                    1000.0 * cpu / o.bench);
        drawer.Shutdown();
        g_pSystem = nullptr;
        return 0;
    }

    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    // Frames before the first picture: the clock reaches --time exactly at
    // the first capture.
    const int warmUp = static_cast<int>(std::lround((o.time - start) / kStep));
    for (int i = 0; i < warmUp + o.frames; ++i) {
        clock.Tick();
        drawer.RenderFrame();
        if (i < warmUp)
            continue;
        VantorImage image;
        char name[64];
        std::snprintf(name, sizeof(name), "/frame_%04d.png", i - warmUp);
        if (FAILED(VantorReadPresented(drawer.GetDevice(), &image)) || !WritePng(o.out + name, image)) {
            std::fprintf(stderr, "vantor-render: could not write %s%s\n", o.out.c_str(), name);
            return 1;
        }
        std::printf("%s%s (scene time %.3f s)\n", o.out.c_str(), name, drawer.SceneClock());
    }
    drawer.Shutdown();
    g_pSystem = nullptr;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SetDefaultSettings(g_Settings);
    g_Settings.Sound = 0;
    Options o;
    if (!ParseOptions(argc, argv, o))
        return Usage();
    return Run(o);
}
