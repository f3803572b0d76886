// Camera placement along the recorded flight path, and the flock's places.
#include "model/camera_path.h"

#include <algorithm>
#include <cmath>

#include "model/skeleton.h"

using vmath::Mat4;
using vmath::Vec3;

namespace camera {

float PathRate(int32_t velocity)
{
    const float speed = static_cast<float>(velocity) / 100.0f + 0.2f;
    return 4.0f * speed;
}

namespace {

// `t` brought into [0, period) when it has gone past the first loop. A float
// of an unwrapped clock after 16 hours steps by 2^-8 s, coarser than a frame's
// share of the path; the path repeats exactly, so nothing else changes.
double WrapToPeriod(double t, double period)
{
    if (period > 0 && std::isfinite(period) && std::isfinite(t) && t >= period)
        return std::fmod(t, period);
    return t;
}

}  // namespace

float PathTime(double sceneTime, double pathStartOffset, double frameTime, int32_t subFrame, int32_t subFrameCount,
               double period)
{
    const double t = subFrame * frameTime / (subFrameCount + 0.1) + WrapToPeriod(pathStartOffset + sceneTime, period);
    return static_cast<float>(t);
}

double PathPeriod(const CSkeleton& path, float rate)
{
    if (path.FrameCount() <= 1)
        return 0;
    // The sampler plays a path with no positive rate at one frame a second.
    return path.FrameCount() / (rate > 0 ? static_cast<double>(rate) : 1.0);
}

CameraPose ClassicCameraPose(const Mat4& m)
{
    CameraPose pose;
    pose.eye = vmath::Row(m, 3);
    pose.target = pose.eye - vmath::Row(m, 0);
    pose.up = vmath::Row(m, 2);
    return pose;
}

Vec3 OrbitOffset(double sceneTime)
{
    return {static_cast<float>(70 * std::sin(0.15 * sceneTime)), static_cast<float>(70 * std::cos(0.25 * sceneTime)),
            static_cast<float>(70 * std::sin(0.2 * sceneTime))};
}

CameraPose OrbitCameraPose(const Mat4& pteroTrack, Vec3 offset)
{
    CameraPose pose;
    pose.target = vmath::Row(pteroTrack, 3);
    // The offset goes through the float round trip of target - (target - o),
    // which is what sets the distance for far-off targets.
    const Vec3 d = pose.target - (pose.target - offset);
    float length = vmath::Length(d);
    // A zero offset has no direction; the camera then sits right above the
    // target at the minimum distance instead of producing NaNs.
    const Vec3 u = length > 0 ? d * (1.0f / length) : Vec3{0, 0, -1};
    length = std::clamp(length, 80.0f, 200.0f);
    pose.eye = pose.target - u * length;
    if (pose.eye.z < 10)
        pose.eye.z = 10;
    pose.up = {0, 0, 1};
    return pose;
}

ListenerValues ListenerFor(const CameraPose& pose)
{
    ListenerValues l;
    l.position = pose.eye;
    l.forward = pose.target - pose.eye;
    l.up = pose.up;
    return l;
}

Mat4 ViewMatrix(const CameraPose& pose) { return vmath::LookAtRH(pose.eye, pose.target, pose.up); }

Mat4 ProjectionMatrix() { return vmath::PerspectiveFovRH(1.57079632679489662f, 4.0f / 3.0f, 5.0f, 35000.0f); }

Mat4 PterodactylWorld(const Mat4& m)
{
    Mat4 w;
    for (int c = 0; c < 3; ++c) {
        w.m[0][c] = m.m[2][c];
        w.m[1][c] = m.m[0][c];
        w.m[2][c] = m.m[1][c];
        w.m[3][c] = m.m[3][c];
    }
    w.m[0][3] = w.m[1][3] = w.m[2][3] = 0;
    w.m[3][3] = 1;
    return w;
}

float FlockSampleTime(int32_t member, double sceneTime, int32_t frameCount)
{
    return static_cast<float>(WrapToPeriod(637.0 * member + sceneTime, frameCount > 1 ? frameCount : 0));
}

Mat4 FlockMemberWorld(const Mat4& pteroTrack) { return vmath::Multiply(vmath::Scaling(3), PterodactylWorld(pteroTrack)); }

CameraFrame UpdateCamera(CSkeleton& path, const CameraInputs& in)
{
    CameraFrame frame;
    frame.pathRate = PathRate(in.velocity);
    frame.pathTime = PathTime(in.sceneTime, in.pathStartOffset, in.frameTime, in.subFrame, in.subFrameCount,
                              PathPeriod(path, frame.pathRate));
    path.Sample(frame.pathTime, frame.pathRate);
    if (in.classicCamera)
        frame.pose = ClassicCameraPose(path.GetBoneMatrix(path.FindBone("ClassicCamera")));
    else
        frame.pose = OrbitCameraPose(path.GetBoneMatrix(path.FindBone("PteroCamera")), OrbitOffset(in.sceneTime));
    frame.view = ViewMatrix(frame.pose);
    frame.listener = ListenerFor(frame.pose);
    return frame;
}

Mat4 LeaderWorld(const CSkeleton& path) { return PterodactylWorld(path.GetBoneMatrix(path.FindBone("PteroCamera"))); }

int32_t FlockBone(const CSkeleton& path) { return path.FindBone("Ptero"); }

bool SampleFlockMember(CSkeleton& path, int32_t pteroBone, int32_t member, double sceneTime, Mat4& world)
{
    if (pteroBone < 0)
        return false;
    path.Sample(FlockSampleTime(member, sceneTime, path.FrameCount()), 1.0f);
    world = FlockMemberWorld(path.GetBoneMatrix(pteroBone));
    return true;
}

}  // namespace camera
