// The camera path: timing, the two camera modes, the listener, the
// projection and the places of the leading pterodactyl and the flock.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/camera_path.h"
#include "model/skeleton.h"
#include "model_test_util.h"

using vmath::Mat4;
using vmath::Vec3;

namespace {

// Tracks with distinct constant positions per frame: ClassicCamera turned
// 90 degrees about z, PteroCamera and Ptero moving along x.
std::string FlightPath(int frames)
{
    std::string s = "bones { 0 ClassicCamera -1 1 Camera -1 2 Ptero -1 3 PteroCamera -1 }\nanimation {\n";
    for (int f = 0; f < frames; ++f) {
        const std::string x = std::to_string(f * 100);
        s += "frame " + std::to_string(f) + " {\n";
        s += "500 600 700 0 0 1.5707963\n";
        s += "0 0 0 0 0 0\n";
        s += x + " 1000 50 0 0 0\n";
        s += x + " 2000 5 0 0 0\n";
        s += "}\n";
    }
    return s + "}\n";
}

TEST(CameraTiming, RateFollowsVelocity)
{
    EXPECT_FLOAT_EQ(camera::PathRate(50), 2.8f);
    EXPECT_FLOAT_EQ(camera::PathRate(0), 0.8f);
    EXPECT_FLOAT_EQ(camera::PathRate(130), 6.0f);
}

TEST(CameraTiming, SubFramesSpreadOverJustUnderOneFrame)
{
    const double T = 10.0, offset = 3.0;
    const float expected[] = {0.0f, 0.00488f, 0.00976f, 0.01463f};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(camera::PathTime(T, offset, 0.02, k, 4) - 13.0f, expected[k], 2e-5f) << k;
    EXPECT_FLOAT_EQ(camera::PathTime(T, offset, 0.02, 0, 1), 13.0f);
}

// A closed circle of radius 1000 in `frames` keys on every track.
std::string CirclePath(int frames)
{
    std::string s = "bones { 0 ClassicCamera -1 1 Ptero -1 }\nanimation {\n";
    for (int f = 0; f < frames; ++f) {
        const double a = 2 * 3.14159265358979 * f / frames;
        const std::string key = std::to_string(1000 * std::cos(a)) + " " + std::to_string(1000 * std::sin(a)) + " 50 0 0 0\n";
        s += "frame " + std::to_string(f) + " {\n" + key + key + "}\n";
    }
    return s + "}\n";
}

// The riding camera's movement over `count` frames at 60 per second from
// scene time t0.
std::vector<float> EyeSteps(CSkeleton& path, double t0, int count = 30)
{
    camera::CameraInputs in;
    in.pathStartOffset = 123.4;
    in.frameTime = 1.0 / 60;
    in.classicCamera = true;
    std::vector<float> steps;
    Vec3 previous{};
    for (int i = 0; i <= count; ++i) {
        in.sceneTime = t0 + i / 60.0;
        const Vec3 eye = camera::UpdateCamera(path, in).pose.eye;
        if (i > 0)
            steps.push_back(vmath::Length(eye - previous));
        previous = eye;
    }
    return steps;
}

TEST(CameraTiming, AfterAHundredHoursTheCameraMovesAsSmoothlyAsAtTheStart)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(CirclePath(240)));
    const std::vector<float> early = EyeSteps(path, 10.0);
    const std::vector<float> late = EyeSteps(path, 100 * 3600.0 + 10.0);
    for (size_t i = 0; i < early.size(); ++i) {
        ASSERT_GT(early[i], 0.1f);
        EXPECT_NEAR(late[i], early[i], 0.01f * early[i]) << "frame " << i;
    }
}

TEST(CameraTiming, WrappingByThePeriodChangesNothingVisible)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(CirclePath(240)));
    const double period = camera::PathPeriod(path, camera::PathRate(50));
    EXPECT_DOUBLE_EQ(period, 240 / static_cast<double>(camera::PathRate(50)));
    // Within the first loop, exactly today's time.
    for (double t : {0.0, 1.5, period - 4.0})
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(camera::PathTime(t, 3.0, 0.02, k, 4, period), camera::PathTime(t, 3.0, 0.02, k, 4));
    // Later, the same place on the path to well under a pixel: the float
    // rounding of the unwrapped time is all that differs.
    for (double t : {500.0, 1000.0, 3600.0}) {
        const float wrapped = camera::PathTime(t, 123.4, 0.02, 1, 4, period);
        EXPECT_LT(wrapped, period + 0.02);
        path.Sample(wrapped, camera::PathRate(50));
        const Vec3 a = vmath::Row(path.GetBoneMatrix(0), 3);
        path.Sample(camera::PathTime(t, 123.4, 0.02, 1, 4), camera::PathRate(50));
        const Vec3 b = vmath::Row(path.GetBoneMatrix(0), 3);
        EXPECT_LT(vmath::Length(a - b), 0.05f) << t;
    }
    // The flock's sample times wrap by the frame count.
    EXPECT_LT(camera::FlockSampleTime(9, 100 * 3600.0, 240), 240.0f);
    EXPECT_EQ(camera::FlockSampleTime(1, 0.5, 240), camera::FlockSampleTime(1, 0.5) - 480.0f);
    EXPECT_EQ(camera::PathPeriod(CSkeleton(), 2.8f), 0.0);
}

TEST(OrbitCamera, StartsEightyUnitsAlongMinusYFromTheTarget)
{
    const Vec3 o = camera::OrbitOffset(0.0);
    EXPECT_TRUE(VecNear(o, {0, 70, 0}, 1e-5f));
    const Mat4 track = vmath::Translation(300, 400, 500);
    const camera::CameraPose pose = camera::OrbitCameraPose(track, o);
    EXPECT_TRUE(VecNear(pose.target, {300, 400, 500}));
    EXPECT_TRUE(VecNear(pose.eye, {300, 320, 500}));
    EXPECT_TRUE(VecNear(pose.up, {0, 0, 1}, 0));
}

TEST(OrbitCamera, DistanceIsClampedAndHeightFloored)
{
    const Mat4 track = vmath::Translation(0, 0, 1000);
    camera::CameraPose pose = camera::OrbitCameraPose(track, {30, 40, 0});  // length 50
    EXPECT_NEAR(vmath::Length(pose.target - pose.eye), 80.0f, 1e-3f);
    EXPECT_TRUE(VecNear(pose.eye, {-48, -64, 1000}, 1e-3f));
    pose = camera::OrbitCameraPose(track, {0, 300, 0});
    EXPECT_NEAR(vmath::Length(pose.target - pose.eye), 200.0f, 1e-3f);

    // A target at height 0 and an offset pointing up: the eye would go to
    // z = -100 and is lifted to 10.
    pose = camera::OrbitCameraPose(vmath::Identity(), {0, 0, 100});
    EXPECT_FLOAT_EQ(pose.eye.z, 10.0f);
    // A zero offset has no direction; the eye still keeps its distance.
    pose = camera::OrbitCameraPose(track, {0, 0, 0});
    EXPECT_TRUE(std::isfinite(pose.eye.x) && std::isfinite(pose.eye.z));
    EXPECT_NEAR(vmath::Length(pose.target - pose.eye), 80.0f, 1e-3f);
}

TEST(OrbitCamera, OffsetNeverLeavesItsBounds)
{
    for (double T = 0; T < 500; T += 0.37) {
        const float len = vmath::Length(camera::OrbitOffset(T));
        EXPECT_GT(len, 0.0f);
        EXPECT_LE(len, 70.0f * std::sqrt(3.0f) + 1e-3f);
    }
}

TEST(ClassicCamera, LooksAlongTheTracksMinusXWithItsZUp)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(FlightPath(4)));
    camera::CameraInputs in;
    in.classicCamera = true;
    in.sceneTime = 0.5;
    const camera::CameraFrame frame = camera::UpdateCamera(path, in);
    EXPECT_TRUE(VecNear(frame.pose.eye, {500, 600, 700}, 1e-3f));
    // Turned 90 degrees about z: the track's x axis is world +y.
    EXPECT_TRUE(VecNear(frame.pose.target, {500, 599, 700}, 1e-3f));
    EXPECT_TRUE(VecNear(frame.pose.up, {0, 0, 1}, 1e-5f));
    // The helicopter sound gets the same time and rate.
    EXPECT_FLOAT_EQ(frame.pathTime, 0.5f);
    EXPECT_FLOAT_EQ(frame.pathRate, 2.8f);
    EXPECT_TRUE(VecNear(frame.listener.forward, {0, -1, 0}, 1e-3f));
    EXPECT_FLOAT_EQ(frame.listener.range, 8000.0f);
    EXPECT_FLOAT_EQ(frame.listener.speed, 0.5f);
}

TEST(OrbitCamera, UpdateCameraTargetsThePteroCameraTrack)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(FlightPath(4)));
    camera::CameraInputs in;  // T = 0, offset 0, velocity 50
    const camera::CameraFrame frame = camera::UpdateCamera(path, in);
    EXPECT_TRUE(VecNear(frame.pose.target, {0, 2000, 5}, 1e-3f));
    // 80 along -y, then lifted from z = 5 to 10.
    EXPECT_TRUE(VecNear(frame.pose.eye, {0, 1920, 10}, 1e-3f));
    EXPECT_TRUE(MatrixNear(frame.view, vmath::LookAtRH(frame.pose.eye, frame.pose.target, {0, 0, 1})));
    EXPECT_TRUE(VecNear(frame.listener.position, frame.pose.eye, 0));
}

TEST(CameraMatrices, ViewAndProjectionMapAsExpected)
{
    const camera::CameraPose pose{{0, -100, 0}, {0, 0, 0}, {0, 0, 1}};
    const Mat4 view = camera::ViewMatrix(pose);
    // Right-handed: the target lies along -z in view space.
    EXPECT_TRUE(VecNear(vmath::TransformPoint({0, 0, 0}, view), {0, 0, -100}, 1e-3f));
    EXPECT_TRUE(VecNear(vmath::TransformPoint({1, 0, 0}, view), {1, 0, -100}, 1e-3f));
    EXPECT_TRUE(VecNear(vmath::TransformPoint({0, 0, 1}, view), {0, 1, -100}, 1e-3f));

    const Mat4 proj = camera::ProjectionMatrix();
    auto depth = [&](float z) {
        const float zc = z * proj.m[2][2] + proj.m[3][2];
        const float wc = z * proj.m[2][3];
        return zc / wc;
    };
    EXPECT_NEAR(depth(-5.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(depth(-35000.0f), 1.0f, 1e-5f);
    EXPECT_NEAR(proj.m[1][1], 1.0f, 1e-6f);      // cot(45 degrees)
    EXPECT_NEAR(proj.m[0][0], 0.75f, 1e-6f);     // aspect 4/3
}

TEST(Pterodactyls, AxesAreReorderedForTheModel)
{
    Mat4 track = vmath::RotationFromEuler(0.3f, -0.4f, 1.1f);
    track.m[3][0] = 7;
    track.m[3][1] = 8;
    track.m[3][2] = 9;
    const Mat4 w = camera::PterodactylWorld(track);
    EXPECT_TRUE(VecNear(vmath::Row(w, 0), vmath::Row(track, 2), 0));
    EXPECT_TRUE(VecNear(vmath::Row(w, 1), vmath::Row(track, 0), 0));
    EXPECT_TRUE(VecNear(vmath::Row(w, 2), vmath::Row(track, 1), 0));
    EXPECT_TRUE(VecNear(vmath::Row(w, 3), {7, 8, 9}, 0));
    EXPECT_EQ(w.m[0][3], 0.0f);
    EXPECT_EQ(w.m[3][3], 1.0f);
    // Flock members are three times the size, placed at the same point.
    const Mat4 f = camera::FlockMemberWorld(track);
    EXPECT_TRUE(VecNear(vmath::TransformPoint({1, 0, 0}, f), vmath::Row(track, 2) * 3 + Vec3{7, 8, 9}, 1e-5f));
}

TEST(Pterodactyls, FlockMembersRunThirtySevenFramesApart)
{
    EXPECT_FLOAT_EQ(camera::FlockSampleTime(1, 0.0), 637.0f);
    EXPECT_EQ(LoopingSplineSpan(camera::FlockSampleTime(1, 0.0), 1, 600).c, 37);
    EXPECT_FLOAT_EQ(LoopingSplineSpan(camera::FlockSampleTime(1, 0.0), 1, 600).s, 0.0f);

    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(FlightPath(600)));
    std::vector<Mat4> placed;
    camera::PlaceFlock(path, 0.0, [&](int32_t member, const Mat4& world) {
        EXPECT_EQ(member, static_cast<int32_t>(placed.size()));
        placed.push_back(world);
    });
    ASSERT_EQ(placed.size(), 10u);
    // Member j samples frame 37 j (mod 600): the Ptero track's x is 100 per frame.
    for (int j = 0; j < 10; ++j)
        EXPECT_NEAR(placed[size_t(j)].m[3][0], float((37 * j) % 600) * 100, 1e-2f) << j;
}

TEST(Pterodactyls, NoPteroTrackMeansNoFlockAndMissingLeaderSitsAtOrigin)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText("bones { 0 ClassicCamera -1 } animation { frame 0 { 1 2 3 0 0 0 } }"));
    int calls = 0;
    camera::PlaceFlock(path, 3.0, [&](int32_t, const Mat4&) { ++calls; });
    EXPECT_EQ(calls, 0);
    path.Sample(0, 1);
    EXPECT_TRUE(MatrixNear(camera::LeaderWorld(path), camera::PterodactylWorld(vmath::Identity()), 0));
}

}  // namespace
