// The flight path and the pterodactyl, read back with the engine's readers
// and sampled the way the engine samples them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "bake/canyon_gen.h"
#include "bake/flight_path.h"
#include "bake/mesh_query.h"
#include "bake/ptero_gen.h"
#include "model/camera_path.h"
#include "model/skeleton.h"
#include "model/skinned_model.h"

namespace bake {
namespace {

using vmath::Vec3;

struct Flight {
    CanyonLayout layout = MakeCanyonLayout();
    CanyonMesh mesh = MakeCanyonMesh(layout);
    std::string text = MakeFlightPathText(layout);
    CSkeleton path;
    Flight() { path.LoadFromText(text); }
};

Flight& SharedFlight()
{
    static const std::unique_ptr<Flight> f = std::make_unique<Flight>();
    return *f;
}

TEST(BakeFlightPath, TracksLoadAndKeepTheirDistanceFromTheRock)
{
    Flight& f = SharedFlight();
    ASSERT_EQ(f.path.BoneCount(), 6);
    ASSERT_EQ(f.path.FrameCount(), kPathFrames);
    for (const char* name : {"ClassicCamera", "Camera", "Ptero", "PteroCamera", "Line05", "Line07"})
        EXPECT_GE(f.path.FindBone(name), 0) << name;
    for (const SkeletonBone& b : f.path.Bones())
        EXPECT_EQ(b.parent, -1);
    const MeshQuery q(f.mesh.positions, f.mesh.faces, 320);
    const PathReport r = MeasureFlightPath(f.path, q);
    EXPECT_GE(r.pteroClearance, kMinClearance + kOrbitReach);
    EXPECT_GE(r.classicClearance, kMinClearance);
    EXPECT_GE(r.flockClearance, kMinClearance + kFlockReach);
    EXPECT_LE(r.pteroSeamRatio, 1.5f);
    EXPECT_LE(r.classicSeamRatio, 1.5f);
    EXPECT_LE(r.flockSeamRatio, 1.5f);
    EXPECT_TRUE(PathReportOk(r));
    // The helicopter's speed changes along the loop, so its engine pitch does.
    EXPECT_GT(r.classicSpeedMax, 1.3f * r.classicSpeedMin);
    PathReport tooClose = r;
    tooClose.pteroClearance = kMinClearance + kOrbitReach - 1;
    EXPECT_NE(PathReportProblem(tooClose).find("leading pterodactyl's clearance"), std::string::npos);
    PathReport heliClose = r;
    heliClose.classicClearance = kMinClearance - 1;
    EXPECT_NE(PathReportProblem(heliClose).find("helicopter's clearance"), std::string::npos);
    PathReport flockClose = r;
    flockClose.flockClearance = kMinClearance + kFlockReach - 1;
    EXPECT_NE(PathReportProblem(flockClose).find("flock's clearance"), std::string::npos);
    PathReport jump = r;
    jump.classicSeamRatio = 1.6f;
    EXPECT_NE(PathReportProblem(jump).find("ClassicCamera jumps at its loop seam"), std::string::npos);
}

TEST(BakeFlightPath, OrbitCameraSamplesStayClearAtAnyTime)
{
    // The engine's own camera over a range of scene times and start offsets.
    Flight& f = SharedFlight();
    const MeshQuery q(f.mesh.positions, f.mesh.faces, 320);
    float nearest = 1e9f;
    for (int i = 0; i < 1500; ++i) {
        camera::CameraInputs in;
        in.sceneTime = i * 0.37;
        in.pathStartOffset = (i * 37) % 200;
        in.velocity = (i * 13) % 131;
        in.classicCamera = i % 2 == 1;
        const camera::CameraFrame frame = camera::UpdateCamera(f.path, in);
        nearest = std::min(nearest, q.Distance(frame.pose.eye, 400));
    }
    EXPECT_GE(nearest, kMinClearance);
}

TEST(BakeFlightPath, TracksFaceTheirDirectionOfTravel)
{
    Flight& f = SharedFlight();
    const int32_t ptero = f.path.FindBone("PteroCamera"), heli = f.path.FindBone("ClassicCamera");
    for (int32_t frame = 0; frame < kPathFrames; frame += 25) {
        const float t = float(frame);
        f.path.Sample(t + 0.5f, 1);
        const Vec3 ahead = vmath::Row(f.path.GetBoneMatrix(ptero), 3);
        const Vec3 heliAhead = vmath::Row(f.path.GetBoneMatrix(heli), 3);
        f.path.Sample(t - 0.5f, 1);
        const Vec3 behind = vmath::Row(f.path.GetBoneMatrix(ptero), 3);
        const Vec3 heliBehind = vmath::Row(f.path.GetBoneMatrix(heli), 3);
        f.path.Sample(t, 1);
        // The creature is drawn with its x axis along the track's z axis.
        const vmath::Mat4 world = camera::PterodactylWorld(f.path.GetBoneMatrix(ptero));
        const Vec3 motion = vmath::NormalizeOrKeep(ahead - behind);
        EXPECT_GT(vmath::Dot(vmath::Row(world, 0), motion), 0.95f) << frame;
        EXPECT_GT(vmath::Row(world, 2).z, 0.6f) << frame;  // upright, banked at most ~50 degrees
        // The helicopter looks along its track's -x with z up.
        const vmath::Mat4 m = f.path.GetBoneMatrix(heli);
        EXPECT_GT(vmath::Dot(vmath::Row(m, 0) * -1.0f, vmath::NormalizeOrKeep(heliAhead - heliBehind)), 0.95f) << frame;
        EXPECT_GT(vmath::Row(m, 2).z, 0.8f) << frame;
    }
}

TEST(BakeFlightPath, FlockCirclesInGroupsOverTheBasinAndTheArms)
{
    // Members sample the "Ptero" track 637 frames apart at one frame per
    // second. The track circles one place for most of every hundred frames,
    // so the ten split into a few groups, each member near another and none
    // stacked inside another.
    Flight& f = SharedFlight();
    for (double T : {0.0, 55.5, 301.0, 444.0}) {
        std::vector<Vec3> members;
        camera::PlaceFlock(f.path, T, [&](int32_t, const vmath::Mat4& w) { members.push_back(vmath::Row(w, 3)); });
        ASSERT_EQ(members.size(), 10u);
        int grouped = 0;
        for (size_t i = 0; i < members.size(); ++i) {
            float nearest = 1e9f;
            for (size_t j = 0; j < members.size(); ++j)
                if (j != i)
                    nearest = std::min(nearest, vmath::Length(members[i] - members[j]));
            EXPECT_GT(nearest, 30.0f) << T;
            grouped += nearest < 800.0f;
        }
        EXPECT_GE(grouped, 6) << T;
    }
    // It circles high over the rims, and over the arms as well as the basin.
    const int32_t flock = f.path.FindBone("Ptero");
    const Vec2 c = f.layout.basinCentre;
    int outside = 0;
    for (int32_t frame = 0; frame < kPathFrames; ++frame) {
        const Vec3 q = f.path.GetKeyPosition(flock, frame);
        EXPECT_GT(q.z, f.layout.plateauZ + 300) << frame;
        outside += std::hypot(q.x - c.x, q.y - c.y) > f.layout.basinRadius + 1000;
    }
    EXPECT_GT(outside, kPathFrames / 2);
}

TEST(BakeFlightPath, LeaderFliesHighInTheBasinAndAlongTheUpperWallsInTheArms)
{
    // The leading pterodactyl (and the camera orbiting it) spends a good
    // share of each loop in the open basin, over rim height, and flies the
    // arms between the upper walls and the rims, never down among the
    // floor's rubble nor high over the plateau.
    Flight& f = SharedFlight();
    const int32_t lead = f.path.FindBone("PteroCamera");
    const Vec2 c = f.layout.basinCentre;
    int inBasin = 0, nearRims = 0, inArms = 0;
    for (int32_t frame = 0; frame < kPathFrames; ++frame) {
        const Vec3 p = f.path.GetKeyPosition(lead, frame);
        const double r = std::hypot(p.x - c.x, p.y - c.y);
        inBasin += r < f.layout.basinRadius;
        if (r < f.layout.basinRadius - 2000) {
            EXPECT_GT(p.z, f.layout.plateauZ) << frame;
        }
        if (r > f.layout.basinRadius + 2500) {
            const float floor = float(CanyonHeight(f.layout, p.x, p.y));
            EXPECT_GT(p.z - floor, f.layout.plateauZ * 0.7) << frame;
            EXPECT_LT(p.z - floor, f.layout.plateauZ * 1.1) << frame;
            ++inArms;
            nearRims += p.z - floor > f.layout.plateauZ * 0.9;
        }
    }
    EXPECT_GT(inBasin, kPathFrames / 4);
    EXPECT_LT(inBasin, kPathFrames * 2 / 3);  // and still flies the canyon
    // It rises to the rims, where the view runs out to the ranges, for part
    // of its way along the arms, not all of it.
    EXPECT_GT(nearRims, inArms / 5);
    EXPECT_LT(nearRims, inArms * 4 / 5);
}

struct Ptero {
    std::string text = MakePteroText();
    CSkinnedModel model;
    Ptero() { model.ParseText(text); }
};

Ptero& SharedPtero()
{
    static const std::unique_ptr<Ptero> p = std::make_unique<Ptero>();
    return *p;
}

Vec3 BoneAt(CSkeleton& sk, int32_t bone, float frame)
{
    const AnimClip hold{0, kPteroFrames - 1, 1.0f, false};
    sk.SampleClip(hold, frame);
    return vmath::Row(sk.GetBoneMatrix(bone), 3);
}

TEST(BakePtero, ModelLoadsWithItsSkeletonClipsAndTexture)
{
    Ptero& p = SharedPtero();
    const CSkeleton& sk = p.model.GetSkeleton();
    EXPECT_EQ(sk.BoneCount(), 24);
    EXPECT_EQ(sk.FrameCount(), kPteroFrames);
    EXPECT_GE(p.model.Vertices().size(), 180u);
    EXPECT_LE(p.model.Vertices().size(), 320u);
    EXPECT_GE(p.model.Faces().size(), 280u);
    EXPECT_LE(p.model.Faces().size(), 420u);
    ASSERT_EQ(p.model.Shaders().size(), 1u);
    EXPECT_EQ(p.model.Shaders()[0].path, "textures/ptero.bmp");
    for (const ModelVertex& v : p.model.Vertices()) {
        EXPECT_GE(v.bone, 0);
        EXPECT_LT(v.bone, 24);
        EXPECT_GE(v.u, 0.0f);
        EXPECT_LE(v.u, 1.0f);
    }
    // Frame 0 is the bind pose: sampling it gives back the file positions.
    CSkeleton& skm = p.model.GetSkeleton();
    const AnimClip rest{0, 0, 1, false};
    skm.SampleClip(rest, 0);
    for (size_t i = 0; i < p.model.Vertices().size(); i += 17) {
        const ModelVertex& v = p.model.Vertices()[i];
        const vmath::Mat4 m = vmath::Multiply(skm.GetBindInverse(v.bone), skm.GetBoneMatrix(v.bone));
        const Vec3 back = vmath::TransformPoint({v.x, v.y, v.z}, m);
        EXPECT_NEAR(back.x, v.x, 1e-3f);
        EXPECT_NEAR(back.z, v.z, 1e-3f);
    }
}

TEST(BakePtero, WingsMirrorEachOtherAndClipsLoopSmoothly)
{
    CSkeleton& sk = SharedPtero().model.GetSkeleton();
    const int32_t left = sk.FindBone("LFinger2"), right = sk.FindBone("RFinger2");
    ASSERT_GE(left, 0);
    ASSERT_GE(right, 0);
    for (float frame : {0.0f, 5.0f, 27.0f, 45.0f, 52.0f}) {
        const Vec3 l = BoneAt(sk, left, frame), r = BoneAt(sk, right, frame);
        EXPECT_NEAR(l.x, r.x, 1e-3f) << frame;
        EXPECT_NEAR(l.y, -r.y, 1e-3f) << frame;
        EXPECT_NEAR(l.z, r.z, 1e-3f) << frame;
    }
    // Each clip's last frame leads back to its first by an ordinary step.
    for (int32_t first : {1, 21, 41}) {
        const int32_t last = first + 18;
        float largest = 0;
        for (int32_t f = first; f < last; ++f)
            largest = std::max(largest, vmath::Length(BoneAt(sk, left, float(f + 1)) - BoneAt(sk, left, float(f))));
        const float seam = vmath::Length(BoneAt(sk, left, float(first)) - BoneAt(sk, left, float(last)));
        EXPECT_GT(largest, 0.1f) << "clip at " << first << " does not move";
        EXPECT_LE(seam, 1.5f * largest) << "clip at " << first;
    }
}

TEST(BakePtero, FastBeatIsMidDownstrokeAtTheFlapFrame)
{
    CSkeleton& sk = SharedPtero().model.GetSkeleton();
    const int32_t tip = sk.FindBone("LFinger2");
    // Downward speed of the wing tip per frame across the fast clip.
    float fastest = 0;
    int32_t fastestFrame = 0;
    for (int32_t f = 41; f < 59; ++f) {
        const float drop = BoneAt(sk, tip, float(f)).z - BoneAt(sk, tip, float(f + 1)).z;
        if (drop > fastest) {
            fastest = drop;
            fastestFrame = f;
        }
    }
    const float at45 = BoneAt(sk, tip, 44.5f).z - BoneAt(sk, tip, 45.5f).z;
    EXPECT_GT(at45, 0.7f * fastest);
    EXPECT_NEAR(fastestFrame, 45, 2);
    // The fast beat sweeps much further than the slow cruising one.
    float fastRange = 0, slowRange = 0;
    for (int32_t f = 0; f < 19; ++f) {
        fastRange = std::max(fastRange, std::fabs(BoneAt(sk, tip, float(41 + f)).z - BoneAt(sk, tip, 41).z));
        slowRange = std::max(slowRange, std::fabs(BoneAt(sk, tip, float(1 + f)).z - BoneAt(sk, tip, 1).z));
    }
    EXPECT_GT(fastRange, 1.6f * slowRange);
}

}  // namespace
}  // namespace bake
