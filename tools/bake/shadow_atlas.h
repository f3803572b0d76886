// The canyon's shadow atlas: one rectangular patch per face in a 1024 x 1024
// 8-bit picture, placed where the engine's planar projection (150 units per
// texel, 1.5-texel margin) will look for it, and filled with sunlight times
// visibility plus ambient light.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "bake/canyon_gen.h"
#include "bake/image_io.h"

namespace bake {

class MeshQuery;

constexpr int32_t kAtlasSize = 1024;
constexpr float kUnitsPerTexel = 150.0f;

// Unit vector towards the sun: the direction of the lens flares' sun.
vmath::Vec3 SunDirection();

struct AtlasPatch {
    int32_t x = 0, y = 0;  // origin in texels
    int32_t w = 0, h = 0;  // size in texels
    int32_t axis = 2;      // dropped axis of the projection: 0 x, 1 y, 2 z
};

// The patch size a face needs: every texel the engine's bilinear lookup can
// touch lies inside it.
AtlasPatch PatchShape(vmath::Vec3 a, vmath::Vec3 b, vmath::Vec3 c);

// Shelf packing, tallest first. False when the patches do not fit.
bool PackAtlas(const CanyonMesh& mesh, std::vector<AtlasPatch>& patches);

// Fills every patch. Texels outside a face's triangle take the value of the
// nearest point of the triangle, so bilinear lookups at the edges see no
// dark fringe.
Image BakeShadowAtlas(const CanyonMesh& mesh, const MeshQuery& query, const std::vector<AtlasPatch>& patches);

// Checks: inside the atlas and pairwise disjoint.
bool PatchesValid(const std::vector<AtlasPatch>& patches);

}  // namespace bake
