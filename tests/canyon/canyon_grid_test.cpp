// The ray query grid: which faces each cell lists, and the one-sided ray
// query with its per-query marks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "canyon/canyon.h"
#include "fake_d3d.h"

using vmath::Vec3;

namespace {

// A 1000 x 1000 ground from (0, 0) to (1000, 1000) at z = 0, spanned by two
// corner markers, plus a ceiling triangle at z = 100 over (400..600,
// 400..600) whose front faces down (so rays going up hit it).
std::string Scene(const char* ceilingShader = "0")
{
    return std::string("shaders { 0 a.jpg 1 #hidden } vertices {\n"
                       "0 0 0 0 0 1 0 0 0\n"
                       "1000 1000 0 0 0 1 0 0 0\n"
                       "400 400 100 0 0 -1 0 0 0\n"
                       "400 600 100 0 0 -1 0 0 0\n"
                       "600 400 100 0 0 -1 0 0 0\n"
                       "}\nfaces {\n2 3 4 ") +
           ceilingShader + "\n}\n";
}

struct GridTest : ::testing::Test {
    void Load(const std::string& text)
    {
        ASSERT_TRUE(canyon.ParseText(text));
        canyon.BuildGrid();
    }
    CCanyon canyon;
};

TEST_F(GridTest, BoundsAndCellsIncludeTheOneCellWidening)
{
    Load(Scene());
    const CanyonGrid& grid = canyon.Grid();
    EXPECT_FLOAT_EQ(grid.MinX(), 0);
    EXPECT_FLOAT_EQ(grid.MaxY(), 1000);
    // x and y from 400 to 600 over 20-unit cells: cells 20 .. 30 + 1.
    for (int32_t i = 0; i < 50; ++i) {
        for (int32_t j = 0; j < 50; ++j) {
            const bool inside = i >= 20 && i <= 31 && j >= 20 && j <= 31;
            EXPECT_EQ(grid.CellFaces(i, j).size(), inside ? 1u : 0u) << i << "," << j;
        }
    }
    EXPECT_TRUE(grid.CellFaces(-1, 0).empty());
    EXPECT_TRUE(grid.CellFaces(0, 50).empty());
}

TEST_F(GridTest, FacesAtTheFarEdgeStayInsideTheGrid)
{
    // Face 0 reaches the far corner and is listed up to cell (49, 49); face
    // 1 lies on the line y = maxY, which starts at row 50, so no cell lists it.
    Load("shaders { 0 a } vertices { 0 0 0 0 0 1 0 0 0 1000 1000 0 0 0 1 0 0 0 990 1000 0 0 0 1 0 0 0 } "
         "faces { 0 1 2 0 1 1 2 0 }");
    ASSERT_EQ(canyon.Grid().CellFaces(49, 49).size(), 1u);
    EXPECT_EQ(canyon.Grid().CellFaces(49, 49)[0], 0u);
    EXPECT_EQ(canyon.Grid().CellFaces(0, 0).size(), 1u);
}

TEST_F(GridTest, DegenerateExtentDoesNotBreakTheGrid)
{
    // Every vertex on the line x = 5: no width to divide by.
    Load("shaders { 0 a } vertices { 5 0 0 0 0 1 0 0 0 5 100 0 0 0 1 0 0 0 5 50 10 0 0 1 0 0 0 } faces { 0 1 2 0 }");
    EXPECT_FALSE(canyon.IntersectRay({5, 10, 5}, {0.3f, 0.2f, 1}));
    EXPECT_FALSE(canyon.IntersectRay({5, 10, 5}, {0, 0, 1}));
}

TEST_F(GridTest, RayFromBelowHitsTheCeiling)
{
    Load(Scene());
    // From (300, 300, 0) towards the ceiling's middle: crosses many cells.
    EXPECT_TRUE(canyon.IntersectRay({300, 300, 0}, {0.5f, 0.5f, 0.5f}));
    // From the other side, with negative x and y steps.
    EXPECT_TRUE(canyon.IntersectRay({580, 560, 0}, {-1, -1, 1}));
    // Along y only (d.x = 0), and along x only (d.y = 0).
    EXPECT_TRUE(canyon.IntersectRay({450, 200, 0}, {0, 1, 0.5f}));
    EXPECT_TRUE(canyon.IntersectRay({200, 450, 0}, {1, 0, 0.5f}));
}

TEST_F(GridTest, MissesOutsideTheTriangleAndAboveIt)
{
    Load(Scene());
    EXPECT_FALSE(canyon.IntersectRay({300, 300, 0}, {-0.5f, -0.5f, 0.5f}));  // away from it
    EXPECT_FALSE(canyon.IntersectRay({300, 300, 0}, {0.5f, 0.5f, 0.05f}));   // passes under it
    EXPECT_FALSE(canyon.IntersectRay({590, 590, 0}, {0.1f, 0.1f, 1}));       // beside the hypotenuse
}

TEST_F(GridTest, OriginOutsideTheGridOrAVerticalRayNeverHits)
{
    Load(Scene());
    // Truncation toward zero makes a point less than one cell before the
    // bounds count as cell 0; further out it is outside.
    EXPECT_FALSE(canyon.IntersectRay({-30, 500, 0}, {1, 0, 0.2f}));
    EXPECT_FALSE(canyon.IntersectRay({500, 1200, 0}, {0, -1, 0.2f}));
    // Straight up under the ceiling, and straight down onto it.
    EXPECT_FALSE(canyon.IntersectRay({450, 450, 0}, {0, 0, 1}));
    EXPECT_FALSE(canyon.IntersectRay({450, 450, 200}, {0, 0, -1}));
    // Directions that are not numbers simply find nothing.
    EXPECT_FALSE(canyon.IntersectRay({450, 450, 0}, {NAN, NAN, 1}));
    EXPECT_FALSE(canyon.IntersectRay({NAN, 450, 0}, {1, 1, 1}));
}

TEST_F(GridTest, BackSidesAndVeryCloseHitsDoNotCount)
{
    Load(Scene());
    // From above, going down: the ceiling's back side.
    EXPECT_FALSE(canyon.IntersectRay({300, 300, 200}, {0.5f, 0.5f, -0.5f}));
    // Starting 0.005 below the ceiling with a unit step: t = 0.005 < 0.01.
    EXPECT_FALSE(canyon.IntersectRay({450, 450, 100 - 0.005f}, {0.001f, 0.001f, 1}));
    // 0.02 below: t = 0.02 counts.
    EXPECT_TRUE(canyon.IntersectRay({450, 450, 100 - 0.02f}, {0.001f, 0.001f, 1}));
}

TEST_F(GridTest, RepeatedQueriesGiveTheSameAnswer)
{
    Load(Scene());
    const uint32_t before = canyon.Grid().QueryCounter();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(canyon.IntersectRay({300, 300, 0}, {0.5f, 0.5f, 0.5f}));
        EXPECT_FALSE(canyon.IntersectRay({300, 300, 0}, {0.5f, 0.5f, 0.05f}));
    }
    EXPECT_EQ(canyon.Grid().QueryCounter(), before + 10);
}

TEST_F(GridTest, CounterWrapDoesNotHideUntestedFaces)
{
    Load(Scene());
    canyon.Grid().SetQueryCounter(UINT32_MAX - 1);
    // A query that meets no cell with faces leaves the ceiling's stamp at 0.
    EXPECT_FALSE(canyon.IntersectRay({100, 100, 0}, {-0.5f, -0.5f, 0.5f}));
    // This query wraps the counter; faces still carrying the stamp 0 from
    // the load must be tested all the same.
    EXPECT_TRUE(canyon.IntersectRay({580, 560, 0}, {-1, -1, 1}));
    EXPECT_TRUE(canyon.IntersectRay({300, 300, 0}, {0.5f, 0.5f, 0.5f}));
}

TEST_F(GridTest, HiddenShaderFacesStillBlockTheRay)
{
    Load(Scene("1"));
    EXPECT_TRUE(canyon.Shaders()[1].skip);
    EXPECT_TRUE(canyon.IntersectRay({300, 300, 0}, {0.5f, 0.5f, 0.5f}));
}

TEST(RayTriangle, OneSidedWithThresholds)
{
    const Vec3 a{0, 0, 0}, e1{0, 1, 0}, e2{1, 0, 0};  // normal -z: front faces down
    EXPECT_TRUE(RayHitsTriangle({0.2f, 0.2f, -1}, {0, 0, 1}, a, e1, e2));
    EXPECT_FALSE(RayHitsTriangle({0.2f, 0.2f, 1}, {0, 0, -1}, a, e1, e2));     // back side
    EXPECT_FALSE(RayHitsTriangle({0.2f, 0.2f, -1}, {0, 0, 0.005f}, a, e1, e2));  // det below 0.01
    EXPECT_FALSE(RayHitsTriangle({0.6f, 0.6f, -1}, {0, 0, 1}, a, e1, e2));     // u + v > 1
    EXPECT_FALSE(RayHitsTriangle({-0.1f, 0.2f, -1}, {0, 0, 1}, a, e1, e2));    // outside an edge
    EXPECT_FALSE(RayHitsTriangle({0.2f, 0.2f, 1}, {0, 0, 1}, a, e1, e2));      // behind the origin
    EXPECT_TRUE(RayHitsTriangle({0, 0, -1}, {0, 0, 1}, a, e1, e2));            // on a corner
}

}  // namespace

namespace {

TEST(GridLimits, FacesCoveringEveryCellTooOftenFailTheLoad)
{
    // Each face spans the whole canyon, so it is listed in all 2,500 cells.
    const uint64_t perFace = 2500;
    const uint64_t faces = CanyonGrid::kMaxCellEntries / perFace + 1;
    std::string text = "shaders { 0 a } vertices { 0 0 0 0 0 1 0 0 0 1000 0 0 0 0 1 0 0 0 0 1000 0 0 0 1 0 0 0 } "
                       "faces {\n";
    for (uint64_t f = 0; f < faces; ++f)
        text += "0 1 2 0\n";
    text += "}";
    fake::Render render;
    CCanyon canyon;
    EXPECT_FALSE(canyon.LoadFromBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, render));
    EXPECT_FALSE(canyon.IntersectRay({10, 10, -5}, {0.1f, 0.1f, 1}));
    EXPECT_TRUE(render.device.vertexBuffers.empty());
}

}  // namespace
