// The frame measurement: synthetic depth buffers with known geometry.
#include <gtest/gtest.h>

#include <cmath>

#include "render/measure.h"
#include "render/render_math.h"

namespace {

// Window depth of a point at view depth d (the engine's projection, in the
// depth band of opaque geometry).
float WindowDepth(float d)
{
    const float n = 5.0f, f = 35000.0f;
    return render::kOpaqueMaxZ * f * (d - n) / ((f - n) * d);
}

// A level camera at height h over the plane z = 0: each row below the
// horizon meets the plane at view depth h / (row's slope); rows above it
// see sky.
VantorDepthImage LevelView(unsigned w, unsigned hPixels, float height, float wallDepth = 0)
{
    VantorDepthImage img;
    img.width = w;
    img.height = hPixels;
    for (unsigned y = 0; y < hPixels; ++y) {
        const float ny = 1.0f - 2.0f * (static_cast<float>(y) + 0.5f) / static_cast<float>(hPixels);
        for (unsigned x = 0; x < w; ++x) {
            float z = ny < 0 ? WindowDepth(height / -ny) : 1.0f;
            if (wallDepth > 0 && (ny >= 0 || height / -ny > wallDepth))
                z = WindowDepth(wallDepth);
            img.depth.push_back(z);
        }
    }
    return img;
}

camera::CameraPose LookAlongY(float height) { return {{0, 0, height}, {0, 100, height}, {0, 0, 1}}; }

TEST(FrameMeasure, DepthRoundTripsThroughTheProjection)
{
    for (float d : {5.0f, 100.0f, 9000.0f, 30000.0f}) {
        EXPECT_NEAR(measure::ViewDepth(WindowDepth(d)), d, d * 1e-3f);
        EXPECT_NEAR(measure::ClipDepth(WindowDepth(d)), 35000.0f * (d - 5) / 34995.0f, d * 1e-3f);
    }
}

TEST(FrameMeasure, SplitsFloorSkyAndDistance)
{
    const measure::Rules rules;
    // Level at height 300: the lower half is floor, the upper half sky, and
    // the floor beyond 9,000 units is only the rows within 300 / 9000 of the
    // horizon.
    const measure::FrameStats open = measure::AnalyseFrame(LevelView(160, 120, 300), LookAlongY(300), {}, rules);
    EXPECT_NEAR(open.floorShare, 0.5, 0.03);
    EXPECT_NEAR(open.skyShare, 0.5, 0.01);
    EXPECT_NEAR(open.deepShare, 0.5 * 300 / 9000, 0.01);
    // A wall 12,000 units ahead fills everything the floor does not reach:
    // rock beyond the fog start, not floor.
    const measure::FrameStats walled =
        measure::AnalyseFrame(LevelView(160, 120, 300, 12000), LookAlongY(300), {}, rules);
    EXPECT_EQ(walled.skyShare, 0.0);
    EXPECT_GT(walled.deepShare, 0.5);
    EXPECT_NEAR(walled.floorShare, open.floorShare - open.deepShare, 0.03);
    // Seen from above the floor's height limit, the same plane is no floor.
    const measure::FrameStats high = measure::AnalyseFrame(LevelView(160, 120, 300), LookAlongY(300), {},
                                                           measure::Rules{.floorTopZ = -10.0f});
    EXPECT_EQ(high.floorShare, 0.0);
}

TEST(FrameMeasure, FlockMembersCountOnlyWhenInViewAndUnhidden)
{
    measure::Rules rules;
    rules.basinRadius = 1000;
    const camera::CameraPose pose = LookAlongY(300);
    // Open view: a member ahead outside the basin, one inside it, one
    // behind the camera, one beyond the distance limit.
    const std::vector<vmath::Vec3> flock = {{0, 3000, 500}, {0, 800, 400}, {0, -2000, 400}, {0, 20000, 400}};
    const measure::FrameStats open = measure::AnalyseFrame(LevelView(160, 120, 300), pose, flock, rules);
    EXPECT_EQ(open.flockSeen, 2);
    EXPECT_EQ(open.flockSeenOutsideBasin, 1);
    // A wall 1,500 units ahead hides the far member but not the near one.
    const measure::FrameStats walled = measure::AnalyseFrame(LevelView(160, 120, 300, 1500), pose, flock, rules);
    EXPECT_EQ(walled.flockSeen, 1);
    EXPECT_EQ(walled.flockSeenOutsideBasin, 0);
}

TEST(FrameMeasure, RefusesMismatchedBuffers)
{
    VantorDepthImage img = LevelView(16, 12, 300);
    img.depth.pop_back();
    const measure::FrameStats s = measure::AnalyseFrame(img, LookAlongY(300), {{0, 3000, 500}}, measure::Rules{});
    EXPECT_EQ(s.floorShare, 0.0);
    EXPECT_EQ(s.flockSeen, 0);
}

}  // namespace
