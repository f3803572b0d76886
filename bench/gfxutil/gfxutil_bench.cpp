// Start-up costs of the utility library: assembling a shader, decoding an
// RLE TGA, building a full mip chain with the triangle filter.
#include "gfxutil/d3dx8.h"
#include "gfxutil/image.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

void Assemble(benchmark::State& state)
{
    const std::string src =
        "vs.1.1\n"
        "m4x4 r0, v0, c4\nmov oPos, r0\n"
        "max r1.x, r0.z, -r0.z\nmad oFog.x, -r1.x, c1.w, c1.z\n"
        "mov oT0, v3\nmov oT1, v4\nmov oT2, v3\n"
        "dp3 r2.x, v5, c20\ndp3 r2.y, v6, c20\ndp3 r2.z, v1, c20\n"
        "mad oD0, r2, c1.y, c1.y\n"
        "dp3 r3.x, v5, v1\ndp3 r3.y, v6, v1\ndp3 r3.z, v1, v1\n"
        "mad oD1, r3, c1.y, c1.y\n";
    for (auto _ : state) {
        LPD3DXBUFFER code = nullptr;
        D3DXAssembleShader(src.data(), static_cast<UINT>(src.size()), 0, nullptr, &code, nullptr);
        benchmark::DoNotOptimize(code);
        code->Release();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}

std::vector<uint8_t> RleTga(int w, int h)
{
    std::vector<uint8_t> t = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                              uint8_t(h >> 8), 32, 0x28};
    for (int i = 0; i < w * h; i += 16) {
        // Alternate run and raw packets of 8 pixels.
        t.insert(t.end(), {0x87, 10, 20, 30, 255});
        t.push_back(0x07);
        for (int k = 0; k < 8; ++k)
            t.insert(t.end(), {uint8_t(k), uint8_t(i), uint8_t(i >> 8), 200});
    }
    return t;
}

void DecodeTgaRle(benchmark::State& state)
{
    const std::vector<uint8_t> file = RleTga(512, 512);
    for (auto _ : state) {
        DecodedImage img;
        benchmark::DoNotOptimize(DecodeImage(file.data(), file.size(), &img));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}

void MipChain(benchmark::State& state)
{
    std::vector<uint32_t> level(512 * 512);
    for (size_t i = 0; i < level.size(); ++i)
        level[i] = static_cast<uint32_t>(i * 2654435761u);
    for (auto _ : state) {
        std::vector<uint32_t> cur = level;
        for (UINT s = 512; s > 1; s /= 2)
            cur = ResampleTriangle(cur, s, s, s / 2, s / 2);
        benchmark::DoNotOptimize(cur);
    }
    state.SetItemsProcessed(state.iterations() * 512 * 512);
}

}  // namespace

BENCHMARK(Assemble)->Name("Gfx/Assemble");
BENCHMARK(DecodeTgaRle)->Name("Gfx/DecodeTgaRle")->Unit(benchmark::kMicrosecond);
BENCHMARK(MipChain)->Name("Gfx/MipChain512")->Unit(benchmark::kMillisecond);
