// Shadow atlas packing and baking.
#include "bake/shadow_atlas.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "bake/mesh_query.h"
#include "bake/noise.h"

namespace bake {

using vmath::Vec3;

Vec3 SunDirection()
{
    const float k = 1.0f / std::sqrt(3.0f);
    return {-k, -k, k};
}

namespace {

// The engine's choice of projection plane for a face, ties going to (x, y).
int32_t DroppedAxis(Vec3 a, Vec3 b, Vec3 c)
{
    const Vec3 n = vmath::Cross(b - a, c - a);
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ax > ay && ax > az)
        return 0;
    if (ay > ax && ay > az)
        return 1;
    return 2;
}

void Project(Vec3 p, int32_t axis, float& u, float& v)
{
    if (axis == 0) {
        u = p.y;
        v = p.z;
    } else if (axis == 1) {
        u = p.x;
        v = p.z;
    } else {
        u = p.x;
        v = p.y;
    }
}

int32_t PatchExtent(float range)
{
    // Coordinates reach 1.5 + range / 150 texels into the patch; a bilinear
    // lookup there reads up to texel floor(1 + range / 150) + 1. The small
    // bias covers rounding in the engine's float arithmetic.
    return int32_t(std::floor(1.0f + range / kUnitsPerTexel + 0.01f)) + 2;
}

}  // namespace

AtlasPatch PatchShape(Vec3 a, Vec3 b, Vec3 c)
{
    AtlasPatch p;
    p.axis = DroppedAxis(a, b, c);
    float u[3], v[3];
    Project(a, p.axis, u[0], v[0]);
    Project(b, p.axis, u[1], v[1]);
    Project(c, p.axis, u[2], v[2]);
    p.w = PatchExtent(std::max({u[0], u[1], u[2]}) - std::min({u[0], u[1], u[2]}));
    p.h = PatchExtent(std::max({v[0], v[1], v[2]}) - std::min({v[0], v[1], v[2]}));
    return p;
}

bool PackAtlas(const CanyonMesh& mesh, std::vector<AtlasPatch>& patches)
{
    patches.resize(mesh.faces.size());
    for (size_t i = 0; i < mesh.faces.size(); ++i) {
        const MeshFace& f = mesh.faces[i];
        patches[i] = PatchShape(mesh.positions[size_t(f.a)], mesh.positions[size_t(f.b)], mesh.positions[size_t(f.c)]);
    }
    std::vector<uint32_t> order(patches.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if (patches[a].h != patches[b].h)
            return patches[a].h > patches[b].h;
        if (patches[a].w != patches[b].w)
            return patches[a].w > patches[b].w;
        return a < b;
    });
    int32_t x = 0, y = 0, shelf = 0;
    for (uint32_t i : order) {
        AtlasPatch& p = patches[i];
        if (x + p.w > kAtlasSize) {
            y += shelf;
            x = 0;
            shelf = 0;
        }
        if (p.w > kAtlasSize || y + p.h > kAtlasSize)
            return false;
        p.x = x;
        p.y = y;
        x += p.w;
        shelf = std::max(shelf, p.h);
    }
    return true;
}

bool PatchesValid(const std::vector<AtlasPatch>& patches)
{
    // Every texel may belong to at most one patch.
    std::vector<uint8_t> used(size_t(kAtlasSize) * kAtlasSize, 0);
    for (const AtlasPatch& p : patches) {
        if (p.x < 0 || p.y < 0 || p.w <= 0 || p.h <= 0 || p.x + p.w > kAtlasSize || p.y + p.h > kAtlasSize)
            return false;
        for (int32_t j = p.y; j < p.y + p.h; ++j)
            for (int32_t i = p.x; i < p.x + p.w; ++i) {
                uint8_t& u = used[size_t(j) * kAtlasSize + size_t(i)];
                if (u)
                    return false;
                u = 1;
            }
    }
    return true;
}

namespace {

constexpr int kSkyRays = 32;

// Cosine-weighted share of open sky over the hemisphere around each vertex
// normal. Computed per vertex and interpolated across faces, so the sky
// light is continuous from face to face instead of a mosaic of patches.
std::vector<float> VertexSkyLight(const CanyonMesh& mesh, const MeshQuery& query)
{
    // Directions spread evenly over the upper hemisphere (golden angle).
    std::vector<Vec3> local;
    for (int k = 0; k < kSkyRays; ++k) {
        const float z = 1.0f - (float(k) + 0.5f) / float(kSkyRays);
        const float r = std::sqrt(1 - z * z);
        const float a = 2.39996323f * float(k);
        local.push_back({r * std::cos(a), r * std::sin(a), z});
    }
    std::vector<float> sky(mesh.positions.size(), 1.0f);
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
        const Vec3 n = mesh.normals[v];
        const Vec3 t = vmath::NormalizeOrKeep(std::fabs(n.z) < 0.9f ? vmath::Cross({0, 0, 1}, n)
                                                                    : vmath::Cross({1, 0, 0}, n));
        const Vec3 b = vmath::Cross(n, t);
        float open = 0, total = 0;
        for (const Vec3& l : local) {
            const Vec3 dir = t * l.x + b * l.y + n * l.z;
            total += l.z;
            if (!query.Occluded(mesh.positions[v] + n * 6.0f, dir, 0.5f, 6000.0f))
                open += l.z;
        }
        sky[v] = open / total;
    }
    return sky;
}

}  // namespace

Image BakeShadowAtlas(const CanyonMesh& mesh, const MeshQuery& query, const std::vector<AtlasPatch>& patches)
{
    Image atlas(kAtlasSize, kAtlasSize, 1);
    const Vec3 sun = SunDirection();
    float minZ = 1e30f, maxZ = -1e30f;
    for (const Vec3& p : mesh.positions) {
        minZ = std::min(minZ, p.z);
        maxZ = std::max(maxZ, p.z);
    }
    // Sub-texel sample offsets: four rays per texel soften the shadow edges
    // that a single 150-unit texel would otherwise stair-step.
    const float offsets[4][2] = {{-0.25f, -0.25f}, {0.25f, -0.25f}, {-0.25f, 0.25f}, {0.25f, 0.25f}};
    const std::vector<float> vertexSky = VertexSkyLight(mesh, query);
    for (size_t fi = 0; fi < mesh.faces.size(); ++fi) {
        const MeshFace& f = mesh.faces[fi];
        const AtlasPatch& patch = patches[fi];
        const Vec3 A = mesh.positions[size_t(f.a)], B = mesh.positions[size_t(f.b)], C = mesh.positions[size_t(f.c)];
        const Vec3 nA = mesh.normals[size_t(f.a)], nB = mesh.normals[size_t(f.b)], nC = mesh.normals[size_t(f.c)];
        const float skyA = vertexSky[size_t(f.a)], skyB = vertexSky[size_t(f.b)], skyC = vertexSky[size_t(f.c)];
        Vec3 faceN = vmath::Cross(B - A, C - A);
        faceN = faceN * (1.0f / std::max(1e-6f, vmath::Length(faceN)));
        float pa, qa, pb, qb, pc, qc;
        Project(A, patch.axis, pa, qa);
        Project(B, patch.axis, pb, qb);
        Project(C, patch.axis, pc, qc);
        const float pmin = std::min({pa, pb, pc}), qmin = std::min({qa, qb, qc});
        // Triangle in the projection plane, for barycentric coordinates.
        const Vec3 a2{pa, qa, 0}, b2{pb, qb, 0}, c2{pc, qc, 0};
        const float area = (pb - pa) * (qc - qa) - (pc - pa) * (qb - qa);
        // A point of the projection plane moved onto the triangle (nearest
        // point) and lifted back into 3D, with its interpolated normal.
        auto LiftToFace = [&](float p, float q, Vec3& point, Vec3& n, Vec3& weights) {
            const Vec3 onTri = ClosestPointOnTriangle({p, q, 0}, a2, b2, c2);
            float w1 = 0, w2 = 0;
            if (std::fabs(area) > 1e-6f) {
                w1 = ((onTri.x - pa) * (qc - qa) - (pc - pa) * (onTri.y - qa)) / area;
                w2 = ((pb - pa) * (onTri.y - qa) - (onTri.x - pa) * (qb - qa)) / area;
            }
            const float w0 = 1 - w1 - w2;
            point = A * w0 + B * w1 + C * w2;
            n = vmath::NormalizeOrKeep(nA * w0 + nB * w1 + nC * w2);
            weights = {w0, w1, w2};
        };
        // Walls keep half of their face normal for the sun, so rock faces
        // read as facets; floors and ledges shade smoothly.
        const float facetShare = faceN.z < 0.8f ? 1.0f : 0.0f;
        for (int32_t j = 0; j < patch.h; ++j)
            for (int32_t i = 0; i < patch.w; ++i) {
                float light = 0, sky = 0;
                Vec3 centre{0, 0, 0};
                for (const auto& off : offsets) {
                    Vec3 point, n, w;
                    LiftToFace(pmin + (float(i) + 0.5f + off[0] - 1.5f) * kUnitsPerTexel,
                               qmin + (float(j) + 0.5f + off[1] - 1.5f) * kUnitsPerTexel, point, n, w);
                    centre = centre + point * 0.25f;
                    sky += 0.25f * (w.x * skyA + w.y * skyB + w.z * skyC);
                    const Vec3 shadeN = vmath::NormalizeOrKeep(n + faceN * facetShare);
                    const float facing = vmath::Dot(shadeN, sun);
                    if (facing > 0 && vmath::Dot(faceN, sun) > -0.2f) {
                        const Vec3 origin = point + faceN * 3.0f;
                        if (!query.Occluded(origin, sun, 0.5f, 60000.0f))
                            light += facing;
                    }
                }
                light *= 0.25f;
                const float height = (centre.z - minZ) / std::max(1.0f, maxZ - minZ);
                // Large, soft changes of tone across the rock, as weathering
                // and desert varnish would leave them.
                const float albedo = 0.92f + 0.10f * Fbm(centre.x / 3500.0f, centre.y / 3500.0f, 0, 3, 0.5f, 71) +
                                     0.05f * Fbm(centre.z / 300.0f, (centre.x + centre.y) / 2500.0f, 0, 2, 0.5f, 72);
                float tone = albedo;
                if (facetShare == 0.0f && centre.z < 700.0f) {
                    // The floor: pale drifts of wind-blown sand and darker
                    // gravel between them, so it is not one flat tone.
                    const float drift = Fbm(centre.x / 1100.0f, centre.y / 700.0f, 0, 3, 0.5f, 73);
                    const float gravel = Fbm(centre.x / 320.0f, centre.y / 320.0f, 0, 2, 0.5f, 74);
                    tone *= 0.95f + 0.16f * std::clamp(drift * 2.0f, -1.0f, 1.0f) + 0.06f * gravel;
                }
                const float value = tone * (0.26f + 0.30f * sky + 0.06f * height + 0.60f * light);
                atlas.At(patch.x + i, patch.y + j)[0] = uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
            }
    }
    return atlas;
}

}  // namespace bake
