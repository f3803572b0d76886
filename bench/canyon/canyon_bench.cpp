// Canyon benchmarks: parsing a generated 20,000-face canyon file, and the
// lens flares' ray query from random points above it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "canyon/canyon.h"

namespace {

constexpr int kQuads = 100;          // 100 x 100 quads, two faces each
constexpr float kSpacing = 400.0f;   // about 40,000 units across, like the real canyon
constexpr float kOrigin = -20000.0f;

// Floor at 0 along a winding river bed, walls rising to 3,000.
float Height(float x, float y)
{
    const float centre = 6000.0f * std::sin(y / 7000.0f);
    const float d = std::fabs(x - centre) / 5000.0f;
    const float wall = std::clamp(d, 0.0f, 1.0f);
    return 3000.0f * wall * wall * (3 - 2 * wall) + 150.0f * std::sin(x / 900.0f) * std::cos(y / 1300.0f);
}

// The same text layout as the baked canyon: integral positions, six-decimal
// normals, texture coordinates beyond 0..1, bone -1.
std::string GenerateCanyon()
{
    std::string s;
    s.reserve(3 << 20);
    s += "shaders\n{\n0 textures/1.jpg\n1 textures/2.jpg\n2 textures/3.jpg\n}\n";
    s += "shadows\n{\n0 shadows/shadow.tga\n}\n";
    char line[160];
    s += "faces\n{\n";
    const int n = kQuads + 1;
    for (int j = 0; j < kQuads; ++j) {
        for (int i = 0; i < kQuads; ++i) {
            const int a = j * n + i, b = a + 1, c = a + n, d = c + 1;
            const int shader = (i / 10 + j / 10) % 3;
            std::snprintf(line, sizeof line, "%d %d %d %d\n%d %d %d %d\n", a, b, c, shader, b, d, c, shader);
            s += line;
        }
    }
    s += "}\nshadowfaces\n{\n";
    for (int f = 0; f < kQuads * kQuads * 2; ++f) {
        std::snprintf(line, sizeof line, "%d %d 0\n", (f % 200) * 5, (f / 200) * 5);
        s += line;
    }
    s += "}\nvertices\n{\n";
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const float x = kOrigin + i * kSpacing, y = kOrigin + j * kSpacing;
            const float z = Height(x, y);
            const float gx = (Height(x + 10, y) - Height(x - 10, y)) / 20;
            const float gy = (Height(x, y + 10) - Height(x, y - 10)) / 20;
            const float len = std::sqrt(gx * gx + gy * gy + 1);
            std::snprintf(line, sizeof line, "%d %d %d %.6f %.6f %.6f %.2f %.2f -1\n", int(x), int(y), int(z),
                          -gx / len, -gy / len, 1 / len, x / 2000.0f, y / 2000.0f);
            s += line;
        }
    }
    s += "}\n";
    return s;
}

const std::string& CanyonText()
{
    static const std::string text = GenerateCanyon();
    return text;
}

void BM_CanyonParse(benchmark::State& state)
{
    const std::string& text = CanyonText();
    CCanyon canyon;
    for (auto _ : state) {
        const bool ok = canyon.ParseText(text);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["faces"] = double(canyon.Faces().size());
}
BENCHMARK(BM_CanyonParse)->Name("Canyon/Parse")->Unit(benchmark::kMillisecond);

void BM_CanyonGridBuild(benchmark::State& state)
{
    CCanyon canyon;
    if (!canyon.ParseText(CanyonText())) {
        state.SkipWithError("generated canyon did not parse");
        return;
    }
    for (auto _ : state)
        canyon.BuildGrid();
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(canyon.Faces().size()));
}
BENCHMARK(BM_CanyonGridBuild)->Name("Canyon/GridBuild")->Unit(benchmark::kMillisecond);

// Rays as the lens flares cast them: from a random point above the canyon
// towards the sun at (-0.5, -0.5, 0.5).
void BM_CanyonRayQuery(benchmark::State& state)
{
    CCanyon canyon;
    if (!canyon.ParseText(CanyonText())) {
        state.SkipWithError("generated canyon did not parse");
        return;
    }
    canyon.BuildGrid();
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> along(kOrigin, kOrigin + kQuads * kSpacing);
    std::uniform_real_distribution<float> above(10.0f, 1500.0f);
    constexpr int kRays = 4096;
    std::vector<vmath::Vec3> origins(kRays);
    for (auto& o : origins) {
        o.x = along(rng);
        o.y = along(rng);
        o.z = Height(o.x, o.y) + above(rng);
    }
    const vmath::Vec3 sun{-0.5f, -0.5f, 0.5f};
    size_t i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        hits += canyon.IntersectRay(origins[i], sun) ? 1 : 0;
        i = (i + 1) % kRays;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["hit_share"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_CanyonRayQuery)->Name("Canyon/RayQuery")->Unit(benchmark::kMicrosecond);

}  // namespace
