// Skeleton reading, its load-time checks, the rotation conversions and the
// three ways of sampling a pose.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/skeleton.h"
#include "model_test_util.h"

using vmath::Mat4;
using vmath::Quat;
using vmath::Vec3;

namespace {

constexpr float kPi = 3.14159265358979f;

// Two bones (Root, Wing under Root), three frames.
const char* const kTwoBones = R"(version 1
bones
{
0 Root -1
1 Wing 0
}
animation
{
frame 0
{
1.0 2.0 3.0 0.1 0.2 0.3
4.0 0.0 0.0 0.0 0.5 0.0
}
frame 1
{
2.0 2.0 3.0 0.1 0.2 0.4
4.0 0.0 1.0 0.0 0.6 0.0
}
frame 2
{
3.0 2.0 3.0 0.1 0.2 0.5
4.0 0.0 2.0 0.0 0.7 0.0
}
}
)";

// One unparented track whose key positions are (10 * frame, 0, 0) for
// `frames` frames.
std::string Track(int frames)
{
    std::string s = "bones { 0 Track -1 } animation {\n";
    for (int f = 0; f < frames; ++f)
        s += "frame " + std::to_string(f) + " { " + std::to_string(10 * f) + " 0 0 0 0 0 }\n";
    return s + "}\n";
}

TEST(SkeletonLoad, ReadsBonesAndFrames)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(kTwoBones));
    EXPECT_EQ(sk.BoneCount(), 2);
    EXPECT_EQ(sk.FrameCount(), 3);
    EXPECT_EQ(sk.Bones()[1].name, "Wing");
    EXPECT_EQ(sk.Bones()[1].parent, 0);
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(1, 2), {4, 0, 2}));
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(0, 1), {2, 2, 3}));
}

TEST(SkeletonLoad, CrLfAndLfGiveTheSameTables)
{
    CSkeleton lf, crlf;
    ASSERT_TRUE(lf.LoadFromText(kTwoBones));
    ASSERT_TRUE(crlf.LoadFromText(ToCrLf(kTwoBones)));
    ASSERT_EQ(lf.BoneCount(), crlf.BoneCount());
    ASSERT_EQ(lf.FrameCount(), crlf.FrameCount());
    for (int b = 0; b < lf.BoneCount(); ++b) {
        EXPECT_EQ(lf.Bones()[size_t(b)].name, crlf.Bones()[size_t(b)].name);
        EXPECT_TRUE(MatrixNear(lf.GetBindInverse(b), crlf.GetBindInverse(b), 0));
        for (int f = 0; f < lf.FrameCount(); ++f)
            EXPECT_TRUE(VecNear(lf.GetKeyPosition(b, f), crlf.GetKeyPosition(b, f), 0));
    }
}

TEST(SkeletonLoad, KeywordsAndBracesIgnoreCaseAndRecordsMaySpanLines)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText("BONES { 0 A -1 1 B\n0 } Animation { FRAME 0 { 1 2\n3 0 0 0 4 5 6 0 0 0 } }"));
    EXPECT_EQ(sk.BoneCount(), 2);
    EXPECT_EQ(sk.FrameCount(), 1);
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(1, 0), {4, 5, 6}));
}

TEST(SkeletonLoad, UnknownSectionsAreSkippedTokenByToken)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText("nodes { 0 x 1 } bones { 0 A -1 } triangles { a b c } animation { frame 0 { "
                                "1 2 3 0 0 0 } }"));
    EXPECT_EQ(sk.BoneCount(), 1);
}

TEST(SkeletonLoad, IndexTokensAreIgnoredAndNegativeParentsBecomeMinusOne)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(
        "bones { 3 Wing -7 9 Tail 0 } animation { frame 17 { 0 0 0 0 0 0 1 1 1 0 0 0 } frame 4 { 5 0 0 0 0 0 "
        "1 1 1 0 0 0 } }"));
    EXPECT_EQ(sk.FindBone("Wing"), 0);
    EXPECT_EQ(sk.Bones()[0].parent, -1);
    EXPECT_EQ(sk.FindBone("Tail"), 1);
    // The block numbered 17 comes first, so it is frame 0.
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(0, 0), {0, 0, 0}));
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(0, 1), {5, 0, 0}));
}

TEST(SkeletonLoad, StopsReadingOnceBothSectionsAreComplete)
{
    // Everything after the animation would fail any reader: a broken
    // section, a token of 256 characters and a file ending inside a record.
    const std::string tail = "\nfaces { 1 2 \n" + std::string(256, 'z') + "\nvertices { 1 2";
    CSkeleton sk;
    EXPECT_TRUE(sk.LoadFromText(Track(2) + tail));
    EXPECT_TRUE(sk.LoadFromText(std::string("animation { frame 0 { 0 0 0 0 0 0 } } bones { 0 T -1 } ") + tail));
}

TEST(SkeletonLoad, RequiresBothSections)
{
    CSkeleton sk;
    EXPECT_FALSE(sk.LoadFromText("animation { frame 0 { 0 0 0 0 0 0 } }"));
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A -1 }"));
    EXPECT_FALSE(sk.LoadFromText(""));
    // A section keyword inside another word does not count.
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A -1 } animations { }"));
}

TEST(SkeletonLoad, MalformedSectionsFailCleanly)
{
    const char* cases[] = {
        "bones",                                                  // ends after the keyword
        "bones 0 A -1 } animation { }",                           // missing "{"
        "bones { 0 A -1 animation { }",                           // "{" lands inside a record
        "bones { 0 A",                                            // ends inside a record
        "bones { 0 A -1 } animation { frame 0 { 1 2 3 ",          // ends inside a key
        "bones { 0 A -1 } animation { frame 0 { 1 2 3 0 0 0 }",   // ends inside the section
        "bones { 0 A -1 } animation { frme 0 { 1 2 3 0 0 0 } }",  // block not "frame"
        "bones { 0 A -1 } animation { frame 0 ( 1 2 3 0 0 0 } }",  // third token not "{"
    };
    for (const char* text : cases) {
        CSkeleton sk;
        EXPECT_FALSE(sk.LoadFromText(text)) << text;
    }
}

TEST(SkeletonLoad, TokenLengthInsideAndOutsideSections)
{
    CSkeleton sk;
    const std::string name255(255, 'n');
    ASSERT_TRUE(sk.LoadFromText("bones { 0 " + name255 + " -1 } animation { frame 0 { 0 0 0 0 0 0 } }"));
    EXPECT_EQ(sk.Bones()[0].name.size(), 255u);
    EXPECT_EQ(sk.FindBone(name255), 0);
    const std::string name256(256, 'n');
    EXPECT_FALSE(sk.LoadFromText("bones { 0 " + name256 + " -1 } animation { frame 0 { 0 0 0 0 0 0 } }"));
    // At the top level a long token ends the walk like the end of the file.
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A -1 } " + name256 + " animation { frame 0 { 0 0 0 0 0 0 } }"));
}

TEST(SkeletonLoad, RejectsTablesThatSamplingCouldNotUse)
{
    CSkeleton sk;
    // Parent after its child, parent equal to itself, parent past the list.
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A 1 1 B -1 } animation { frame 0 { 0 0 0 0 0 0 0 0 0 0 0 0 } }"));
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A 0 } animation { frame 0 { 0 0 0 0 0 0 } }"));
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A 5 } animation { frame 0 { 0 0 0 0 0 0 } }"));
    // A frame with fewer keys than bones.
    EXPECT_FALSE(sk.LoadFromText(
        "bones { 0 A -1 1 B 0 } animation { frame 0 { 0 0 0 0 0 0 0 0 0 0 0 0 } frame 1 { 0 0 0 0 0 0 } }"));
    // Extra keys are allowed and unused.
    ASSERT_TRUE(sk.LoadFromText("bones { 0 A -1 } animation { frame 0 { 1 0 0 0 0 0 2 0 0 0 0 0 } frame 1 { 3 0 0 0 "
                                "0 0 4 0 0 0 0 0 } }"));
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(0, 1), {3, 0, 0}));
}

TEST(SkeletonLoad, ManyBonesOverManyEmptyFramesFailBeforeTheTableIsSized)
{
    // 10^5 bones x 10^5 empty frames: sizing the key table first would ask
    // for 240 GB; the frames are seen to be short before anything is sized.
    std::string text = "bones {\n";
    for (int i = 0; i < 100000; ++i)
        text += "0 b -1\n";
    text += "}\nanimation {\n";
    for (int i = 0; i < 100000; ++i)
        text += "frame 0 { }\n";
    text += "}\n";
    CSkeleton sk;
    EXPECT_FALSE(sk.LoadFromText(text));
    EXPECT_EQ(sk.FrameCount(), 0);
}

TEST(SkeletonLoad, AFailedLoadEmptiesTheOldTables)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(kTwoBones));
    EXPECT_FALSE(sk.LoadFromText("bones { 0 A"));
    EXPECT_EQ(sk.FrameCount(), 0);
    EXPECT_EQ(sk.FindBone("Wing"), -1);
}

TEST(SkeletonLoad, BonesWithoutFramesGetIdentityMatrices)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText("bones { 0 A -1 } animation { }"));
    EXPECT_EQ(sk.FrameCount(), 0);
    sk.Sample(3.0f, 1.0f);
    sk.SampleClip({0, 5, 1, true}, 2.0f);
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), vmath::Identity(), 0));
    EXPECT_TRUE(MatrixNear(sk.GetBindInverse(0), vmath::Identity(), 0));
}

TEST(SkeletonLoad, MissingArchiveMemberFails)
{
    CSkeleton sk;
    EXPECT_FALSE(sk.Load("models/none.ani"));
}

TEST(SkeletonLookup, FindBoneAndOutOfRangeAccessors)
{
    CSkeleton sk;
    EXPECT_EQ(sk.FindBone("x"), -1);
    ASSERT_TRUE(sk.LoadFromText("bones { 0 ClassicCamera -1 1 PteroCamera -1 } animation { frame 0 { 1 2 3 0 0 0 "
                                "4 5 6 0 0 0 } }"));
    EXPECT_EQ(sk.FindBone("pterocamera"), 1);
    EXPECT_EQ(sk.FindBone("PTEROCAMERA"), 1);
    EXPECT_EQ(sk.FindBone("Ptero"), -1);
    sk.Sample(0, 1);
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(-1), vmath::Identity(), 0));
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(sk.BoneCount()), vmath::Identity(), 0));
    EXPECT_TRUE(MatrixNear(sk.GetBindInverse(2), vmath::Identity(), 0));
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(0, sk.FrameCount()), {0, 0, 0}, 0));
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(-1, 0), {0, 0, 0}, 0));
    EXPECT_TRUE(VecNear(sk.GetKeyPosition(1, 0), {4, 5, 6}, 0));
}

// --- rotations -------------------------------------------------------------

TEST(Rotations, EulerMatrixMatchesEulerQuaternion)
{
    const float angles[][3] = {{0.3f, -1.1f, 2.0f}, {kPi / 2, 0, 0}, {0, kPi / 2, 0}, {-2.5f, 0.7f, -0.1f}};
    for (const auto& a : angles) {
        const Mat4 fromEuler = vmath::RotationFromEuler(a[0], a[1], a[2]);
        const Mat4 fromQuat = vmath::RotationFromQuat(vmath::QuatFromEuler(a[0], a[1], a[2]));
        EXPECT_TRUE(MatrixNear(fromEuler, fromQuat, 1e-5f));
        // Rotating x, then y, then z about the fixed axes.
        const Mat4 composed = vmath::Multiply(vmath::Multiply(vmath::RotationFromEuler(a[0], 0, 0),
                                                              vmath::RotationFromEuler(0, a[1], 0)),
                                              vmath::RotationFromEuler(0, 0, a[2]));
        EXPECT_TRUE(MatrixNear(fromEuler, composed, 1e-5f));
    }
    // Row-vector convention: rotating x by 90 degrees about z gives y.
    EXPECT_TRUE(VecNear(vmath::TransformNormal({1, 0, 0}, vmath::RotationFromEuler(0, 0, kPi / 2)), {0, 1, 0}));
}

TEST(Rotations, MatrixToQuaternionCoversEveryBranch)
{
    // Angles chosen so the trace is positive, and so each diagonal element
    // in turn is the largest with a negative trace.
    const float angles[][3] = {{0.2f, 0.1f, 0.3f}, {3.0f, 0, 0}, {0, 3.0f, 0}, {0, 0, 3.0f}, {2.9f, 0.4f, -2.8f}};
    for (const auto& a : angles) {
        const Mat4 m = vmath::RotationFromEuler(a[0], a[1], a[2]);
        const Quat q = vmath::QuatFromMatrix(m);
        EXPECT_TRUE(MatrixNear(vmath::RotationFromQuat(q), m, 1e-5f));
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-5f);
    }
}

TEST(Rotations, SlerpEndsAndShorterArc)
{
    const Quat a = vmath::QuatFromEuler(0, 0, 0.2f);
    const Quat b = vmath::QuatFromEuler(0, 0, 1.0f);
    EXPECT_TRUE(MatrixNear(vmath::RotationFromQuat(vmath::Slerp(a, b, 0)), vmath::RotationFromQuat(a)));
    EXPECT_TRUE(MatrixNear(vmath::RotationFromQuat(vmath::Slerp(a, b, 1)), vmath::RotationFromQuat(b)));
    EXPECT_TRUE(MatrixNear(vmath::RotationFromQuat(vmath::Slerp(a, b, 0.5f)),
                           vmath::RotationFromEuler(0, 0, 0.6f)));
    // -b is the same rotation as b; the blend must not take the long way.
    const Quat negB{-b.x, -b.y, -b.z, -b.w};
    EXPECT_TRUE(MatrixNear(vmath::RotationFromQuat(vmath::Slerp(a, negB, 0.5f)),
                           vmath::RotationFromEuler(0, 0, 0.6f)));
    // Equal inputs fall back to the linear weights.
    const Quat same = vmath::Slerp(a, a, 0.3f);
    EXPECT_NEAR(same.z, a.z, 1e-6f);
    EXPECT_NEAR(same.w, a.w, 1e-6f);
}

TEST(Rotations, InverseOfSingularMatrixIsRefused)
{
    Mat4 flat = vmath::Identity();
    flat.m[2][2] = 0;
    Mat4 out = vmath::Translation(1, 2, 3);
    EXPECT_FALSE(vmath::Inverse(flat, out));
    EXPECT_TRUE(MatrixNear(out, vmath::Translation(1, 2, 3), 0));
    const Mat4 m = vmath::Multiply(vmath::RotationFromEuler(0.3f, 0.2f, 0.1f), vmath::Translation(5, -4, 3));
    ASSERT_TRUE(vmath::Inverse(m, out));
    EXPECT_TRUE(MatrixNear(vmath::Multiply(m, out), vmath::Identity(), 1e-5f));
}

// --- looping spline sampling -------------------------------------------------

TEST(SplineSampling, KeyIndicesAroundTheSeam)
{
    SplineSpan span = LoopingSplineSpan(0.5f, 2.8f, 600);
    EXPECT_EQ(span.p, 0);
    EXPECT_EQ(span.c, 1);
    EXPECT_EQ(span.d, 2);
    EXPECT_EQ(span.e, 3);
    EXPECT_NEAR(span.s, 0.4f, 1e-5f);

    span = LoopingSplineSpan(214.0f, 2.8f, 600);
    EXPECT_EQ(span.p, 598);
    EXPECT_EQ(span.c, 599);
    EXPECT_EQ(span.d, 0);
    EXPECT_EQ(span.e, 1);
    EXPECT_NEAR(span.s, 0.2f, 1e-3f);

    span = LoopingSplineSpan(0.0f, 2.8f, 600);
    EXPECT_EQ(span.p, 599);  // c = 0 looks back to the last frame
    EXPECT_EQ(span.c, 0);
}

TEST(SplineSampling, NonPositiveSpeedMeansOneAndHugeTimesStayInTheTable)
{
    for (float speed : {0.0f, -3.0f}) {
        const SplineSpan span = LoopingSplineSpan(7.25f, speed, 10);
        EXPECT_EQ(span.c, 7);
        EXPECT_FLOAT_EQ(span.s, 0.25f);
    }
    for (float time : {-1.5f, 1e30f, -1e30f, std::nanf(""), INFINITY}) {
        const SplineSpan span = LoopingSplineSpan(time, 1, 600);
        for (int32_t k : {span.p, span.c, span.d, span.e}) {
            EXPECT_GE(k, 0) << time;
            EXPECT_LT(k, 600) << time;
        }
    }
    EXPECT_EQ(LoopingSplineSpan(-1.5f, 1, 600).c, 598);
}

TEST(SplineSampling, ReproducesKeysAtWholeFrames)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(kTwoBones));
    sk.Sample(1.0f, 1.0f);
    // Bone 0 at frame 1: rotation (0.1, 0.2, 0.4), position (2, 2, 3).
    Mat4 expected = vmath::RotationFromEuler(0.1f, 0.2f, 0.4f);
    expected.m[3][0] = 2;
    expected.m[3][1] = 2;
    expected.m[3][2] = 3;
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), expected));
    // Bone 1 is composed with its parent.
    Mat4 local = vmath::RotationFromEuler(0, 0.6f, 0);
    local.m[3][0] = 4;
    local.m[3][2] = 1;
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(1), vmath::Multiply(local, expected)));
}

TEST(SplineSampling, PositionFollowsCatmullRomAcrossTheLoop)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(Track(5)));  // x = 0, 10, 20, 30, 40
    sk.Sample(1.5f, 1.0f);  // between keys 1 and 2 on a straight line
    EXPECT_NEAR(sk.GetBoneMatrix(0).m[3][0], 15.0f, 1e-4f);
    // Between key 4 (x = 40) and key 0 (x = 0), with keys 3 and 1 around.
    sk.Sample(4.5f, 1.0f);
    const Vec3 expected = vmath::CatmullRom({30, 0, 0}, {40, 0, 0}, {0, 0, 0}, {10, 0, 0}, 0.5f);
    EXPECT_NEAR(sk.GetBoneMatrix(0).m[3][0], expected.x, 1e-4f);
    EXPECT_NEAR(expected.x, 20.0f, 1e-4f);
}

TEST(SplineSampling, RotationAboutOneAxisFollowsCatmullRomOfTheAngle)
{
    // Turns about z only: every slerp in the spline is linear in the angle,
    // so the sampled angle is the Catmull-Rom value of the key angles,
    // worked out here by hand.
    auto angleAt = [](const char* keys, float t) {
        CSkeleton sk;
        EXPECT_TRUE(sk.LoadFromText(keys));
        sk.Sample(t, 1.0f);
        const Mat4 m = sk.GetBoneMatrix(0);
        return std::atan2(m.m[0][1], m.m[0][0]);
    };
    const char* const even = "bones { 0 A -1 } animation { frame 0 { 0 0 0 0 0 0 } frame 1 { 0 0 0 0 0 0.2 } "
                             "frame 2 { 0 0 0 0 0 0.4 } frame 3 { 0 0 0 0 0 0.6 } }";
    EXPECT_NEAR(angleAt(even, 1.0f), 0.2f, 1e-5f);
    EXPECT_NEAR(angleAt(even, 1.5f), 0.3f, 1e-5f);
    // Keys 0, 0.2, 0.4, 1.0 bend the curve, which tells each weight apart:
    // halfway (-0 + 9 * 0.2 + 9 * 0.4 - 1.0) / 16 = 0.275; at a quarter the
    // weights are -0.0703125, 0.8671875, 0.2265625, -0.0234375 = 0.240625.
    const char* const bent = "bones { 0 A -1 } animation { frame 0 { 0 0 0 0 0 0 } frame 1 { 0 0 0 0 0 0.2 } "
                             "frame 2 { 0 0 0 0 0 0.4 } frame 3 { 0 0 0 0 0 1.0 } }";
    EXPECT_NEAR(angleAt(bent, 1.5f), 0.275f, 1e-5f);
    EXPECT_NEAR(angleAt(bent, 1.25f), 0.240625f, 1e-5f);
}

TEST(SplineSampling, OneFrameGivesThatPoseAtEveryTime)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText("bones { 0 A -1 } animation { frame 0 { 1 2 3 0.4 0.5 0.6 } }"));
    Mat4 expected = vmath::RotationFromEuler(0.4f, 0.5f, 0.6f);
    expected.m[3][0] = 1;
    expected.m[3][1] = 2;
    expected.m[3][2] = 3;
    for (float t : {0.0f, 0.3f, 17.75f}) {
        sk.Sample(t, 2.0f);
        EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), expected)) << t;
    }
}

TEST(SplineSampling, OppositeQuaternionsTakeNoDetour)
{
    // Rotations 0 and 2 pi about x: the same orientation, quaternions of
    // opposite sign. Every sample in between is that orientation.
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText("bones { 0 A -1 } animation { frame 0 { 0 0 0 0 0 0 } frame 1 { 0 0 0 "
                                "6.283185307 0 0 } frame 2 { 0 0 0 0 0 0 } frame 3 { 0 0 0 6.283185307 0 0 } }"));
    for (float t : {0.25f, 0.5f, 1.5f}) {
        sk.Sample(t, 1.0f);
        EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), vmath::Identity(), 1e-4f)) << t;
    }
}

// --- clips -----------------------------------------------------------------

TEST(ClipSampling, WrapsLoopingClipsAndHoldsOthers)
{
    const AnimClip loop{10, 20, 15, true};
    ClipSpan span = ClipSampleSpan(loop, 1.0f, 100);
    EXPECT_EQ(span.k0, 14);
    EXPECT_EQ(span.k1, 15);
    EXPECT_FLOAT_EQ(span.s, 0);

    const AnimClip slow{10, 20, 1, true};
    span = ClipSampleSpan(slow, 10.5f, 100);  // b = 20.5
    EXPECT_EQ(span.k0, 20);
    EXPECT_EQ(span.k1, 10);
    EXPECT_FLOAT_EQ(span.s, 0.5f);

    const AnimClip once{0, 30, 1, false};
    span = ClipSampleSpan(once, 40.0f, 100);
    EXPECT_EQ(span.k0, 30);
    EXPECT_EQ(span.k1, 30);

    EXPECT_FLOAT_EQ(WrapClipFrame(loop, 8.25f), 19.25f);  // below first wraps too
    EXPECT_FLOAT_EQ(WrapClipFrame(once, -3.0f), 0.0f);
}

TEST(ClipSampling, BadClipsStayInsideTheTable)
{
    // A range past the table, an empty range, and a position that is not a
    // number all keep both keys inside the frame table.
    const AnimClip clips[] = {{90, 120, 30, true}, {50, 40, 1, true}, {-20, -5, 1, false}, {0, 9, NAN, true}};
    for (const AnimClip& clip : clips) {
        for (float t : {0.0f, 0.7f, 3.0f, 1e9f}) {
            const ClipSpan span = ClipSampleSpan(clip, t, 100);
            EXPECT_GE(span.k0, 0);
            EXPECT_LT(span.k0, 100);
            EXPECT_GE(span.k1, 0);
            EXPECT_LT(span.k1, 100);
        }
    }
    EXPECT_FLOAT_EQ(WrapClipFrame({50, 40, 1, true}, 45.5f), 50.0f);
}

TEST(ClipSampling, InterpolatesLinearlyBetweenTwoKeys)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(Track(4)));
    sk.SampleClip({0, 3, 2, true}, 0.25f);  // b = 0.5
    EXPECT_NEAR(sk.GetBoneMatrix(0).m[3][0], 5.0f, 1e-5f);
    sk.SampleClip({0, 3, 1, true}, 3.5f);  // last frame back to the first
    EXPECT_NEAR(sk.GetBoneMatrix(0).m[3][0], 15.0f, 1e-5f);
}

// --- cross-fades -------------------------------------------------------------

TEST(CrossFade, WeightZeroRestoresTheCapturedPoseAndOneKeepsTheSample)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(kTwoBones));
    sk.SampleClip({0, 2, 1, false}, 0.0f);
    const Mat4 a0 = sk.GetBoneMatrix(0), a1 = sk.GetBoneMatrix(1);
    std::vector<BonePose> poses;
    sk.CapturePose(poses);
    ASSERT_EQ(poses.size(), 2u);
    EXPECT_NEAR(poses[1].px, a1.m[3][0], 1e-6f);

    sk.SampleClip({0, 2, 1, false}, 2.0f);
    const Mat4 b0 = sk.GetBoneMatrix(0), b1 = sk.GetBoneMatrix(1);
    sk.BlendFromPose(poses, 0.0f);
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), a0));
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(1), a1));

    sk.SampleClip({0, 2, 1, false}, 2.0f);
    sk.BlendFromPose(poses, 1.0f);
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), b0));
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(1), b1));

    // Halfway, the position is the average of both global positions.
    sk.SampleClip({0, 2, 1, false}, 2.0f);
    sk.BlendFromPose(poses, 0.5f);
    EXPECT_NEAR(sk.GetBoneMatrix(1).m[3][2], (a1.m[3][2] + b1.m[3][2]) / 2, 1e-4f);
}

TEST(CrossFade, ShortPoseListsBlendOnlyWhatTheyHold)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(kTwoBones));
    sk.Sample(2.0f, 1.0f);
    const Mat4 before = sk.GetBoneMatrix(1);
    std::vector<BonePose> one(1);
    sk.BlendFromPose(one, 0.0f);
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(0), vmath::Identity()));
    EXPECT_TRUE(MatrixNear(sk.GetBoneMatrix(1), before, 0));
}

TEST(BindPose, InvertsTheFirstFramesGlobalMatrices)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText(kTwoBones));
    sk.Sample(0.0f, 1.0f);
    for (int b = 0; b < sk.BoneCount(); ++b)
        EXPECT_TRUE(MatrixNear(vmath::Multiply(sk.GetBindInverse(b), sk.GetBoneMatrix(b)), vmath::Identity()));
}

TEST(BindPose, NonFiniteKeysLeaveAnIdentityBindInverse)
{
    CSkeleton sk;
    ASSERT_TRUE(sk.LoadFromText("bones { 0 A -1 } animation { frame 0 { 1e39 0 0 0 0 0 } }"));
    EXPECT_TRUE(MatrixNear(sk.GetBindInverse(0), vmath::Identity(), 0));
}

}  // namespace
