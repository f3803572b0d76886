// The canyon: a figure-of-eight gorge carved into a plateau, with a basin
// and buttes where its two arms cross, side gullies, terraced walls, and the
// triangle mesh of that terrain (an adaptive, crack-free quadtree over a
// 160-unit grid), textured by slope and height.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/anim_math.h"

namespace bake {

struct Vec2 {
    double x = 0, y = 0;
};

// The centre line that the canyon follows and the flight paths ride.
struct CanyonLine {
    std::vector<Vec2> points;       // closed loop, evenly spaced in its parameter
    std::vector<double> halfWidth;  // floor half-width at each point
    std::vector<double> floorZ;     // floor height at each point
    std::vector<double> arc;        // arc length from point 0
    double length = 0;
};

struct Butte {
    Vec2 centre;
    double radius = 0;
    double height = 0;
};

struct CanyonLayout {
    CanyonLine line;
    std::vector<CanyonLine> gullies;  // open lines, mouth first
    Vec2 basinCentre;
    double basinRadius = 0;
    std::vector<Butte> buttes;
    double plateauZ = 0;
};

CanyonLayout MakeCanyonLayout();

// Terrain height at (x, y).
double CanyonHeight(const CanyonLayout& layout, double x, double y);

enum CanyonShader : int32_t { kShaderRock = 0, kShaderStrata = 1, kShaderGround = 2 };

struct MeshFace {
    int32_t a = 0, b = 0, c = 0;
    int32_t shader = 0;
};

struct CanyonMesh {
    std::vector<vmath::Vec3> positions;  // integral values
    std::vector<vmath::Vec3> normals;
    std::vector<float> u, v;             // as written in the file
    std::vector<MeshFace> faces;         // counter-clockwise seen from outside the rock
};

// Grid spacing of the finest cells and the extent of the terrain.
constexpr int32_t kCanyonGridCells = 256;
constexpr double kCanyonCellSize = 160.0;
constexpr double kCanyonHalfExtent = kCanyonGridCells * kCanyonCellSize / 2;  // 20480

CanyonMesh MakeCanyonMesh(const CanyonLayout& layout);

// The "models/canyon.smd" text: shaders, shadows, faces, shadowfaces and
// vertices sections. `patches` holds one atlas origin per face.
std::string WriteCanyonText(const CanyonMesh& mesh, const std::vector<std::pair<int32_t, int32_t>>& patches);

}  // namespace bake
