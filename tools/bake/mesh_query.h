// Spatial queries over a triangle mesh: does a ray reach the sky, and how
// far is a point from the nearest face. Faces are binned in a 2D grid over
// the ground plane (the canyon is a height field, so columns are short).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "bake/canyon_gen.h"

namespace bake {

class MeshQuery {
public:
    MeshQuery(std::span<const vmath::Vec3> positions, std::span<const MeshFace> faces, double cellSize);

    // True when the ray from origin along dir (need not be unit length)
    // meets any face, from either side, within t in (minT, maxT].
    bool Occluded(vmath::Vec3 origin, vmath::Vec3 dir, float minT, float maxT) const;

    // Distance from p to the nearest face, searching up to `radius`; returns
    // `radius` when nothing is closer.
    float Distance(vmath::Vec3 p, float radius) const;

    float MaxZ() const { return m_maxZ; }

private:
    struct Tri {
        vmath::Vec3 a, b, c;
    };
    int32_t CellIndex(int32_t i, int32_t j) const { return j * m_cells + i; }
    bool CellHit(int32_t i, int32_t j, vmath::Vec3 o, vmath::Vec3 d, float minT, float maxT) const;

    std::vector<Tri> m_tris;
    std::vector<uint32_t> m_start;  // m_cells^2 + 1 offsets
    std::vector<uint32_t> m_items;
    std::vector<float> m_cellMaxZ;
    int32_t m_cells = 0;
    double m_cellSize = 0, m_minX = 0, m_minY = 0;
    float m_maxZ = 0;
};

vmath::Vec3 ClosestPointOnTriangle(vmath::Vec3 p, vmath::Vec3 a, vmath::Vec3 b, vmath::Vec3 c);

}  // namespace bake
