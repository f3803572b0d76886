// Long-run checks.
//
// --soak renders the flight with motion blur at 16 sub-frames for the given
// number of minutes, with GL debug output on. Each minute it prints the
// resident memory and that minute's frame times; at the end it judges memory
// growth after the first minute and GL errors.
//
// --cycles creates, runs and destroys the whole engine N times and prints
// resident memory, open file descriptors and the runtime's live GL holdings
// as it goes.
#include "app/soak.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "d3d8_vantor.h"
#include "platform/process_stats.h"
#include "platform/resources.h"
#include "render/offscreen.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

struct LongRunOptions {
    enum Kind { Soak, Cycles } kind = Soak;
    long count = 0;
    unsigned width = 640, height = 480;
};

bool Parse(int argc, char** argv, LongRunOptions& o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        char* end = nullptr;
        if (a == "--soak" || a == "--cycles") {
            o.kind = a == "--soak" ? LongRunOptions::Soak : LongRunOptions::Cycles;
            o.count = std::strtol(argv[i + 1], &end, 10);
            if (*end || o.count < 1 || o.count > 100000) {
                std::fprintf(stderr, "vantor-render: %s wants a count from 1 to 100000, not \"%s\"\n", a.c_str(),
                             argv[i + 1]);
                return false;
            }
        } else if (a == "--size") {
            if (std::sscanf(argv[i + 1], "%ux%u", &o.width, &o.height) != 2 || o.width < 16 || o.height < 16 ||
                o.width > 8192 || o.height > 8192) {
                std::fprintf(stderr, "vantor-render: --size wants WxH from 16x16 to 8192x8192, not \"%s\"\n",
                             argv[i + 1]);
                return false;
            }
        } else {
            std::fprintf(stderr, "vantor-render: %s cannot be combined with --soak or --cycles\n", a.c_str());
            return false;
        }
    }
    if (argc % 2 == 0) {
        std::fprintf(stderr, "vantor-render: %s wants a value\n", argv[argc - 1]);
        return false;
    }
    return true;
}

// The q-quantile (0..1) of `ms`, which it sorts.
double Percentile(std::vector<double>& ms, double q)
{
    if (ms.empty())
        return 0;
    std::sort(ms.begin(), ms.end());
    const auto i = static_cast<size_t>(q * static_cast<double>(ms.size() - 1) + 0.5);
    return ms[std::min(i, ms.size() - 1)];
}

bool StartFlight(COffscreenFlight& flight, const LongRunOptions& o)
{
    std::string error;
    if (flight.Init(o.width, o.height, error))
        return true;
    std::fprintf(stderr, "vantor-render: %s\n", error.c_str());
    return false;
}

int Soak(const LongRunOptions& o)
{
    g_Settings.MotionBlur = 1;
    g_Settings.MotionBlurSamples = 16;
    VantorD3D8EnableDebugOutput(true);
    COffscreenFlight flight(1);
    if (!StartFlight(flight, o))
        return 1;
    flight.StartAt(0.0);
    std::printf("soak: %ld min at %ux%u, motion blur with %d sub-frames, GL debug output on\n", o.count, o.width,
                o.height, flight.Drawer().SampleCount());
    // Wall time per frame follows whatever else the machine runs; the
    // process's CPU time per frame (all threads, the GL driver's included)
    // follows only the work the flight asks for, so drift shows there even
    // on a busy machine.
    std::printf("minute  resident MB  frames  median ms  p99 ms  CPU ms/frame  GL errors\n");
    std::fflush(stdout);

    VantorImage image;
    std::vector<double> minute, all;
    double firstMb = 0, worstGrowth = 0, firstMedian = 0, lastMedian = 0, firstCpu = 0, lastCpu = 0;
    const auto start = Clock::now();
    double cpuMark = os::ProcessCpuSeconds();
    for (long m = 1; m <= o.count; ++m) {
        const auto end = start + std::chrono::minutes(m);
        minute.clear();
        while (Clock::now() < end) {
            const auto t0 = Clock::now();
            flight.Frame();
            flight.Capture(image);  // waits for the frame to finish
            minute.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        all.insert(all.end(), minute.begin(), minute.end());
        const double mb = os::ResidentMemoryMb();
        const size_t frames = minute.size();
        const double median = Percentile(minute, 0.5), p99 = Percentile(minute, 0.99);
        const double cpuNow = os::ProcessCpuSeconds();
        const double cpu = frames ? (cpuNow - cpuMark) * 1000.0 / frames : 0.0;
        cpuMark = cpuNow;
        if (m == 1) {
            firstMb = mb;
            firstMedian = median;
            firstCpu = cpu;
        }
        lastCpu = cpu;
        worstGrowth = std::max(worstGrowth, mb - firstMb);
        lastMedian = median;
        std::printf("%6ld  %11.1f  %6zu  %9.1f  %6.1f  %12.1f  %9llu\n", m, mb, frames, median, p99, cpu,
                    static_cast<unsigned long long>(VantorD3D8DebugErrors()));
        std::fflush(stdout);
    }
    const uint64_t errors = VantorD3D8DebugErrors();
    std::printf("all %zu frames: median %.1f ms, p99 %.1f ms; last minute / first minute: median %.3f, CPU %.3f\n",
                all.size(), Percentile(all, 0.5), Percentile(all, 0.99), firstMedian > 0 ? lastMedian / firstMedian : 0,
                firstCpu > 0 ? lastCpu / firstCpu : 0);
    std::printf("resident memory growth after minute 1: %.2f MB; GL errors: %llu\n", worstGrowth,
                static_cast<unsigned long long>(errors));
    // Growth is judged against the first minute: by then every cache the
    // flight fills has been filled once.
    const bool ok = worstGrowth < 1.0 && errors == 0;
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}

int Cycles(const LongRunOptions& o)
{
    std::printf("cycle  resident MB  open fds  GL contexts  devices  resources\n");
    double baseMb = 0;
    int baseFds = 0;
    VantorImage image;
    for (long c = 1; c <= o.count; ++c) {
        {
            COffscreenFlight flight(static_cast<uint32_t>(c));
            if (!StartFlight(flight, o))
                return 1;
            flight.StartAt(10.0);
            flight.Frame();
            flight.Capture(image);
        }
        const VantorD3D8Live live = VantorD3D8LiveObjects();
        const double mb = os::ResidentMemoryMb();
        const int fds = os::OpenHandleCount();
        // The first cycles settle the driver's and the allocator's pools.
        if (c == 10) {
            baseMb = mb;
            baseFds = fds;
        }
        if (c <= 2 || c == 10 || c % 100 == 0 || c == o.count) {
            std::printf("%5ld  %11.1f  %8d  %11lld  %7lld  %9lld\n", c, mb, fds, static_cast<long long>(live.contexts),
                        static_cast<long long>(live.devices), static_cast<long long>(live.resources));
            std::fflush(stdout);
        }
        if (live.contexts || live.devices || live.resources) {
            std::fprintf(stderr, "vantor-render: cycle %ld left GL holdings behind\n", c);
            return 1;
        }
    }
    if (o.count >= 10)
        std::printf("after cycle 10: resident memory %+.2f MB, open fds %+d\n", os::ResidentMemoryMb() - baseMb,
                    os::OpenHandleCount() - baseFds);
    return 0;
}

}  // namespace

bool RunLongRunCheck(int argc, char** argv, int& status)
{
    bool asked = false;
    for (int i = 1; i < argc; ++i)
        asked = asked || !std::strcmp(argv[i], "--soak") || !std::strcmp(argv[i], "--cycles");
    if (!asked)
        return false;
    LongRunOptions o;
    if (!Parse(argc, argv, o)) {
        status = 2;
        return true;
    }
    if (!OpenProgramArchive(os::FindEmbeddedResource(os::EmbeddedResources(), os::ResourceType::RCData, 144))) {
        std::fprintf(stderr, "vantor-render: could not open the resource archive\n");
        status = 1;
        return true;
    }
    status = o.kind == LongRunOptions::Soak ? Soak(o) : Cycles(o);
    return true;
}
