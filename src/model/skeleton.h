// CSkeleton: named bones with a parent hierarchy and a table of keyframes,
// sampled into one pose at a time (looping spline, clip, cross-fade).
//
// Used both for the flight path (unparented tracks) and for the
// pterodactyl's bone hierarchy. Sampling works in place and never allocates.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/anim_math.h"

struct BoneKey {
    float px = 0, py = 0, pz = 0;
    float rx = 0, ry = 0, rz = 0;  // radians, applied about x, then y, then z
};

struct SkeletonBone {
    std::string name;
    int32_t parent = -1;
    vmath::Mat4 bindInverse;
    vmath::Mat4 current;
};

// One bone's pose for cross-fades: global position and rotation.
struct BonePose {
    float px = 0, py = 0, pz = 0;
    float qx = 0, qy = 0, qz = 0, qw = 1;
};
static_assert(sizeof(BonePose) == 28);

struct AnimClip {
    int32_t first = 0;
    int32_t last = 0;  // inclusive
    float speed = 0;   // frames per second
    bool loop = false;
};

// The frame position x mapped into the clip: wrapped for a looping clip,
// clamped to first..last otherwise.
float WrapClipFrame(const AnimClip& clip, float x);

// The four keys and the fraction of one looping spline sample.
struct SplineSpan {
    int32_t p = 0, c = 0, d = 0, e = 0;
    float s = 0;
};
SplineSpan LoopingSplineSpan(float time, float speed, int32_t frameCount);

// The two keys and the fraction of one clip sample, already clamped into a
// table of frameCount frames.
struct ClipSpan {
    int32_t k0 = 0, k1 = 0;
    float s = 0;
};
ClipSpan ClipSampleSpan(const AnimClip& clip, float t, int32_t frameCount);

class CSkeleton {
public:
    // Reads "bones" and "animation" from the archive member at `path`.
    bool Load(std::string_view path);
    // The same from bytes in memory (the archive member's content).
    bool LoadFromBytes(std::span<const uint8_t> bytes);
    bool LoadFromText(std::string_view text)
    {
        return LoadFromBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }

    int32_t BoneCount() const { return static_cast<int32_t>(m_bones.size()); }
    int32_t FrameCount() const { return m_frameCount; }
    int32_t FindBone(std::string_view name) const;
    const std::vector<SkeletonBone>& Bones() const { return m_bones; }

    void Sample(float time, float speed);
    void SampleClip(const AnimClip& clip, float t);
    void CapturePose(std::vector<BonePose>& poses) const;
    void BlendFromPose(std::span<const BonePose> poses, float weight);

    vmath::Mat4 GetBoneMatrix(int32_t bone) const;
    vmath::Mat4 GetBindInverse(int32_t bone) const;
    vmath::Vec3 GetKeyPosition(int32_t bone, int32_t frame) const;

private:
    bool ParseSections(std::span<const uint8_t> bytes);
    bool FinishLoad();
    void ComputeBindPose();
    void ApplyHierarchy();
    void SetAllCurrent(const vmath::Mat4& m);
    const BoneKey& Key(int32_t frame, int32_t bone) const { return m_keys[size_t(frame) * m_bones.size() + size_t(bone)]; }
    const vmath::Quat& KeyQuat(int32_t frame, int32_t bone) const
    {
        return m_keyQuats[size_t(frame) * m_bones.size() + size_t(bone)];
    }

    std::vector<SkeletonBone> m_bones;
    // frames x bones, row by frame; keys past the bone count are dropped.
    std::vector<BoneKey> m_keys;
    // Each key's rotation as a quaternion, converted once at load.
    std::vector<vmath::Quat> m_keyQuats;
    int32_t m_frameCount = 0;

    // Parse scratch: keys as read and where each frame starts.
    std::vector<BoneKey> m_rawKeys;
    std::vector<uint32_t> m_frameStarts;
};
