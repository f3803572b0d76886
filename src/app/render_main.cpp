// vantor-render: renders the flight off-screen to PNG files, or measures how
// fast it renders.
//
//   vantor-render [--size WxH] [--time SECONDS] [--seed N] [--set Name=value]...
//                 [--out DIR] [--frames N]
//   vantor-render --bench N [--time SECONDS] [--size WxH] [--set Name=value]...
//                 (from scene time 0 unless --time is given)
//   vantor-render --measure SECONDS [--size WxH] [--seed N] [--set Name=value]... [--out DIR]
//   vantor-render --soak MINUTES [--size WxH]     (see app/soak.h)
//   vantor-render --cycles N [--size WxH]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "base/error.h"
#include "base/system.h"
#include "d3d8_vantor.h"
#include "platform/process_stats.h"
#include "platform/resources.h"
#include "model/camera_path.h"
#include "model/skeleton.h"
#include "render/measure.h"
#include "render/offscreen.h"
#include "render/snapshot.h"
#include "settings/settings.h"
#include "app/soak.h"

namespace {

struct Options {
    unsigned width = 640, height = 480;
    double time = 10.0;
    bool timeGiven = false;
    uint32_t seed = 1;
    std::string out = ".";
    int frames = 1;
    int bench = 0;
    double measure = 0;
    bool outGiven = false;
};

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: vantor-render [--size WxH] [--time SECONDS] [--seed N] [--set Name=value]... [--out DIR] "
                 "[--frames N]\n"
                 "       vantor-render --bench N [--time SECONDS] [--size WxH] [--set Name=value]...\n"
                 "       vantor-render --measure SECONDS [--size WxH] [--seed N] [--set Name=value]... [--out DIR]\n"
                 "       vantor-render --soak MINUTES [--size WxH]\n"
                 "       vantor-render --cycles N [--size WxH]\n");
}

int Usage()
{
    PrintUsage(stderr);
    return 2;
}

// Says which option and value were refused, and why; false.
bool Refuse(const std::string& option, const char* value, const char* why)
{
    std::fprintf(stderr, "vantor-render: %s%s%s: %s\n", option.c_str(), value ? " " : "", value ? value : "", why);
    return false;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a != "--size" && a != "--time" && a != "--seed" && a != "--out" && a != "--frames" && a != "--bench" &&
            a != "--set" && a != "--measure")
            return Refuse(a, nullptr, "unknown option");
        if (!next)
            return Refuse(a, nullptr, "needs a value");
        char* end = nullptr;
        if (a == "--size") {
            unsigned w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(next, "%ux%u%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
                return Refuse(a, next, "expected WIDTHxHEIGHT, each from 16 to 8192");
            o.width = w;
            o.height = h;
        } else if (a == "--time") {
            o.time = std::strtod(next, &end);
            o.timeGiven = true;
            if (end == next || *end || !(o.time >= 0 && o.time <= 1e6))
                return Refuse(a, next, "expected seconds from 0 to 1000000");
        } else if (a == "--seed") {
            errno = 0;
            const unsigned long seed = std::strtoul(next, &end, 10);
            if (end == next || *end || errno == ERANGE || seed > UINT32_MAX)
                return Refuse(a, next, "expected a whole number from 0 to 4294967295");
            o.seed = static_cast<uint32_t>(seed);
        } else if (a == "--out") {
            o.out = next;
            o.outGiven = true;
        } else if (a == "--measure") {
            o.measure = std::strtod(next, &end);
            if (end == next || *end || !(o.measure >= 0) || o.measure > 1e5)
                return Refuse(a, next, "expected seconds from 0 to 100000");
        } else if (a == "--frames") {
            const long frames = std::strtol(next, &end, 10);
            if (end == next || *end || frames < 1 || frames > 100000)
                return Refuse(a, next, "expected a whole number from 1 to 100000");
            o.frames = static_cast<int>(frames);
        } else if (a == "--bench") {
            const long bench = std::strtol(next, &end, 10);
            if (end == next || *end || bench < 1 || bench > 1000000)
                return Refuse(a, next, "expected a whole number from 1 to 1000000");
            o.bench = static_cast<int>(bench);
        } else if (a == "--set") {
            const char* eq = std::strchr(next, '=');
            if (!eq)
                return Refuse(a, next, "expected Name=value");
            errno = 0;
            const long v = std::strtol(eq + 1, &end, 10);
            if (end == eq + 1 || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
                return Refuse(a, next, "the value is not a whole number");
            if (!SetSettingByName(g_Settings, std::string(next, eq), static_cast<int32_t>(v)))
                return Refuse(a, next, "no such setting, or the value is outside its range");
        }
        ++i;
    }
    return true;
}

// The flight sampled every 2 seconds of scene time from 0 to `o.measure`:
// per sample the floor's share of the picture, the share of rock in the
// fog's range and the flock members seen, then the totals against the
// goals. With --out, each sample's classes go there as a picture (sand:
// floor, blue: beyond the fog start, grey: nearer rock, white: sky).
int RunMeasure(const Options& o, COffscreenFlight& flight)
{
    CSkeleton path;
    if (!path.Load("models/camera.ani")) {
        std::fprintf(stderr, "vantor-render: could not load the flight path\n");
        return 1;
    }
    if (o.outGiven) {
        std::error_code ec;
        std::filesystem::create_directories(o.out, ec);
    }
    const measure::Rules rules;
    int samples = 0, floorHeavy = 0, deep = 0, flockOutside = 0, flockAnywhere = 0;
    std::printf("# time  floor%%  beyond-fog-start%%  sky%%  flock-seen  flock-seen-outside-basin  eye x y z\n");
    for (double t = 0; t <= o.measure + 1e-9; t += 2.0) {
        flight.StartAt(t);
        flight.Frame();
        VantorDepthImage depth;
        if (const HRESULT hr = VantorReadBackBufferDepth(flight.Drawer().GetDevice(), &depth); FAILED(hr)) {
            std::fprintf(stderr, "vantor-render: could not read the depth buffer%s\n",
                         hr == E_NOTIMPL ? " (this Direct3D 8 cannot read a depth buffer back; --measure needs "
                                           "the Linux build)"
                                         : "");
            return 1;
        }
        CDrawer& d = flight.Drawer();
        camera::CameraInputs in;
        in.sceneTime = d.SceneClock();
        in.pathStartOffset = d.PathStartOffset();
        in.frameTime = d.SmoothedFrameTime();
        in.velocity = g_Settings.Velocity;
        in.classicCamera = g_Settings.ClassicCamera != 0;
        const camera::CameraFrame frame = camera::UpdateCamera(path, in);
        std::vector<vmath::Vec3> flock;
        camera::PlaceFlock(path, in.sceneTime,
                           [&](int32_t, const vmath::Mat4& world) { flock.push_back(vmath::Row(world, 3)); });
        std::vector<measure::PixelClass> classes;
        const measure::FrameStats s =
            measure::AnalyseFrame(depth, frame.pose, flock, rules, o.outGiven ? &classes : nullptr);
        ++samples;
        floorHeavy += s.floorShare > 0.6 ? 1 : 0;
        deep += s.deepShare >= 0.15 ? 1 : 0;
        flockAnywhere += s.flockSeen > 0 ? 1 : 0;
        flockOutside += s.flockSeenOutsideBasin > 0 ? 1 : 0;
        std::printf("%6.1f  %5.1f  %5.1f  %5.1f  %2d  %2d  %6.0f %6.0f %5.0f\n", in.sceneTime, 100 * s.floorShare,
                    100 * s.deepShare, 100 * s.skyShare, s.flockSeen, s.flockSeenOutsideBasin,
                    static_cast<double>(frame.pose.eye.x), static_cast<double>(frame.pose.eye.y),
                    static_cast<double>(frame.pose.eye.z));
        if (o.outGiven) {
            static const uint32_t kColours[] = {0xFFFFFFFFu, 0xFFD8B070u, 0xFF606060u, 0xFF3050C0u};
            VantorImage picture;
            picture.width = depth.width;
            picture.height = depth.height;
            for (measure::PixelClass c : classes)
                picture.pixels.push_back(kColours[static_cast<int>(c)]);
            char name[64];
            std::snprintf(name, sizeof(name), "/measure_%04d.png", samples - 1);
            if (!WritePng(o.out + name, picture)) {
                std::fprintf(stderr, "vantor-render: could not write %s%s\n", o.out.c_str(), name);
                return 1;
            }
        }
    }
    auto share = [&](int n) { return samples ? 100.0 * n / samples : 0.0; };
    std::printf("samples %d (every 2 s)\n", samples);
    std::printf("floor over 60%% of the picture: %d frames, %.1f%% (goal at most 10%%)\n", floorHeavy,
                share(floorHeavy));
    std::printf("15%% or more beyond the fog start: %d frames, %.1f%% (goal at least 40%%)\n", deep, share(deep));
    std::printf("flock seen: %d frames, %.1f%%; outside the basin: %d frames, %.1f%% (goal at least 25%%)\n",
                flockAnywhere, share(flockAnywhere), flockOutside, share(flockOutside));
    return 0;
}

int Run(const Options& o)
{
    if (!OpenProgramArchive(os::FindEmbeddedResource(os::EmbeddedResources(), os::ResourceType::RCData, 144))) {
        std::fprintf(stderr, "vantor-render: could not open the resource archive\n");
        if (!ProgramArchiveError().empty())
            std::fprintf(stderr, "vantor-render: %s\n", ProgramArchiveError().c_str());
        return 1;
    }
    const auto launched = std::chrono::steady_clock::now();
    COffscreenFlight flight(o.seed);
    std::string error;
    if (!flight.Init(o.width, o.height, error)) {
        std::fprintf(stderr, "vantor-render: %s\n", error.c_str());
        return 1;
    }

    if (o.measure > 0)
        return RunMeasure(o, flight);

    if (o.bench) {
        flight.Frame();
        VantorImage first;
        flight.Capture(first);
        const double startup = std::chrono::duration<double>(std::chrono::steady_clock::now() - launched).count();
        flight.StartAt(o.timeGiven ? o.time : 0.0);
        const auto t0 = std::chrono::steady_clock::now();
        const double thread0 = os::ThreadCpuSeconds(), process0 = os::ProcessCpuSeconds();
        for (int i = 0; i < o.bench; ++i)
            flight.Frame();
        VantorImage last;
        flight.Capture(last);  // waits for the last frame to finish
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double thread = os::ThreadCpuSeconds() - thread0;
        const double process = os::ProcessCpuSeconds() - process0;
        // The main thread runs the engine, this Direct3D runtime and the GL
        // driver's command handling; the driver's rasteriser threads only
        // show in the process total. The engine's own share is the
        // Engine/FrameCPU benchmark.
        std::printf("%d frames, %.1f fps, %.3f ms main-thread CPU per frame (engine, runtime and GL driver), "
                    "%.3f ms process CPU per frame (all threads)\n",
                    o.bench, o.bench / wall, 1000.0 * thread / o.bench, 1000.0 * process / o.bench);
        std::printf("start-up to the first flight frame %.0f ms, peak resident memory %.0f MB\n", 1000.0 * startup,
                    os::PeakResidentMemoryMb());
        return 0;
    }

    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    flight.StartAt(o.time);
    for (int i = 0; i < o.frames; ++i) {
        flight.Frame();
        VantorImage image;
        char name[64];
        std::snprintf(name, sizeof(name), "/frame_%04d.png", i);
        if (!flight.Capture(image) || !WritePng(o.out + name, image)) {
            std::fprintf(stderr, "vantor-render: could not write %s%s\n", o.out.c_str(), name);
            return 1;
        }
        std::printf("%s%s (scene time %.3f s)\n", o.out.c_str(), name, flight.Drawer().SceneClock());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            PrintUsage(stdout);
            return 0;
        }
    }
    SetDefaultSettings(g_Settings);
    g_Settings.Sound = 0;
    if (int status = 0; RunLongRunCheck(argc, argv, status))
        return status;
    Options o;
    if (!ParseOptions(argc, argv, o))
        return Usage();
    // The measurement reads the back buffer's depth, which motion blur
    // leaves unused.
    if (o.measure > 0)
        g_Settings.MotionBlur = 0;
    return Run(o);
}
