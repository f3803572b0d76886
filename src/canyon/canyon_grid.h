// CanyonGrid: a 50 x 50 grid over the canyon's ground plane (x, y) listing
// the faces over each cell, and the one query it answers: does a ray from a
// point meet the canyon from the front? The lens flares ask it every
// sub-frame.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/anim_math.h"

struct CanyonFace;
struct CanyonVertex;

class CanyonGrid {
public:
    static constexpr int32_t kCells = 50;

    // Most face entries all cells together may hold: about 64 times the
    // shipped canyon's faces spanning every cell, so only a hostile file
    // (many faces each covering the whole canyon) reaches it.
    static constexpr uint64_t kMaxCellEntries = uint64_t(1) << 26;

    // Fills the cells from the face and vertex tables (indices already
    // checked) and resets the stamps and the query counter. False, with an
    // empty grid, when the cells would exceed kMaxCellEntries.
    bool Build(std::span<const CanyonFace> faces, std::span<const CanyonVertex> vertices);

    // True if origin + t * direction meets a face from its front side with
    // t >= 0.01. The first hit found ends the query.
    bool IntersectRay(vmath::Vec3 origin, vmath::Vec3 direction);

    float MinX() const { return m_minX; }
    float MinY() const { return m_minY; }
    float MaxX() const { return m_maxX; }
    float MaxY() const { return m_maxY; }
    // Face indices listed in cell (i, j), i along x, j along y, file order.
    std::span<const uint32_t> CellFaces(int32_t i, int32_t j) const;
    uint32_t QueryCounter() const { return m_counter; }
    // Test hook: sets the counter so its wrap-around can be exercised.
    void SetQueryCounter(uint32_t value) { m_counter = value; }

private:
    // One face's corner a and its two edges, copied out of the tables so the
    // hot loop of the query reads one compact record per face.
    struct Triangle {
        vmath::Vec3 a, e1, e2;
    };

    bool TestCell(int32_t column, int32_t row, vmath::Vec3 o, vmath::Vec3 d);

    float m_minX = 0, m_minY = 0, m_maxX = 0, m_maxY = 0;
    float m_width = 1, m_height = 1;
    std::vector<uint32_t> m_cellStart;  // kCells^2 + 1 offsets into m_cellFaces
    std::vector<uint32_t> m_cellFaces;
    std::vector<Triangle> m_triangles;
    std::vector<uint32_t> m_stamps;
    uint32_t m_counter = 0;
};

// Moller-Trumbore, one-sided: hits from behind, nearly parallel rays and hits
// closer than t = 0.01 do not count.
bool RayHitsTriangle(vmath::Vec3 o, vmath::Vec3 d, vmath::Vec3 a, vmath::Vec3 e1, vmath::Vec3 e2);
