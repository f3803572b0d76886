// Grid-accelerated ray and distance queries for the baker's checks and the
// shadow atlas.
#include "bake/mesh_query.h"

#include <algorithm>
#include <cmath>

namespace bake {

using vmath::Vec3;

MeshQuery::MeshQuery(std::span<const Vec3> positions, std::span<const MeshFace> faces, double cellSize)
    : m_cellSize(cellSize)
{
    double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
    m_maxZ = -1e30f;
    for (const Vec3& p : positions) {
        minX = std::min(minX, double(p.x));
        minY = std::min(minY, double(p.y));
        maxX = std::max(maxX, double(p.x));
        maxY = std::max(maxY, double(p.y));
        m_maxZ = std::max(m_maxZ, p.z);
    }
    m_minX = minX;
    m_minY = minY;
    m_cells = std::max(1, int32_t(std::ceil(std::max(maxX - minX, maxY - minY) / cellSize)) + 1);
    m_tris.reserve(faces.size());
    std::vector<std::vector<uint32_t>> bins(size_t(m_cells) * m_cells);
    m_cellMaxZ.assign(bins.size(), -1e30f);
    for (const MeshFace& f : faces) {
        const Tri t{positions[size_t(f.a)], positions[size_t(f.b)], positions[size_t(f.c)]};
        const uint32_t index = uint32_t(m_tris.size());
        m_tris.push_back(t);
        const float lo[2] = {std::min({t.a.x, t.b.x, t.c.x}), std::min({t.a.y, t.b.y, t.c.y})};
        const float hi[2] = {std::max({t.a.x, t.b.x, t.c.x}), std::max({t.a.y, t.b.y, t.c.y})};
        const float topZ = std::max({t.a.z, t.b.z, t.c.z});
        const int32_t i0 = std::clamp(int32_t((lo[0] - m_minX) / cellSize), 0, m_cells - 1);
        const int32_t i1 = std::clamp(int32_t((hi[0] - m_minX) / cellSize), 0, m_cells - 1);
        const int32_t j0 = std::clamp(int32_t((lo[1] - m_minY) / cellSize), 0, m_cells - 1);
        const int32_t j1 = std::clamp(int32_t((hi[1] - m_minY) / cellSize), 0, m_cells - 1);
        for (int32_t j = j0; j <= j1; ++j)
            for (int32_t i = i0; i <= i1; ++i) {
                bins[size_t(CellIndex(i, j))].push_back(index);
                float& z = m_cellMaxZ[size_t(CellIndex(i, j))];
                z = std::max(z, topZ);
            }
    }
    m_start.assign(bins.size() + 1, 0);
    for (size_t c = 0; c < bins.size(); ++c) {
        m_start[c + 1] = m_start[c] + uint32_t(bins[c].size());
        m_items.insert(m_items.end(), bins[c].begin(), bins[c].end());
    }
}

namespace {

// Two-sided Moller-Trumbore.
bool RayTriangle(Vec3 o, Vec3 d, Vec3 a, Vec3 b, Vec3 c, float minT, float maxT)
{
    const Vec3 e1 = b - a, e2 = c - a;
    const Vec3 p = vmath::Cross(d, e2);
    const float det = vmath::Dot(e1, p);
    if (std::fabs(det) < 1e-9f)
        return false;
    const float inv = 1.0f / det;
    const Vec3 s = o - a;
    const float u = vmath::Dot(s, p) * inv;
    if (u < 0 || u > 1)
        return false;
    const Vec3 q = vmath::Cross(s, e1);
    const float v = vmath::Dot(d, q) * inv;
    if (v < 0 || u + v > 1)
        return false;
    const float t = vmath::Dot(e2, q) * inv;
    return t > minT && t <= maxT;
}

}  // namespace

bool MeshQuery::CellHit(int32_t i, int32_t j, Vec3 o, Vec3 d, float minT, float maxT) const
{
    const size_t c = size_t(CellIndex(i, j));
    for (uint32_t k = m_start[c]; k < m_start[c + 1]; ++k) {
        const Tri& t = m_tris[m_items[k]];
        if (RayTriangle(o, d, t.a, t.b, t.c, minT, maxT))
            return true;
    }
    return false;
}

bool MeshQuery::Occluded(Vec3 o, Vec3 d, float minT, float maxT) const
{
    // Walk the cells under the ray in order (2D DDA), stopping once the ray
    // has climbed above everything in the mesh.
    const double cs = m_cellSize;
    double px = (double(o.x) - m_minX) / cs, py = (double(o.y) - m_minY) / cs;
    int32_t i = int32_t(std::floor(px)), j = int32_t(std::floor(py));
    const int32_t stepI = d.x > 0 ? 1 : -1, stepJ = d.y > 0 ? 1 : -1;
    const double dx = double(d.x) / cs, dy = double(d.y) / cs;
    const double tDeltaX = dx != 0 ? std::fabs(1.0 / dx) : 1e30;
    const double tDeltaY = dy != 0 ? std::fabs(1.0 / dy) : 1e30;
    double tMaxX = dx != 0 ? ((stepI > 0 ? std::floor(px) + 1 - px : px - std::floor(px)) / std::fabs(dx)) : 1e30;
    double tMaxY = dy != 0 ? ((stepJ > 0 ? std::floor(py) + 1 - py : py - std::floor(py)) / std::fabs(dy)) : 1e30;
    double tEnter = 0;
    for (int guard = 0; guard < 4 * m_cells + 8; ++guard) {
        const bool inside = i >= 0 && j >= 0 && i < m_cells && j < m_cells;
        // Outside the grid: give up once the ray can no longer come back in.
        if (!inside && ((i < 0 && stepI < 0) || (j < 0 && stepJ < 0) || (i >= m_cells && stepI > 0) ||
                        (j >= m_cells && stepJ > 0)))
            return false;
        const double tExit = std::min({tMaxX, tMaxY, double(maxT)});
        const double zLow = std::min(double(o.z) + double(d.z) * tEnter, double(o.z) + double(d.z) * tExit);
        if (inside && zLow <= m_cellMaxZ[size_t(CellIndex(i, j))] && CellHit(i, j, o, d, minT, maxT))
            return true;
        if (tExit >= double(maxT))
            return false;
        if (d.z > 0 && double(o.z) + double(d.z) * tExit > double(m_maxZ))
            return false;
        tEnter = tExit;
        if (tMaxX < tMaxY) {
            i += stepI;
            tMaxX += tDeltaX;
        } else {
            j += stepJ;
            tMaxY += tDeltaY;
        }
    }
    return false;
}

Vec3 ClosestPointOnTriangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c)
{
    // Ericson, Real-Time Collision Detection, 5.1.5.
    const Vec3 ab = b - a, ac = c - a, ap = p - a;
    const float d1 = vmath::Dot(ab, ap), d2 = vmath::Dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    const Vec3 bp = p - b;
    const float d3 = vmath::Dot(ab, bp), d4 = vmath::Dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    const Vec3 cp = p - c;
    const float d5 = vmath::Dot(ab, cp), d6 = vmath::Dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    const float denom = 1.0f / (va + vb + vc);
    const float v = vb * denom, w = vc * denom;
    return a + ab * v + ac * w;
}

float MeshQuery::Distance(Vec3 p, float radius) const
{
    float best = radius;
    const int32_t i0 = std::max(0, int32_t(std::floor((double(p.x) - radius - m_minX) / m_cellSize)));
    const int32_t i1 = std::min(m_cells - 1, int32_t(std::floor((double(p.x) + radius - m_minX) / m_cellSize)));
    const int32_t j0 = std::max(0, int32_t(std::floor((double(p.y) - radius - m_minY) / m_cellSize)));
    const int32_t j1 = std::min(m_cells - 1, int32_t(std::floor((double(p.y) + radius - m_minY) / m_cellSize)));
    for (int32_t j = j0; j <= j1; ++j)
        for (int32_t i = i0; i <= i1; ++i) {
            const size_t c = size_t(CellIndex(i, j));
            for (uint32_t k = m_start[c]; k < m_start[c + 1]; ++k) {
                const Tri& t = m_tris[m_items[k]];
                const Vec3 q = ClosestPointOnTriangle(p, t.a, t.b, t.c);
                best = std::min(best, vmath::Length(q - p));
            }
        }
    return best;
}

}  // namespace bake
