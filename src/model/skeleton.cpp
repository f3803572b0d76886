// Skeleton reading, bind pose and keyframe sampling.
#include "model/skeleton.h"

#include <algorithm>
#include <cmath>

#include "archive/archive.h"
#include "model/token_reader.h"

using vmath::Mat4;
using vmath::Quat;
using vmath::Vec3;

namespace {

// Positive remainder of an integral float value; done in double so that
// huge or negative times never reach an integer conversion that overflows.
int32_t WrapIndex(double value, int32_t count)
{
    double r = std::fmod(value, static_cast<double>(count));
    if (r < 0)
        r += count;
    const auto index = static_cast<int32_t>(r);
    return index >= count ? 0 : index;
}

bool ParseBones(CTokenReader& reader, std::vector<SkeletonBone>& bones)
{
    return tokens::ForEachRecord(reader, [&] {
        // The index token is ignored: a bone's index is its list position.
        SkeletonBone bone;
        if (!reader.Next())
            return false;
        bone.name = std::string(reader.Token());
        int32_t parent = 0;
        if (!tokens::ReadInt(reader, parent))
            return false;
        bone.parent = parent < 0 ? -1 : parent;
        bones.push_back(std::move(bone));
        return true;
    });
}

bool ParseAnimation(CTokenReader& reader, std::vector<BoneKey>& keys, std::vector<uint32_t>& frameStarts)
{
    for (;;) {
        switch (tokens::NextRecord(reader)) {
        case tokens::Record::End:
            return true;
        case tokens::Record::Fail:
            return false;
        case tokens::Record::Start:
            break;
        }
        if (!reader.TokenIs("frame"))
            return false;
        // The frame number is ignored: frames are numbered by their order.
        if (!tokens::Skip(reader, 1) || !tokens::OpenSection(reader))
            return false;
        frameStarts.push_back(static_cast<uint32_t>(keys.size()));
        for (;;) {
            const auto record = tokens::NextRecord(reader);
            if (record == tokens::Record::Fail)
                return false;
            if (record == tokens::Record::End)
                break;
            BoneKey key;
            key.px = reader.TokenAsFloat();
            if (!tokens::ReadFloat(reader, key.py) || !tokens::ReadFloat(reader, key.pz) ||
                !tokens::ReadFloat(reader, key.rx) || !tokens::ReadFloat(reader, key.ry) ||
                !tokens::ReadFloat(reader, key.rz))
                return false;
            keys.push_back(key);
        }
    }
}

bool SameNameIgnoreCase(std::string_view a, std::string_view b) { return EqualsIgnoreCase(a, b); }

}  // namespace

float WrapClipFrame(const AnimClip& clip, float x)
{
    // A clip whose range is empty or whose position is not a number has no
    // sensible frame; its first frame is used (the caller's clips are valid).
    if (!std::isfinite(x) || clip.last < clip.first)
        return static_cast<float>(clip.first);
    if (!clip.loop)
        return std::clamp(x, static_cast<float>(clip.first), static_cast<float>(clip.last));
    const double len = static_cast<double>(clip.last) - clip.first + 1;
    const double whole = std::floor(static_cast<double>(x));
    double d = std::fmod(whole - clip.first, len);
    if (d < 0)
        d += len;
    return static_cast<float>(clip.first + d + (static_cast<double>(x) - whole));
}

SplineSpan LoopingSplineSpan(float time, float speed, int32_t frameCount)
{
    if (!(speed > 0))
        speed = 1;
    float m = time * speed;
    if (!std::isfinite(m))
        m = 0;
    const float c0 = std::floor(m);
    SplineSpan span;
    span.s = m - c0;
    if (frameCount <= 1)
        return span;
    const int32_t n = frameCount;
    span.c = WrapIndex(c0, n);
    span.p = span.c == 0 ? n - 1 : span.c - 1;
    span.d = (span.c + 1) % n;
    span.e = (span.c + 2) % n;
    return span;
}

ClipSpan ClipSampleSpan(const AnimClip& clip, float t, int32_t frameCount)
{
    float b = clip.speed * t + static_cast<float>(clip.first);
    if (!std::isfinite(b))
        b = static_cast<float>(clip.first);
    const float b0 = std::floor(b);
    ClipSpan span;
    span.s = b - b0;
    // A clip range outside the frame table would read keys that do not
    // exist; both keys are clamped into the table.
    auto toKey = [frameCount](float f) {
        const double v = std::clamp(static_cast<double>(f), 0.0, static_cast<double>(std::max(frameCount - 1, 0)));
        return static_cast<int32_t>(v);
    };
    const float f0 = std::trunc(WrapClipFrame(clip, b0));
    span.k0 = toKey(f0);
    span.k1 = toKey(std::trunc(WrapClipFrame(clip, f0 + 1)));
    return span;
}

bool CSkeleton::Load(std::string_view path)
{
    m_bones.clear();
    m_keys.clear();
    m_keyQuats.clear();
    m_frameCount = 0;
    const DataRef file = ReadArchiveFile(path);
    if (!file)
        return false;
    return LoadFromBytes(file.Bytes());
}

bool CSkeleton::LoadFromBytes(std::span<const uint8_t> bytes)
{
    m_bones.clear();
    m_keys.clear();
    m_keyQuats.clear();
    m_frameCount = 0;
    m_rawKeys.clear();
    m_frameStarts.clear();
    const bool ok = ParseSections(bytes) && FinishLoad();
    m_rawKeys = {};
    m_frameStarts = {};
    return ok;
}

bool CSkeleton::ParseSections(std::span<const uint8_t> bytes)
{
    CTokenReader reader(bytes);
    bool haveBones = false;
    bool haveAnimation = false;
    // Stops as soon as both sections are complete: a mesh file's later
    // sections are never looked at by this reader.
    while (!(haveBones && haveAnimation) && reader.Next()) {
        if (reader.TokenIs("bones")) {
            if (!tokens::OpenSection(reader) || !ParseBones(reader, m_bones))
                return false;
            haveBones = true;
        } else if (reader.TokenIs("animation")) {
            if (!tokens::OpenSection(reader) || !ParseAnimation(reader, m_rawKeys, m_frameStarts))
                return false;
            haveAnimation = true;
        }
    }
    return haveBones && haveAnimation;
}

bool CSkeleton::FinishLoad()
{
    const size_t boneCount = m_bones.size();
    // Sampling composes each bone with a parent already computed in the same
    // pass; a parent at or after its child (or past the list) is rejected
    // here rather than read out of order or out of range later.
    for (size_t i = 0; i < boneCount; ++i) {
        if (m_bones[i].parent >= static_cast<int32_t>(i))
            return false;
    }
    const size_t frameCount = m_frameStarts.size();
    if (frameCount > static_cast<size_t>(INT32_MAX))
        return false;
    // Every frame must hold a key for every bone; extra keys are never read
    // and are dropped so that the table has one row of bones per frame.
    // Checked for every frame before the table is sized: the table is then
    // no larger than the keys the file really holds.
    auto frameEnd = [&](size_t f) { return f + 1 < frameCount ? m_frameStarts[f + 1] : m_rawKeys.size(); };
    for (size_t f = 0; f < frameCount; ++f) {
        if (frameEnd(f) - m_frameStarts[f] < boneCount)
            return false;
    }
    m_keys.reserve(frameCount * boneCount);
    for (size_t f = 0; f < frameCount; ++f) {
        const size_t start = m_frameStarts[f];
        m_keys.insert(m_keys.end(), m_rawKeys.begin() + static_cast<ptrdiff_t>(start),
                      m_rawKeys.begin() + static_cast<ptrdiff_t>(start + boneCount));
    }
    m_frameCount = static_cast<int32_t>(frameCount);
    m_keyQuats.resize(m_keys.size());
    for (size_t i = 0; i < m_keys.size(); ++i)
        m_keyQuats[i] = vmath::QuatFromEuler(m_keys[i].rx, m_keys[i].ry, m_keys[i].rz);

    // Without frames there is no bind pose; identity matrices keep every
    // user of the skeleton well defined.
    SetAllCurrent(vmath::Identity());
    for (auto& bone : m_bones)
        bone.bindInverse = vmath::Identity();
    if (m_frameCount > 0 && boneCount > 0)
        ComputeBindPose();
    return true;
}

void CSkeleton::ComputeBindPose()
{
    for (size_t i = 0; i < m_bones.size(); ++i) {
        const BoneKey& key = Key(0, static_cast<int32_t>(i));
        Mat4 local = vmath::RotationFromEuler(key.rx, key.ry, key.rz);
        local.m[3][0] = key.px;
        local.m[3][1] = key.py;
        local.m[3][2] = key.pz;
        const int32_t parent = m_bones[i].parent;
        m_bones[i].bindInverse = parent >= 0 ? vmath::Multiply(local, m_bones[size_t(parent)].bindInverse) : local;
    }
    for (auto& bone : m_bones) {
        // A singular or non-finite bind matrix (only reachable with absurd
        // key values) has no inverse; such a bone keeps the identity.
        Mat4 inverse;
        if (!vmath::Inverse(bone.bindInverse, inverse))
            inverse = vmath::Identity();
        bone.bindInverse = inverse;
    }
}

void CSkeleton::SetAllCurrent(const Mat4& m)
{
    for (auto& bone : m_bones)
        bone.current = m;
}

void CSkeleton::ApplyHierarchy()
{
    for (auto& bone : m_bones) {
        if (bone.parent >= 0)
            bone.current = vmath::Multiply(bone.current, m_bones[size_t(bone.parent)].current);
    }
}

int32_t CSkeleton::FindBone(std::string_view name) const
{
    for (size_t i = 0; i < m_bones.size(); ++i) {
        if (SameNameIgnoreCase(m_bones[i].name, name))
            return static_cast<int32_t>(i);
    }
    return -1;
}

void CSkeleton::Sample(float time, float speed)
{
    if (m_frameCount == 0) {
        SetAllCurrent(vmath::Identity());
        return;
    }
    const SplineSpan span = LoopingSplineSpan(time, speed, m_frameCount);
    const float s = span.s;
    for (int32_t i = 0; i < BoneCount(); ++i) {
        const Quat& q0 = KeyQuat(span.p, i);
        const Quat& q1 = KeyQuat(span.c, i);
        const Quat& q2 = KeyQuat(span.d, i);
        const Quat& q3 = KeyQuat(span.e, i);
        const Quat l01 = vmath::Slerp(q0, q1, s + 1);
        const Quat l12 = vmath::Slerp(q1, q2, s);
        const Quat l23 = vmath::Slerp(q2, q3, s - 1);
        const Quat a = vmath::Slerp(l01, l12, (s + 1) / 2);
        const Quat b = vmath::Slerp(l12, l23, s / 2);
        const Quat rotation = vmath::Slerp(a, b, s);
        auto pos = [this, i](int32_t f) {
            const BoneKey& k = Key(f, i);
            return Vec3{k.px, k.py, k.pz};
        };
        const Vec3 position = vmath::CatmullRom(pos(span.p), pos(span.c), pos(span.d), pos(span.e), s);
        m_bones[size_t(i)].current = vmath::RotationTranslation(rotation, position);
    }
    ApplyHierarchy();
}

void CSkeleton::SampleClip(const AnimClip& clip, float t)
{
    if (m_frameCount == 0) {
        SetAllCurrent(vmath::Identity());
        return;
    }
    const ClipSpan span = ClipSampleSpan(clip, t, m_frameCount);
    const float s = span.s;
    for (int32_t i = 0; i < BoneCount(); ++i) {
        const Quat rotation = vmath::Slerp(KeyQuat(span.k0, i), KeyQuat(span.k1, i), s);
        const BoneKey& a = Key(span.k0, i);
        const BoneKey& b = Key(span.k1, i);
        const Vec3 position{(1 - s) * a.px + s * b.px, (1 - s) * a.py + s * b.py, (1 - s) * a.pz + s * b.pz};
        m_bones[size_t(i)].current = vmath::RotationTranslation(rotation, position);
    }
    ApplyHierarchy();
}

void CSkeleton::CapturePose(std::vector<BonePose>& poses) const
{
    if (poses.size() != m_bones.size())
        poses.resize(m_bones.size());
    for (size_t i = 0; i < m_bones.size(); ++i) {
        const Mat4& m = m_bones[i].current;
        const Quat q = vmath::QuatFromMatrix(m);
        poses[i] = {m.m[3][0], m.m[3][1], m.m[3][2], q.x, q.y, q.z, q.w};
    }
}

void CSkeleton::BlendFromPose(std::span<const BonePose> poses, float weight)
{
    // A pose list shorter than the bone list blends only the bones it holds.
    const size_t count = std::min(poses.size(), m_bones.size());
    for (size_t i = 0; i < count; ++i) {
        Mat4& m = m_bones[i].current;
        const BonePose& p = poses[i];
        const Quat q = vmath::Slerp({p.qx, p.qy, p.qz, p.qw}, vmath::QuatFromMatrix(m), weight);
        const Vec3 position{(1 - weight) * p.px + weight * m.m[3][0], (1 - weight) * p.py + weight * m.m[3][1],
                            (1 - weight) * p.pz + weight * m.m[3][2]};
        m = vmath::RotationTranslation(q, position);
    }
}

Mat4 CSkeleton::GetBoneMatrix(int32_t bone) const
{
    if (bone < 0 || bone >= BoneCount())
        return vmath::Identity();
    return m_bones[size_t(bone)].current;
}

Mat4 CSkeleton::GetBindInverse(int32_t bone) const
{
    if (bone < 0 || bone >= BoneCount())
        return vmath::Identity();
    return m_bones[size_t(bone)].bindInverse;
}

Vec3 CSkeleton::GetKeyPosition(int32_t bone, int32_t frame) const
{
    if (bone < 0 || bone >= BoneCount() || frame < 0 || frame >= m_frameCount)
        return {};
    const BoneKey& k = Key(frame, bone);
    return {k.px, k.py, k.pz};
}
