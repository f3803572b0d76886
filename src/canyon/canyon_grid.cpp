// The canyon's ray query grid.
#include "canyon/canyon_grid.h"

#include <algorithm>
#include <cmath>

#include "canyon/canyon.h"

using vmath::Vec3;

namespace {

constexpr int32_t N = CanyonGrid::kCells;

// Truncation toward zero as a C cast does it, but defined for every float:
// values far outside the grid saturate and NaN lands outside it as -1.
int32_t TruncCell(float f)
{
    if (!(f == f))
        return -1;
    if (f < -1e6f)
        return -1000000;
    if (f > 1e6f)
        return 1000000;
    return static_cast<int32_t>(f);
}

}  // namespace

bool RayHitsTriangle(Vec3 o, Vec3 d, Vec3 a, Vec3 e1, Vec3 e2)
{
    const Vec3 p = vmath::Cross(d, e2);
    const float det = vmath::Dot(e1, p);
    if (!(det >= 0.01f))
        return false;
    const Vec3 s = o - a;
    const float u = vmath::Dot(s, p) / det;
    if (u < 0 || u > 1)
        return false;
    const Vec3 q = vmath::Cross(s, e1);
    const float v = vmath::Dot(d, q) / det;
    if (v < 0 || u + v > 1)
        return false;
    const float t = vmath::Dot(e2, q) / det;
    return t >= 0.01f;
}

bool CanyonGrid::Build(std::span<const CanyonFace> faces, std::span<const CanyonVertex> vertices)
{
    m_minX = m_minY = m_maxX = m_maxY = 0;
    if (!vertices.empty()) {
        m_minX = m_maxX = vertices[0].position.x;
        m_minY = m_maxY = vertices[0].position.y;
        for (const CanyonVertex& v : vertices) {
            m_minX = std::min(m_minX, v.position.x);
            m_maxX = std::max(m_maxX, v.position.x);
            m_minY = std::min(m_minY, v.position.y);
            m_maxY = std::max(m_maxY, v.position.y);
        }
    }
    // A canyon without extent along an axis (all vertices on one line) would
    // divide by zero; one unit stands in for the missing width.
    m_width = m_maxX - m_minX;
    m_height = m_maxY - m_minY;
    if (!(m_width > 0))
        m_width = 1;
    if (!(m_height > 0))
        m_height = 1;

    m_stamps.assign(faces.size(), 0);
    m_counter = 0;
    m_triangles.resize(faces.size());

    struct Range {
        int32_t i0, i1, j0, j1;
    };
    std::vector<Range> ranges(faces.size());
    std::vector<uint32_t> counts(size_t(N) * N, 0);
    uint64_t total = 0;
    for (size_t f = 0; f < faces.size(); ++f) {
        const Vec3 a = vertices[size_t(faces[f].a)].position;
        const Vec3 b = vertices[size_t(faces[f].b)].position;
        const Vec3 c = vertices[size_t(faces[f].c)].position;
        m_triangles[f] = {a, b - a, c - a};
        const float fminX = std::min({a.x, b.x, c.x}), fmaxX = std::max({a.x, b.x, c.x});
        const float fminY = std::min({a.y, b.y, c.y}), fmaxY = std::max({a.y, b.y, c.y});
        // The "+ 1" widens every face by one cell towards +x and +y.
        Range r;
        r.i0 = std::max(TruncCell((fminX - m_minX) * N / m_width), 0);
        r.i1 = std::min(TruncCell((fmaxX - m_minX) * N / m_width + 1), N - 1);
        r.j0 = std::max(TruncCell((fminY - m_minY) * N / m_height), 0);
        r.j1 = std::min(TruncCell((fmaxY - m_minY) * N / m_height + 1), N - 1);
        ranges[f] = r;
        if (r.i0 <= r.i1 && r.j0 <= r.j1)
            total += uint64_t(r.i1 - r.i0 + 1) * uint64_t(r.j1 - r.j0 + 1);
    }
    if (total > kMaxCellEntries) {
        m_cellStart.assign(size_t(N) * N + 1, 0);
        m_cellFaces.clear();
        m_triangles.clear();
        m_stamps.clear();
        return false;
    }
    for (const Range& r : ranges) {
        for (int32_t j = r.j0; j <= r.j1; ++j)
            for (int32_t i = r.i0; i <= r.i1; ++i)
                ++counts[size_t(j) * N + size_t(i)];
    }
    m_cellStart.assign(size_t(N) * N + 1, 0);
    for (size_t cell = 0; cell < counts.size(); ++cell)
        m_cellStart[cell + 1] = m_cellStart[cell] + counts[cell];
    m_cellFaces.assign(m_cellStart.back(), 0);
    std::vector<uint32_t> fill(m_cellStart.begin(), m_cellStart.end() - 1);
    for (size_t f = 0; f < faces.size(); ++f) {
        const Range& r = ranges[f];
        for (int32_t j = r.j0; j <= r.j1; ++j)
            for (int32_t i = r.i0; i <= r.i1; ++i)
                m_cellFaces[fill[size_t(j) * N + size_t(i)]++] = static_cast<uint32_t>(f);
    }
    return true;
}

std::span<const uint32_t> CanyonGrid::CellFaces(int32_t i, int32_t j) const
{
    if (i < 0 || i >= N || j < 0 || j >= N || m_cellStart.empty())
        return {};
    const size_t cell = size_t(j) * N + size_t(i);
    return {m_cellFaces.data() + m_cellStart[cell], m_cellStart[cell + 1] - m_cellStart[cell]};
}

bool CanyonGrid::TestCell(int32_t column, int32_t row, Vec3 o, Vec3 d)
{
    if (column < 0 || column >= N || row < 0 || row >= N)
        return false;
    for (uint32_t f : CellFaces(column, row)) {
        // A face spanning several cells is tested once per query.
        if (m_stamps[f] == m_counter)
            continue;
        m_stamps[f] = m_counter;
        const Triangle& t = m_triangles[f];
        if (RayHitsTriangle(o, d, t.a, t.e1, t.e2))
            return true;
    }
    return false;
}

bool CanyonGrid::IntersectRay(Vec3 o, Vec3 d)
{
    if (m_cellStart.empty())
        return false;
    // Stamps are only cleared when the counter starts over, never between
    // queries: each query's new counter value marks its tested faces.
    if (m_counter == 0)
        std::fill(m_stamps.begin(), m_stamps.end(), 0);
    ++m_counter;
    // When the counter wraps to 0 it would match every stamp still at 0 and
    // skip those faces; start over at 1 with cleared stamps instead.
    if (m_counter == 0) {
        std::fill(m_stamps.begin(), m_stamps.end(), 0);
        m_counter = 1;
    }

    const int32_t ci = TruncCell((o.x - m_minX) * N / m_width);
    const int32_t cj = TruncCell((o.y - m_minY) * N / m_height);
    if (ci < 0 || ci >= N || cj < 0 || cj >= N)
        return false;

    // Each cell is visited where the ray leaves it through a grid line.
    if (d.x != 0) {
        const int32_t from = d.x > 0 ? ci + 1 : 0;
        const int32_t to = d.x > 0 ? N : ci;
        for (int32_t line = from; line <= to; ++line) {
            const float x = m_minX + m_width * static_cast<float>(line) / N;
            const float t = (x - o.x) / d.x;
            if (!(t > 0))
                continue;
            const float y = o.y + t * d.y;
            const int32_t row = TruncCell((y - m_minY) * N / m_height);
            const int32_t column = d.x > 0 ? line - 1 : line;
            if (TestCell(column, row, o, d))
                return true;
        }
    }
    if (d.y == 0)
        return false;
    const int32_t from = d.y > 0 ? cj + 1 : 0;
    const int32_t to = d.y > 0 ? N : cj;
    for (int32_t line = from; line <= to; ++line) {
        const float y = m_minY + m_height * static_cast<float>(line) / N;
        const float t = (y - o.y) / d.y;
        if (!(t > 0))
            continue;
        const float x = o.x + t * d.x;
        const int32_t column = TruncCell((x - m_minX) * N / m_width);
        const int32_t row = d.y > 0 ? line - 1 : line;
        if (TestCell(column, row, o, d))
            return true;
    }
    return false;
}
