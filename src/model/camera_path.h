// The camera path: the recorded flight played back from the flight-path
// skeleton ("models/camera.ani"). Pure functions over a sampled skeleton, so
// the renderer only wires them into its sub-frames, the sound listener and
// the pterodactyl actors.
#pragma once

#include <cstdint>

#include "model/anim_math.h"

class CSkeleton;

namespace camera {

// Frames per second at which the path plays for a Velocity setting.
float PathRate(int32_t velocity);

// The path time of sub-frame k of n: k * delta / (n + 0.1) + (offset + sceneTime),
// computed in double and rounded to float. With a `period` (the seconds one
// loop of the path lasts), offset + sceneTime is first wrapped into the first
// loop, so that the float keeps the resolution it has there however long the
// run; within the first loop the result is the same either way.
float PathTime(double sceneTime, double pathStartOffset, double frameTime, int32_t subFrame, int32_t subFrameCount,
               double period = 0);

// The seconds one loop of `path` lasts when it plays at `rate` frames a
// second; 0 for a path without frames to loop.
double PathPeriod(const CSkeleton& path, float rate);

struct CameraPose {
    vmath::Vec3 eye;
    vmath::Vec3 target;
    vmath::Vec3 up;
};

// Riding the "ClassicCamera" track: looks along the track's negative x axis,
// with its z axis up.
CameraPose ClassicCameraPose(const vmath::Mat4& track);

// The slowly turning offset of the orbiting camera (scene time only).
vmath::Vec3 OrbitOffset(double sceneTime);

// Orbiting the point of the "PteroCamera" track at 80..200 units, never below
// height 10, z up.
CameraPose OrbitCameraPose(const vmath::Mat4& pteroTrack, vmath::Vec3 offset);

// What the sound listener receives; forward is target - eye, unnormalised.
struct ListenerValues {
    vmath::Vec3 position;
    vmath::Vec3 forward;
    vmath::Vec3 up;
    float range = 8000;
    float speed = 0.5f;
};
ListenerValues ListenerFor(const CameraPose& pose);

vmath::Mat4 ViewMatrix(const CameraPose& pose);
// 90 degrees vertical, aspect 4/3 whatever the screen, near 5, far 35000.
vmath::Mat4 ProjectionMatrix();

// A track matrix with its axes reordered for the pterodactyl model: the
// model's x follows the track's z, y the track's x, z the track's y.
vmath::Mat4 PterodactylWorld(const vmath::Mat4& track);

constexpr int32_t kFlockSize = 10;
// The sample time of flock member j: 637 frames apart at one frame a second,
// wrapped by `frameCount` (the path's loop at that rate) when it is given.
float FlockSampleTime(int32_t member, double sceneTime, int32_t frameCount = 0);
// The world matrix of a flock member from its "Ptero" track matrix: three
// times the leading pterodactyl's size.
vmath::Mat4 FlockMemberWorld(const vmath::Mat4& pteroTrack);

// Inputs of one sub-frame's camera.
struct CameraInputs {
    double sceneTime = 0;        // T, the sum of smoothed frame times
    double pathStartOffset = 0;  // drawn once per engine
    double frameTime = 0;        // smoothed frame time
    int32_t subFrame = 0;        // k
    int32_t subFrameCount = 1;   // N
    int32_t velocity = 50;
    bool classicCamera = false;
};

struct CameraFrame {
    CameraPose pose;
    vmath::Mat4 view;
    ListenerValues listener;
    float pathTime = 0;  // with pathRate: what the helicopter sound receives
    float pathRate = 0;
};

// Samples the path for one sub-frame and derives the camera from it. The
// skeleton keeps that pose, so PlaceLeader can read it next.
CameraFrame UpdateCamera(CSkeleton& path, const CameraInputs& in);

// The leading pterodactyl's world matrix from the pose UpdateCamera left.
vmath::Mat4 LeaderWorld(const CSkeleton& path);

// Re-samples the path once per flock member and hands each world matrix to
// `place(member, world)`. Does nothing when the path has no "Ptero" track.
template <class F>
void PlaceFlock(CSkeleton& path, double sceneTime, F&& place);

bool SampleFlockMember(CSkeleton& path, int32_t pteroBone, int32_t member, double sceneTime, vmath::Mat4& world);
int32_t FlockBone(const CSkeleton& path);

template <class F>
void PlaceFlock(CSkeleton& path, double sceneTime, F&& place)
{
    const int32_t bone = FlockBone(path);
    if (bone < 0)
        return;
    for (int32_t j = 0; j < kFlockSize; ++j) {
        vmath::Mat4 world;
        SampleFlockMember(path, bone, j, sceneTime, world);
        place(j, world);
    }
}

}  // namespace camera
