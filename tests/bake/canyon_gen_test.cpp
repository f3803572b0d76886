// The canyon generator, its mesh, the shadow atlas and the mesh queries.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <tuple>

#include "bake/canyon_gen.h"
#include "bake/mesh_query.h"
#include "bake/shadow_atlas.h"
#include "canyon/canyon.h"

namespace bake {
namespace {

using vmath::Vec3;

struct Canyon {
    CanyonLayout layout = MakeCanyonLayout();
    CanyonMesh mesh = MakeCanyonMesh(layout);
};

const Canyon& Shared()
{
    static const std::unique_ptr<Canyon> canyon = std::make_unique<Canyon>();
    return *canyon;
}

TEST(BakeCanyon, FloorFollowsTheLineAndThePlateauSurroundsIt)
{
    const CanyonLayout& l = Shared().layout;
    ASSERT_GT(l.line.points.size(), 100u);
    for (size_t i = 0; i < l.line.points.size(); i += 97) {
        const Vec2 p = l.line.points[i];
        EXPECT_NEAR(CanyonHeight(l, p.x, p.y), l.line.floorZ[i], 60) << i;
        EXPECT_GE(l.line.halfWidth[i], 300);  // floors at least 600 wide
        EXPECT_LE(l.line.halfWidth[i], 1250);
    }
    // The corners of the terrain are plateau, far above any floor.
    for (double x : {-19000.0, 19000.0})
        for (double y : {-19000.0, 19000.0})
            EXPECT_GT(CanyonHeight(l, x, y), l.plateauZ - 400);
    // Buttes stand well above the basin floor.
    for (const Butte& b : l.buttes)
        EXPECT_GT(CanyonHeight(l, b.centre.x, b.centre.y), b.height * 0.8);
    // The loop closes: its last point is as close to its first as any two
    // neighbours are.
    const Vec2 a = l.line.points.front(), z = l.line.points.back();
    EXPECT_LT(std::hypot(a.x - z.x, a.y - z.y), 2 * l.line.length / double(l.line.points.size()));
}

TEST(BakeCanyon, MeshIsAnIntegralCrackFreeHeightField)
{
    const CanyonMesh& m = Shared().mesh;
    EXPECT_GE(m.faces.size(), 15000u);
    EXPECT_LE(m.faces.size(), 25000u);
    for (const Vec3& p : m.positions) {
        EXPECT_EQ(p.x, std::round(p.x));
        EXPECT_EQ(p.z, std::round(p.z));
        ASSERT_LE(std::fabs(p.x), float(kCanyonHalfExtent));
        ASSERT_LE(std::fabs(p.y), float(kCanyonHalfExtent));
    }
    // Every edge inside the terrain is shared by exactly two faces running
    // it in opposite directions: no cracks, no T-junctions, no flipped face.
    std::map<std::tuple<float, float, float, float>, int> directed;
    for (const MeshFace& f : m.faces) {
        const int32_t v[3] = {f.a, f.b, f.c};
        const Vec3 n = vmath::Cross(m.positions[size_t(f.b)] - m.positions[size_t(f.a)],
                                    m.positions[size_t(f.c)] - m.positions[size_t(f.a)]);
        ASSERT_GT(n.z, 0) << "faces must face up (counter-clockwise from above)";
        for (int k = 0; k < 3; ++k) {
            const Vec3 a = m.positions[size_t(v[k])], b = m.positions[size_t(v[(k + 1) % 3])];
            ++directed[{a.x, a.y, b.x, b.y}];
        }
    }
    const float edge = float(kCanyonHalfExtent);
    for (const auto& [key, count] : directed) {
        const auto [ax, ay, bx, by] = key;
        EXPECT_EQ(count, 1);
        const bool boundary = (ax == bx && std::fabs(ax) == edge) || (ay == by && std::fabs(ay) == edge);
        if (!boundary) {
            EXPECT_EQ(directed.count({bx, by, ax, ay}), 1u) << ax << "," << ay << " -> " << bx << "," << by;
        }
    }
    // All three materials are in use.
    int used[3] = {0, 0, 0};
    for (const MeshFace& f : m.faces)
        ++used[f.shader];
    EXPECT_GT(used[kShaderRock], 100);
    EXPECT_GT(used[kShaderStrata], 1000);
    EXPECT_GT(used[kShaderGround], 500);
}

TEST(BakeCanyon, WallBordersRunAcrossTheGridNotAlongIt)
{
    // Where wall faces meet floor or rim faces, the border must follow the
    // cuts through the grid's triangles; a border made of the grid's own
    // edges is the sawtooth that shows along every wall foot.
    const CanyonMesh& m = Shared().mesh;
    // Directed edges by position (vertices are shared within one texture
    // mapping only), each with its face's material.
    std::map<std::tuple<float, float, float, float>, int32_t> shaderOf;
    for (const MeshFace& f : m.faces) {
        const int32_t v[3] = {f.a, f.b, f.c};
        for (int k = 0; k < 3; ++k) {
            const Vec3 a = m.positions[size_t(v[k])], b = m.positions[size_t(v[(k + 1) % 3])];
            shaderOf[{a.x, a.y, b.x, b.y}] = f.shader;
        }
    }
    auto onGrid = [](float x, float y) {
        return std::fmod(x, float(kCanyonCellSize)) == 0 && std::fmod(y, float(kCanyonCellSize)) == 0;
    };
    int borders = 0, alongGrid = 0;
    for (const auto& [edge, shader] : shaderOf) {
        const auto [ax, ay, bx, by] = edge;
        const auto other = shaderOf.find({bx, by, ax, ay});
        if (other == shaderOf.end() || (shader == kShaderStrata) == (other->second == kShaderStrata))
            continue;
        ++borders;
        alongGrid += onGrid(ax, ay) && onGrid(bx, by);
    }
    EXPECT_GT(borders, 2000);
    EXPECT_EQ(alongGrid, 0);
}

TEST(BakeCanyon, WallTextureBandsStayLevel)
{
    const CanyonMesh& m = Shared().mesh;
    for (size_t i = 0; i < m.faces.size(); i += 7) {
        const MeshFace& f = m.faces[i];
        if (f.shader != kShaderStrata)
            continue;
        // v follows height alone: equal heights, equal v.
        for (int32_t idx : {f.a, f.b, f.c})
            EXPECT_NEAR(m.v[size_t(idx)], m.positions[size_t(idx)].z / 1400.0f, 1e-4f);
    }
}

TEST(BakeAtlas, PatchShapeCoversTheEngineLookups)
{
    // Faces of all orientations and sizes, through the engine's own
    // shadow-coordinate code: bilinear footprints stay inside the patch.
    CanyonMesh m;
    const Vec3 pts[] = {{0, 0, 0},      {149, 0, 3},   {0, 151, 7},   {1200, 0, 0}, {0, 0, 900},
                        {-300, 20, 40}, {300, 300, 0}, {10, 600, 600}, {0, 450, 1}};
    for (const Vec3& p : pts) {
        m.positions.push_back(p);
        m.normals.push_back({0, 0, 1});
        m.u.push_back(0);
        m.v.push_back(0);
    }
    m.faces = {{0, 1, 2, 0}, {0, 3, 4, 1}, {5, 6, 7, 2}, {0, 7, 8, 0}, {1, 4, 8, 1}, {2, 3, 6, 2}};
    std::vector<AtlasPatch> patches;
    ASSERT_TRUE(PackAtlas(m, patches));
    ASSERT_TRUE(PatchesValid(patches));
    std::vector<std::pair<int32_t, int32_t>> origins;
    for (const AtlasPatch& p : patches)
        origins.emplace_back(p.x, p.y);
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(WriteCanyonText(m, origins)));
    canyon.ComputeShadowCoords();
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const AtlasPatch& p = patches[i];
        for (const auto& uv : canyon.Faces()[i].shadowUV) {
            EXPECT_GE(uv[0] * 1024 - 0.5f, float(p.x)) << i;
            EXPECT_LE(uv[0] * 1024 + 0.5f, float(p.x + p.w)) << i;
            EXPECT_GE(uv[1] * 1024 - 0.5f, float(p.y)) << i;
            EXPECT_LE(uv[1] * 1024 + 0.5f, float(p.y + p.h)) << i;
        }
        EXPECT_EQ(canyon.Faces()[i].shadow, 0);
    }
}

TEST(BakeAtlas, ValidityCheckCatchesOverlapAndOverflow)
{
    std::vector<AtlasPatch> ok = {{0, 0, 4, 4, 2}, {4, 0, 4, 4, 2}, {0, 4, 8, 3, 2}};
    EXPECT_TRUE(PatchesValid(ok));
    std::vector<AtlasPatch> overlap = ok;
    overlap[1].x = 3;
    EXPECT_FALSE(PatchesValid(overlap));
    std::vector<AtlasPatch> outside = ok;
    outside[2].y = kAtlasSize - 2;
    EXPECT_FALSE(PatchesValid(outside));
    // Far too many large faces cannot fit.
    CanyonMesh big;
    for (int i = 0; i < 300; ++i) {
        const float x = float(i) * 20000;
        for (const Vec3& p : {Vec3{x, 0, 0}, Vec3{x + 15000, 0, 0}, Vec3{x, 15000, 0}})
            big.positions.push_back(p);
        big.faces.push_back({3 * i, 3 * i + 1, 3 * i + 2, 0});
    }
    std::vector<AtlasPatch> patches;
    EXPECT_FALSE(PackAtlas(big, patches));
}

TEST(BakeAtlas, RealCanyonPacksAndSunlitFloorIsBrighterThanShadowedFloor)
{
    const Canyon& c = Shared();
    std::vector<AtlasPatch> patches;
    ASSERT_TRUE(PackAtlas(c.mesh, patches));
    EXPECT_TRUE(PatchesValid(patches));
    // A tiny scene: a floor and a wall standing between part of it and the
    // sun (towards -x -y). Floor points behind the wall are in shadow.
    CanyonMesh s;
    auto add = [&](Vec3 p) {
        s.positions.push_back(p);
        s.normals.push_back({0, 0, 1});
        s.u.push_back(0);
        s.v.push_back(0);
        return int32_t(s.positions.size() - 1);
    };
    const int32_t f0 = add({-3000, -3000, 0}), f1 = add({3000, -3000, 0}), f2 = add({3000, 3000, 0}),
                  f3 = add({-3000, 3000, 0});
    s.faces.push_back({f0, f1, f2, 2});
    s.faces.push_back({f0, f2, f3, 2});
    // Wall across x = -200 .. facing -x (towards the sun side), 1500 high.
    const int32_t w0 = add({-200, -3000, 0}), w1 = add({-200, 3000, 0}), w2 = add({-200, 3000, 1500}),
                  w3 = add({-200, -3000, 1500});
    s.faces.push_back({w0, w1, w2, 1});
    s.faces.push_back({w0, w2, w3, 1});
    for (int32_t i : {w0, w1, w2, w3})
        s.normals[size_t(i)] = {-1, 0, 0};
    std::vector<AtlasPatch> sp;
    ASSERT_TRUE(PackAtlas(s, sp));
    const MeshQuery q(s.positions, s.faces, 500);
    const Image atlas = BakeShadowAtlas(s, q, sp);
    // Texel of floor face 0 under a world point (projection on x, y).
    auto floorTexel = [&](float x, float y) {
        for (int face : {0, 1}) {
            const AtlasPatch& p = sp[size_t(face)];
            const int32_t i = int32_t((x + 3000) / kUnitsPerTexel + 1.5f), j = int32_t((y + 3000) / kUnitsPerTexel + 1.5f);
            const bool lowerTriangle = face == 0 ? (x - y >= 0) : (x - y < 0);
            if (lowerTriangle)
                return int(atlas.At(p.x + i, p.y + j)[0]);
        }
        return -1;
    };
    const int sunlit = floorTexel(-1500, 1000), shadowed = floorTexel(600, 1200);
    EXPECT_GT(sunlit, shadowed + 60) << sunlit << " vs " << shadowed;
}

TEST(BakeMeshQuery, RaysAndDistances)
{
    const std::vector<Vec3> pos = {{0, 0, 100}, {1000, 0, 100}, {0, 1000, 100}};
    const std::vector<MeshFace> faces = {{0, 1, 2, 0}};
    const MeshQuery q(pos, faces, 250);
    EXPECT_TRUE(q.Occluded({200, 200, 0}, {0, 0, 1}, 0.1f, 1000));
    EXPECT_TRUE(q.Occluded({200, 200, 300}, {0, 0, -1}, 0.1f, 1000));  // either side
    EXPECT_FALSE(q.Occluded({200, 200, 0}, {0, 0, 1}, 0.1f, 50));     // too short
    EXPECT_FALSE(q.Occluded({900, 900, 0}, {0, 0, 1}, 0.1f, 1000));   // beside the triangle
    EXPECT_TRUE(q.Occluded({-500, 300, 0}, {1, 0, 0.15f}, 0.1f, 5000));  // slanted, crossing cells
    EXPECT_FALSE(q.Occluded({-500, 300, 0}, {-1, 0, 0.15f}, 0.1f, 5000));
    EXPECT_NEAR(q.Distance({100, 100, 250}, 1000), 150, 1e-3);
    EXPECT_NEAR(q.Distance({-300, 0, 100}, 1000), 300, 1e-3);  // nearest to a corner
    EXPECT_FLOAT_EQ(q.Distance({5000, 5000, 5000}, 400), 400);
    const Vec3 onEdge = ClosestPointOnTriangle({500, -200, 100}, pos[0], pos[1], pos[2]);
    EXPECT_NEAR(onEdge.x, 500, 1e-3);
    EXPECT_NEAR(onEdge.y, 0, 1e-3);
}

}  // namespace
}  // namespace bake
