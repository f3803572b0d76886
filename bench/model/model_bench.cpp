// Model benchmarks: sampling a 24-bone skeleton (spline and clip), and one
// CPU skinning and draw of a 253-vertex, 352-face model on a fake device.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "fake_d3d.h"
#include "model/camera_path.h"
#include "model/skinned_model.h"

namespace {

constexpr int kBones = 24;
constexpr int kFrames = 101;
constexpr int kVertices = 253;
constexpr int kFaces = 352;

// A pterodactyl-sized file: a chain-and-branch hierarchy of 24 bones with
// 101 frames of flapping, then one texture, 253 vertices and 352 faces.
std::string GenerateModel()
{
    std::string s = "version 1\nbones\n{\n";
    char line[200];
    for (int b = 0; b < kBones; ++b) {
        const int parent = b == 0 ? -1 : (b < 4 ? b - 1 : (b % 4 == 0 ? b / 4 : b - 1));
        std::snprintf(line, sizeof line, "%d bone%02d %d\n", b, b, parent);
        s += line;
    }
    s += "}\nanimation\n{\n";
    for (int f = 0; f < kFrames; ++f) {
        std::snprintf(line, sizeof line, "frame %d\n{\n", f);
        s += line;
        for (int b = 0; b < kBones; ++b) {
            const float phase = 6.2831853f * f / kFrames + 0.3f * b;
            std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f %.6f %.6f\n", 3.0f + 0.1f * b, 0.2f * std::sin(phase),
                          0.1f * b, 0.4f * std::sin(phase), 0.2f * std::cos(phase), 0.05f * b);
            s += line;
        }
        s += "}\n";
    }
    s += "}\nshaders\n{\n0 textures/ptero.jpg\n}\nvertices\n{\n";
    for (int v = 0; v < kVertices; ++v) {
        std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f %d\n", std::sin(v * 0.7f) * 20,
                      std::cos(v * 0.3f) * 20, v * 0.1f, std::sin(v * 1.1f), std::cos(v * 1.1f), 0.3f, v / 253.0f,
                      (v % 17) / 17.0f, v % kBones);
        s += line;
    }
    s += "}\nfaces\n{\n";
    for (int f = 0; f < kFaces; ++f) {
        std::snprintf(line, sizeof line, "%d %d %d 0\n", f % kVertices, (f * 7 + 1) % kVertices,
                      (f * 13 + 2) % kVertices);
        s += line;
    }
    return s + "}\n";
}

const std::string& ModelText()
{
    static const std::string text = GenerateModel();
    return text;
}

void BM_SkeletonSample(benchmark::State& state)
{
    CSkeleton skeleton;
    if (!skeleton.LoadFromText(ModelText()) || skeleton.BoneCount() != kBones) {
        state.SkipWithError("generated skeleton did not load");
        return;
    }
    float t = 0;
    for (auto _ : state) {
        skeleton.Sample(t, 30.0f);
        t += 0.013f;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["bones"] = kBones;
}
BENCHMARK(BM_SkeletonSample)->Name("Skeleton/Sample");

void BM_SkeletonSampleClip(benchmark::State& state)
{
    CSkeleton skeleton;
    if (!skeleton.LoadFromText(ModelText())) {
        state.SkipWithError("generated skeleton did not load");
        return;
    }
    const AnimClip clip{10, 60, 30.0f, true};
    float t = 0;
    for (auto _ : state) {
        skeleton.SampleClip(clip, t);
        t += 0.013f;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_SkeletonSampleClip)->Name("Skeleton/SampleClip");

void BM_SkinDraw(benchmark::State& state)
{
    fake::Render render;
    render.device.record = false;
    CSkinnedModel model;
    if (!model.ParseText(ModelText()) || !model.Build(render)) {
        state.SkipWithError("generated model did not build");
        return;
    }
    model.GetSkeleton().Sample(1.5f, 30.0f);
    const vmath::Mat4 world = camera::FlockMemberWorld(vmath::Translation(100, 200, 300));
    for (auto _ : state) {
        model.Draw(world, true);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kVertices);
}
BENCHMARK(BM_SkinDraw)->Name("Skin/Draw");

void BM_ModelParse(benchmark::State& state)
{
    const std::string& text = ModelText();
    CSkinnedModel model;
    for (auto _ : state) {
        const bool ok = model.ParseText(text);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ModelParse)->Name("Skin/Parse");

}  // namespace
