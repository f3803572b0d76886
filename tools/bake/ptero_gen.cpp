// Pterodactyl model and animation.
//
// Frame 0 is the rest pose (wings spread, no rotations), which is also the
// bind pose the engine derives. Clip 0 (frames 1-19) is a slow cruising
// beat, clip 1 (21-39) a soaring glide with small wing trims and a look
// around, clip 2 (41-59) a hard fast beat whose downstroke passes its middle
// at frame 45, where the engine fires the flap sound. Each clip's frames
// cover exactly one cycle, so the step from its last frame back to its first
// is like every other step.
#include "bake/ptero_gen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bake/textures.h"
#include "model/anim_math.h"

namespace bake {

using vmath::Vec3;

namespace {

constexpr float kPi = 3.14159265f;

enum Bone : int32_t {
    kBody, kChest, kNeck1, kNeck2, kHead, kJaw, kCrest, kTail1, kTail2, kTail3,
    kLHumerus, kLForearm, kLHand, kLFinger1, kLFinger2,
    kRHumerus, kRForearm, kRHand, kRFinger1, kRFinger2,
    kLThigh, kLShin, kRThigh, kRShin,
    kBoneCount
};

struct BoneDef {
    const char* name;
    int32_t parent;
    Vec3 offset;  // from the parent, rest pose
};

const BoneDef kBones[kBoneCount] = {
    {"Body", -1, {0, 0, 0}},          {"Chest", kBody, {6, 0, 0.5f}},
    {"Neck1", kChest, {5, 0, 1.5f}},  {"Neck2", kNeck1, {4.5f, 0, 2.0f}},
    {"Head", kNeck2, {4, 0, 1.0f}},   {"Jaw", kHead, {1.5f, 0, -1.0f}},
    {"Crest", kHead, {-1.5f, 0, 1.5f}}, {"Tail1", kBody, {-7, 0, 0.3f}},
    {"Tail2", kTail1, {-3.5f, 0, 0}}, {"Tail3", kTail2, {-3, 0, 0}},
    {"LHumerus", kChest, {0.5f, 2.5f, 1.0f}},  {"LForearm", kLHumerus, {0.5f, 7, 0}},
    {"LHand", kLForearm, {1.5f, 10, 0}},       {"LFinger1", kLHand, {-1.0f, 5, 0}},
    {"LFinger2", kLFinger1, {-3.0f, 9, 0}},
    {"RHumerus", kChest, {0.5f, -2.5f, 1.0f}}, {"RForearm", kRHumerus, {0.5f, -7, 0}},
    {"RHand", kRForearm, {1.5f, -10, 0}},      {"RFinger1", kRHand, {-1.0f, -5, 0}},
    {"RFinger2", kRFinger1, {-3.0f, -9, 0}},
    {"LThigh", kBody, {-5, 2, -1}},   {"LShin", kLThigh, {-3, 0.5f, -2}},
    {"RThigh", kBody, {-5, -2, -1}},  {"RShin", kRThigh, {-3, -0.5f, -2}},
};

struct LocalKey {
    Vec3 position;
    Vec3 rotation;
};

// Rest-pose global position of every bone (no rotations in frame 0).
std::array<Vec3, kBoneCount> RestPositions()
{
    std::array<Vec3, kBoneCount> p{};
    for (int32_t b = 0; b < kBoneCount; ++b)
        p[size_t(b)] = kBones[b].parent < 0 ? kBones[b].offset : p[size_t(kBones[b].parent)] + kBones[b].offset;
    return p;
}

// One wing beat: elevation of the arm (radians, positive raises the wing),
// lagging elevations further out, and a backward sweep of the outer wing
// that folds it on the upstroke.
struct WingPose {
    float humerus, forearm, hand, finger, sweep, twist;
};

WingPose Beat(float phase, float amplitude, float fold)
{
    const float w = 2 * kPi * phase;
    WingPose p;
    // Phase 0 is the top of the stroke, 0.5 the bottom.
    p.humerus = amplitude * std::cos(w) + 0.05f;
    p.forearm = 0.45f * amplitude * std::cos(w - 0.5f);
    p.hand = 0.35f * amplitude * std::cos(w - 0.9f);
    p.finger = 0.30f * amplitude * std::cos(w - 1.3f) - 0.05f;
    p.sweep = fold * std::max(0.0f, -std::sin(w));
    p.twist = 0.15f * amplitude * std::sin(w);
    return p;
}

std::array<LocalKey, kBoneCount> PoseForFrame(int32_t frame)
{
    std::array<LocalKey, kBoneCount> keys{};
    for (int32_t b = 0; b < kBoneCount; ++b)
        keys[size_t(b)].position = kBones[b].offset;

    WingPose wing{0.05f, 0, 0, -0.05f, 0, 0};
    float bob = 0, neck = 0, headYaw = 0, jaw = 0, tail = 0, legs = 0.35f;
    if (frame >= 1 && frame <= 19) {
        const float phase = float(frame - 1) / 19.0f;
        wing = Beat(phase, 0.38f, 0.25f);
        bob = 0.6f * std::sin(2 * kPi * phase);
        neck = -0.04f * std::cos(2 * kPi * phase);
        tail = 0.05f * std::sin(2 * kPi * phase);
    } else if (frame >= 21 && frame <= 39) {
        const float phase = float(frame - 21) / 19.0f;
        const float w = 2 * kPi * phase;
        wing = {0.12f + 0.08f * std::sin(w), -0.05f + 0.04f * std::sin(w - 0.6f), 0.03f * std::sin(w - 1.0f),
                -0.08f + 0.05f * std::sin(w - 1.4f), 0.05f + 0.04f * std::sin(w * 2), 0.04f * std::sin(w)};
        bob = 0.3f * std::sin(w);
        headYaw = 0.35f * std::sin(w);
        jaw = 0.12f * std::max(0.0f, std::sin(2 * w));
        tail = 0.12f * std::sin(w + 1.0f);
        legs = 0.45f;
    } else if (frame >= 41 && frame <= 59) {
        // Shifted so frame 45 sits in the middle of the downstroke.
        const float phase = float(frame - 41) / 19.0f + 0.04f;
        wing = Beat(phase, 0.78f, 0.55f);
        bob = 1.4f * std::sin(2 * kPi * phase);
        neck = -0.10f * std::cos(2 * kPi * phase);
        tail = 0.10f * std::sin(2 * kPi * phase + 0.5f);
        jaw = 0.05f;
        legs = 0.25f;
    }
    keys[kBody].position.z += bob;
    keys[kBody].rotation.y = -0.03f * bob;  // nose up a touch as the body lifts
    keys[kNeck1].rotation.y = neck;
    keys[kNeck2].rotation.y = -neck * 0.5f;
    keys[kHead].rotation.z = headYaw;
    keys[kHead].rotation.y = neck * 0.8f;
    keys[kJaw].rotation.y = jaw;
    keys[kTail1].rotation.z = tail;
    keys[kTail2].rotation.z = tail * 1.3f;
    keys[kTail3].rotation.z = tail * 1.6f;
    // The left wing reaches along +y: a rotation about x raises it, one about
    // z sweeps it back. The right wing mirrors both signs.
    const int32_t left[5] = {kLHumerus, kLForearm, kLHand, kLFinger1, kLFinger2};
    const int32_t right[5] = {kRHumerus, kRForearm, kRHand, kRFinger1, kRFinger2};
    const float elevation[5] = {wing.humerus, wing.forearm, wing.hand, wing.finger, wing.finger * 0.7f};
    const float sweep[5] = {0.0f, wing.sweep * 0.6f, wing.sweep, wing.sweep * 0.5f, 0.0f};
    for (int k = 0; k < 5; ++k) {
        keys[size_t(left[k])].rotation = {elevation[k], k == 2 ? wing.twist : 0.0f, sweep[k]};
        keys[size_t(right[k])].rotation = {-elevation[k], k == 2 ? wing.twist : 0.0f, -sweep[k]};
    }
    keys[kLThigh].rotation.y = legs;
    keys[kRThigh].rotation.y = legs;
    keys[kLShin].rotation.y = 0.3f;
    keys[kRShin].rotation.y = 0.3f;
    return keys;
}

struct Vertex {
    Vec3 p;
    Vec3 n;
    float u, v;  // picture coordinates, v from the top
    int32_t bone;
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<std::array<int32_t, 3>> faces;

    int32_t Add(Vec3 p, float u, float v, int32_t bone)
    {
        vertices.push_back({p, {}, u, v, bone});
        return int32_t(vertices.size() - 1);
    }
    // Orders the corners so the face's normal points along `outward`.
    void Tri(int32_t a, int32_t b, int32_t c, Vec3 outward)
    {
        const Vec3 n = vmath::Cross(vertices[size_t(b)].p - vertices[size_t(a)].p,
                                    vertices[size_t(c)].p - vertices[size_t(a)].p);
        if (vmath::Dot(n, outward) < 0)
            std::swap(b, c);
        faces.push_back({a, b, c});
    }
};

float MapU(const SkinRegion& r, float t) { return r.u0 + (r.u1 - r.u0) * std::clamp(t, 0.0f, 1.0f); }
float MapV(const SkinRegion& r, float t) { return r.v0 + (r.v1 - r.v0) * std::clamp(t, 0.0f, 1.0f); }

// Body, neck, head and beak as one loft of rings around the spine.
void BuildLoft(Mesh& m, const std::array<Vec3, kBoneCount>& rest)
{
    struct Ring {
        float x, z;            // centre along the spine
        float halfWidth, halfHeight;
        int32_t bone;
        bool head;             // head or beak: uses the head picture
        int32_t jawBone;       // lower half rides this bone (beak), or -1
    };
    const Vec3 head = rest[kHead];
    const Ring rings[] = {
        {-13.0f, 0.3f, 0.5f, 0.5f, kTail3, false, -1},
        {-10.0f, 0.3f, 0.9f, 0.9f, kTail2, false, -1},
        {-6.5f, 0.3f, 1.5f, 1.5f, kTail1, false, -1},
        {-4.0f, 0.0f, 2.4f, 2.3f, kBody, false, -1},
        {0.0f, 0.2f, 3.1f, 2.8f, kBody, false, -1},
        {4.0f, 0.5f, 3.3f, 3.0f, kChest, false, -1},
        {7.5f, 1.0f, 2.6f, 2.5f, kChest, false, -1},
        {10.5f, 2.2f, 1.5f, 1.6f, kNeck1, false, -1},
        {14.0f, 3.8f, 1.2f, 1.3f, kNeck2, false, -1},
        {head.x - 1.5f, head.z - 0.2f, 1.5f, 1.9f, kHead, true, -1},
        {head.x + 1.0f, head.z, 1.6f, 2.0f, kHead, true, -1},
        {head.x + 4.0f, head.z - 0.4f, 0.9f, 1.4f, kHead, true, kJaw},
        {head.x + 8.0f, head.z - 0.8f, 0.5f, 0.8f, kHead, true, kJaw},
        {head.x + 12.0f, head.z - 1.2f, 0.2f, 0.35f, kHead, true, kJaw},
    };
    constexpr int32_t kSides = 8;
    const float xMin = rings[0].x - 2.5f, xMax = rings[std::size(rings) - 1].x + 3.0f;
    const SkinRegion body = PteroSkinBody(), headSkin = PteroSkinHead();
    std::vector<std::array<int32_t, kSides>> ids;
    for (const Ring& r : rings) {
        std::array<int32_t, kSides> ring{};
        for (int32_t k = 0; k < kSides; ++k) {
            const float a = 2 * kPi * float(k) / kSides;  // 0 on the back
            const Vec3 p{r.x, r.halfWidth * std::sin(a), r.z + r.halfHeight * std::cos(a)};
            const float around = std::fabs(std::remainder(a, 2 * kPi)) / kPi;  // 0 back, 1 belly
            const float along = (r.x - xMin) / (xMax - xMin);
            const bool lower = std::cos(a) < -0.1f;
            const int32_t bone = (r.jawBone >= 0 && lower) ? r.jawBone : r.bone;
            const float u = r.head ? MapU(headSkin, (r.x - (head.x - 2)) / 14.0f) : MapU(body, along);
            const float v = r.head ? MapV(headSkin, around) : MapV(body, around);
            ring[size_t(k)] = m.Add(p, u, v, bone);
        }
        ids.push_back(ring);
    }
    for (size_t i = 0; i + 1 < ids.size(); ++i)
        for (int32_t k = 0; k < kSides; ++k) {
            const int32_t k1 = (k + 1) % kSides;
            const Vec3 centre{(rings[i].x + rings[i + 1].x) / 2, 0, (rings[i].z + rings[i + 1].z) / 2};
            const Vec3 mid = m.vertices[size_t(ids[i][size_t(k)])].p;
            const Vec3 out = mid - centre;
            m.Tri(ids[i][size_t(k)], ids[i + 1][size_t(k)], ids[i + 1][size_t(k1)], out);
            m.Tri(ids[i][size_t(k)], ids[i + 1][size_t(k1)], ids[i][size_t(k1)], out);
        }
    // Pointed ends: the tail tip and the beak tip.
    const int32_t tailTip = m.Add({xMin, 0, 0.3f}, MapU(body, 0), MapV(body, 0.3f), kTail3);
    const int32_t beakTip = m.Add({xMax, 0, head.z - 1.6f}, MapU(headSkin, 1), MapV(headSkin, 0.5f), kHead);
    for (int32_t k = 0; k < kSides; ++k) {
        const int32_t k1 = (k + 1) % kSides;
        m.Tri(tailTip, ids.front()[size_t(k)], ids.front()[size_t(k1)], {-1, 0, 0});
        m.Tri(beakTip, ids.back()[size_t(k)], ids.back()[size_t(k1)], {1, 0, 0});
    }
}

// A crest sweeping back and up from the skull, as long as the beak: a flat
// blade (front top, tip, back bottom, front bottom) seen from both sides.
void BuildCrest(Mesh& m, const std::array<Vec3, kBoneCount>& rest)
{
    const Vec3 h = rest[kHead];
    const SkinRegion skin = PteroSkinCrest();
    const Vec3 pts[4] = {{h.x + 2.0f, 0, h.z + 1.9f}, {h.x - 13.0f, 0, h.z + 7.0f}, {h.x - 7.0f, 0, h.z + 2.6f},
                         {h.x - 1.0f, 0, h.z + 1.2f}};
    const float uv[4][2] = {{0, 0.1f}, {1, 0.4f}, {0.6f, 0.95f}, {0.1f, 1}};
    for (float side : {1.0f, -1.0f}) {
        int32_t id[4];
        for (int k = 0; k < 4; ++k)
            id[k] = m.Add(pts[k] + Vec3{0, side * 0.15f, 0}, MapU(skin, uv[k][0]), MapV(skin, uv[k][1]), kCrest);
        m.Tri(id[0], id[3], id[2], {0, side, 0});
        m.Tri(id[0], id[2], id[1], {0, side, 0});
    }
}

// One wing: leading edge along the arm and finger bones, a cambered middle
// row and the trailing edge back to the leg. Top and bottom surfaces have
// their own vertices so each side is lit with its own normal.
void BuildWing(Mesh& m, const std::array<Vec3, kBoneCount>& rest, bool leftSide)
{
    const float s = leftSide ? 1.0f : -1.0f;
    const int32_t humerus = leftSide ? kLHumerus : kRHumerus, forearm = leftSide ? kLForearm : kRForearm;
    const int32_t hand = leftSide ? kLHand : kRHand, finger1 = leftSide ? kLFinger1 : kRFinger1;
    const int32_t finger2 = leftSide ? kLFinger2 : kRFinger2, thigh = leftSide ? kLThigh : kRThigh;
    struct Station {
        Vec3 lead;
        float chord;
        int32_t bone;
        int32_t trailBone;
    };
    const Vec3 tip = rest[size_t(finger2)] + Vec3{-4.5f, s * 8.0f, 0};
    const Station st[] = {
        {rest[size_t(humerus)], 12.0f, humerus, thigh},
        {rest[size_t(forearm)], 14.0f, forearm, humerus},
        {rest[size_t(hand)], 12.5f, hand, forearm},
        {rest[size_t(finger1)], 9.5f, finger1, hand},
        {rest[size_t(finger2)], 5.5f, finger2, finger1},
        {tip, 0.0f, finger2, finger2},
    };
    constexpr size_t kStations = std::size(st);
    const SkinRegion skin = PteroSkinWing();
    const float span = std::fabs(tip.y - st[0].lead.y);
    for (float side : {1.0f, -1.0f}) {
        const float lift = side * 0.35f;
        int32_t lead[kStations], mid[kStations], trail[kStations];
        for (size_t i = 0; i < kStations; ++i) {
            const float t = std::fabs(st[i].lead.y - st[0].lead.y) / span;
            // Trailing edge swept back and, near the body, reaching the leg.
            const Vec3 trailPos = i == 0 ? rest[size_t(thigh)] + Vec3{-1.0f, s * 0.5f, 0}
                                         : st[i].lead + Vec3{-st[i].chord, s * st[i].chord * 0.15f, -0.3f};
            const Vec3 midPos = st[i].lead * 0.62f + trailPos * 0.38f + Vec3{0, 0, 0.6f};
            lead[i] = m.Add(st[i].lead + Vec3{0, 0, lift}, MapU(skin, t), MapV(skin, 0.0f), st[i].bone);
            mid[i] = m.Add(midPos + Vec3{0, 0, lift * 0.5f}, MapU(skin, t), MapV(skin, 0.45f), st[i].bone);
            trail[i] = i + 1 == kStations ? lead[i]
                                          : m.Add(trailPos, MapU(skin, t), MapV(skin, 1.0f), st[i].trailBone);
        }
        const Vec3 out{0, 0, side};
        for (size_t i = 0; i + 1 < kStations; ++i) {
            m.Tri(lead[i], lead[i + 1], mid[i + 1], out);
            m.Tri(lead[i], mid[i + 1], mid[i], out);
            if (i + 2 < kStations) {
                m.Tri(mid[i], mid[i + 1], trail[i + 1], out);
                m.Tri(mid[i], trail[i + 1], trail[i], out);
            } else {
                m.Tri(mid[i], mid[i + 1], trail[i], out);
            }
        }
    }
}

// Legs: a thin three-sided thigh and shin with a small foot, trailing back
// under the tail in flight.
void BuildLeg(Mesh& m, const std::array<Vec3, kBoneCount>& rest, bool leftSide)
{
    const int32_t thigh = leftSide ? kLThigh : kRThigh, shin = leftSide ? kLShin : kRShin;
    const SkinRegion skin = PteroSkinBody();
    const Vec3 hip = rest[size_t(thigh)], knee = rest[size_t(shin)];
    const Vec3 ankle = knee + Vec3{-3.5f, 0, -0.8f};
    const Vec3 toe = ankle + Vec3{-2.2f, 0, -0.2f};
    const Vec3 joints[3] = {hip + Vec3{1.0f, 0, 0.5f}, knee, ankle};
    const int32_t bones[3] = {thigh, shin, shin};
    const float radius[3] = {0.9f, 0.5f, 0.35f};
    int32_t ring[3][3];
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) {
            const float a = 2 * kPi * float(k) / 3;
            ring[j][k] = m.Add(joints[j] + Vec3{0, radius[j] * std::sin(a), radius[j] * std::cos(a)},
                               MapU(skin, 0.2f + 0.05f * float(j)), MapV(skin, 0.7f + 0.1f * float(k)), bones[j]);
        }
    for (int j = 0; j < 2; ++j)
        for (int k = 0; k < 3; ++k) {
            const int k1 = (k + 1) % 3;
            const Vec3 c = (joints[j] + joints[j + 1]) * 0.5f;
            const Vec3 out = m.vertices[size_t(ring[j][k])].p - c;
            m.Tri(ring[j][k], ring[j + 1][k], ring[j + 1][k1], out);
            m.Tri(ring[j][k], ring[j + 1][k1], ring[j][k1], out);
        }
    const int32_t toeId = m.Add(toe, MapU(skin, 0.3f), MapV(skin, 0.9f), shin);
    for (int k = 0; k < 3; ++k)
        m.Tri(toeId, ring[2][k], ring[2][(k + 1) % 3], toe - ankle);
}

void ComputeNormals(Mesh& m)
{
    std::vector<Vec3> sum(m.vertices.size());
    for (const auto& f : m.faces) {
        const Vec3 a = m.vertices[size_t(f[0])].p, b = m.vertices[size_t(f[1])].p, c = m.vertices[size_t(f[2])].p;
        const Vec3 n = vmath::Cross(b - a, c - a);
        for (int32_t i : f)
            sum[size_t(i)] = sum[size_t(i)] + n;
    }
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const float len = vmath::Length(sum[i]);
        m.vertices[i].n = len > 0 ? sum[i] * (1.0f / len) : Vec3{0, 0, 1};
    }
}

}  // namespace

std::string MakePteroText()
{
    const auto rest = RestPositions();
    Mesh mesh;
    BuildLoft(mesh, rest);
    BuildCrest(mesh, rest);
    BuildWing(mesh, rest, true);
    BuildWing(mesh, rest, false);
    BuildLeg(mesh, rest, true);
    BuildLeg(mesh, rest, false);
    ComputeNormals(mesh);

    std::string out;
    char buf[256];
    out += "bones\n{\n";
    for (int32_t b = 0; b < kBoneCount; ++b) {
        std::snprintf(buf, sizeof buf, "%d %s %d\n", b, kBones[b].name, kBones[b].parent);
        out += buf;
    }
    out += "}\nanimation\n{\n";
    for (int32_t f = 0; f < kPteroFrames; ++f) {
        std::snprintf(buf, sizeof buf, "frame %d\n{\n", f);
        out += buf;
        const auto keys = PoseForFrame(f);
        for (const LocalKey& k : keys) {
            std::snprintf(buf, sizeof buf, "%.6f %.6f %.6f %.6f %.6f %.6f\n", double(k.position.x),
                          double(k.position.y), double(k.position.z), double(k.rotation.x), double(k.rotation.y),
                          double(k.rotation.z));
            out += buf;
        }
        out += "}\n";
    }
    out += "}\nshaders\n{\n0 textures/ptero.bmp\n}\nvertices\n{\n";
    for (const Vertex& v : mesh.vertices) {
        // The reader stores 1 - v; the picture's v runs from the top.
        std::snprintf(buf, sizeof buf, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %d\n", double(v.p.x), double(v.p.y),
                      double(v.p.z), double(v.n.x), double(v.n.y), double(v.n.z), double(v.u), double(1 - v.v),
                      v.bone);
        out += buf;
    }
    out += "}\nfaces\n{\n";
    for (const auto& f : mesh.faces) {
        std::snprintf(buf, sizeof buf, "%d %d %d 0\n", f[0], f[1], f[2]);
        out += buf;
    }
    out += "}\n";
    return out;
}

}  // namespace bake
