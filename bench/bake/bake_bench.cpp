// Baker benchmarks: the stages that dominate the bake (canyon mesh, shadow
// atlas, whole bake), so its 60-second budget on two cores can be watched.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "bake/bake.h"
#include "bake/canyon_gen.h"
#include "bake/mesh_query.h"
#include "bake/shadow_atlas.h"

namespace {

void BakeCanyonMesh(benchmark::State& state)
{
    const bake::CanyonLayout layout = bake::MakeCanyonLayout();
    size_t faces = 0;
    for (auto _ : state) {
        const bake::CanyonMesh mesh = bake::MakeCanyonMesh(layout);
        faces = mesh.faces.size();
        benchmark::DoNotOptimize(faces);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * faces));
}
BENCHMARK(BakeCanyonMesh)->Name("Bake/CanyonMesh")->Unit(benchmark::kMillisecond);

void BakeShadowAtlas(benchmark::State& state)
{
    const bake::CanyonMesh mesh = bake::MakeCanyonMesh(bake::MakeCanyonLayout());
    std::vector<bake::AtlasPatch> patches;
    bake::PackAtlas(mesh, patches);
    const bake::MeshQuery query(mesh.positions, mesh.faces, 320.0);
    int64_t texels = 0;
    for (const bake::AtlasPatch& p : patches)
        texels += int64_t(p.w) * p.h;
    for (auto _ : state)
        benchmark::DoNotOptimize(bake::BakeShadowAtlas(mesh, query, patches));
    state.SetItemsProcessed(state.iterations() * texels);
}
BENCHMARK(BakeShadowAtlas)->Name("Bake/ShadowAtlas")->Unit(benchmark::kMillisecond);

void BakeEverything(benchmark::State& state)
{
    const auto root = std::filesystem::temp_directory_path() / "vantor-bake-bench";
    bake::BakeOptions o;
    o.stagingDir = (root / "staging").string();
    o.resourceDir = (root / "resources").string();
    o.verbose = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(bake::RunBake(o));
    std::filesystem::remove_all(root);
}
BENCHMARK(BakeEverything)->Name("Bake/All")->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
