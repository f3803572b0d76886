// Flight path generation and its checks.
#include "bake/flight_path.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bake/mesh_query.h"
#include "model/skeleton.h"

namespace bake {

using vmath::Vec3;

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct LinePoint {
    Vec2 p;
    Vec2 tangent;
    double halfWidth;
    double floorZ;
};

LinePoint AtArc(const CanyonLine& line, double s)
{
    s = std::fmod(s, line.length);
    if (s < 0)
        s += line.length;
    const size_t n = line.points.size();
    const size_t i = size_t(std::upper_bound(line.arc.begin(), line.arc.end(), s) - line.arc.begin()) - 1;
    const size_t j = (i + 1) % n;
    const double segEnd = j == 0 ? line.length : line.arc[j];
    const double f = (s - line.arc[i]) / std::max(1e-9, segEnd - line.arc[i]);
    const Vec2 a = line.points[i], b = line.points[j];
    LinePoint lp;
    lp.p = {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f};
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    lp.tangent = {(b.x - a.x) / len, (b.y - a.y) / len};
    lp.halfWidth = line.halfWidth[i] + (line.halfWidth[j] - line.halfWidth[i]) * f;
    lp.floorZ = line.floorZ[i] + (line.floorZ[j] - line.floorZ[i]) * f;
    return lp;
}

// The centre line with a full circle inserted at each pass through the
// basin, so the leading pterodactyl (and the camera with it) turns once
// around under the circling flock before flying on. Each circle leaves and
// rejoins the line along its tangent, on the side away from the buttes
// (negative y), so the track stays smooth.
CanyonLine WithBasinLoops(const CanyonLine& line, Vec2 centre, double radius)
{
    const size_t n = line.points.size();
    // The two passes: the nearest point to the centre in each half.
    size_t pass[2] = {0, n / 2};
    for (int h = 0; h < 2; ++h) {
        double best = 1e30;
        for (size_t k = 0; k < n / 2; ++k) {
            const size_t i = (k + (h == 0 ? n - n / 4 : n / 4)) % n;
            const double d = std::hypot(line.points[i].x - centre.x, line.points[i].y - centre.y);
            if (d < best) {
                best = d;
                pass[h] = i;
            }
        }
    }
    CanyonLine out;
    for (size_t i = 0; i < n; ++i) {
        out.points.push_back(line.points[i]);
        out.halfWidth.push_back(line.halfWidth[i]);
        out.floorZ.push_back(line.floorZ[i]);
        if (i != pass[0] && i != pass[1])
            continue;
        const Vec2 a = line.points[(i + n - 1) % n], b = line.points[(i + 1) % n];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        const Vec2 d{(b.x - a.x) / len, (b.y - a.y) / len};
        Vec2 side{-d.y, d.x};
        if (side.y > 0)
            side = {-side.x, -side.y};
        const Vec2 c{line.points[i].x + side.x * radius, line.points[i].y + side.y * radius};
        const int steps = int(kTwoPi * radius / 40.0);
        for (int k = 1; k < steps; ++k) {
            const double a2 = kTwoPi * double(k) / steps;
            out.points.push_back({c.x - side.x * radius * std::cos(a2) + d.x * radius * std::sin(a2),
                                  c.y - side.y * radius * std::cos(a2) + d.y * radius * std::sin(a2)});
            out.halfWidth.push_back(line.halfWidth[i]);
            out.floorZ.push_back(line.floorZ[i]);
        }
        // Back at the crossing point, heading on along the line.
        out.points.push_back(line.points[i]);
        out.halfWidth.push_back(line.halfWidth[i]);
        out.floorZ.push_back(line.floorZ[i]);
    }
    out.arc.assign(out.points.size(), 0);
    for (size_t i = 1; i < out.points.size(); ++i)
        out.arc[i] = out.arc[i - 1] + std::hypot(out.points[i].x - out.points[i - 1].x, out.points[i].y - out.points[i - 1].y);
    out.length = out.arc.back() + std::hypot(out.points.front().x - out.points.back().x,
                                             out.points.front().y - out.points.back().y);
    return out;
}

struct Key {
    Vec3 position;
    Vec3 rotation;  // Euler angles, x then y then z
};

// Euler angles of a rotation with the given rows (row-vector convention,
// R = Rx * Ry * Rz).
Vec3 EulerFromRows(Vec3 r0, Vec3 r1, Vec3 r2)
{
    const float sy = std::clamp(-r0.z, -1.0f, 1.0f);
    return {std::atan2(r1.z, r2.z), std::asin(sy), std::atan2(r0.y, r0.x)};
}

Vec3 Normalize(Vec3 v) { return v * (1.0f / std::max(1e-9f, vmath::Length(v))); }

// A track sampled at every frame: position function of the frame (with a
// fractional frame allowed), oriented along its own motion and banked into
// turns. The pterodactyl's tracks carry (left, up, forward) as their rows,
// the helicopter's (-forward, right, up).
template <class PositionFn>
std::vector<Key> MakeTrack(PositionFn&& position, float bankScale, bool helicopterRows)
{
    std::vector<Key> keys(kPathFrames);
    for (int32_t f = 0; f < kPathFrames; ++f) {
        const Vec3 prev = position(double(f) - 1.0), here = position(double(f)), next = position(double(f) + 1.0);
        const Vec3 forward = Normalize(next - prev);
        // Turn rate in the ground plane gives the bank angle.
        const double h0 = std::atan2(here.y - prev.y, here.x - prev.x);
        const double h1 = std::atan2(next.y - here.y, next.x - here.x);
        double turn = h1 - h0;
        while (turn > kTwoPi / 2)
            turn -= kTwoPi;
        while (turn < -kTwoPi / 2)
            turn += kTwoPi;
        const double speed = vmath::Length(next - prev) / 2;
        const float bank = float(std::clamp(bankScale * turn * speed / 20.0, -0.7, 0.7));
        const Vec3 left0 = Normalize(vmath::Cross({0, 0, 1}, forward));
        const Vec3 up0 = vmath::Cross(forward, left0);
        const Vec3 left = left0 * std::cos(bank) - up0 * std::sin(bank);
        const Vec3 up = up0 * std::cos(bank) + left0 * std::sin(bank);
        Key k;
        k.position = here;
        if (helicopterRows)  // looks along -x, z up
            k.rotation = EulerFromRows(forward * -1.0f, left * -1.0f, up);
        else  // the pterodactyl's axes: left, up, forward
            k.rotation = EulerFromRows(left, up, forward);
        keys[size_t(f)] = k;
    }
    return keys;
}

}  // namespace

std::string MakeFlightPathText(const CanyonLayout& layout)
{
    const CanyonLine& line = layout.line;
    const double L = line.length;

    // The leading pterodactyl: steady speed, weaving gently across the floor
    // and swooping between the upper walls and the rims, so the camera
    // circling it sees rock on both sides and sky above rather than sand,
    // and whenever it rises to the rims the view runs out over them to the
    // ranges (deep in the gorge the walls close every view within a few
    // thousand units). It flies over rim height in the basin, where it turns
    // a full circle at each pass and the view reaches across to the ranges.
    const Vec2 bc = layout.basinCentre;
    const double R = layout.basinRadius;
    const CanyonLine leadLine = WithBasinLoops(line, bc, 2600);
    auto openness = [&](Vec2 p) {
        const double r = std::hypot(p.x - bc.x, p.y - bc.y);
        const double f = std::clamp((R + 1800 - r) / 3000, 0.0, 1.0);
        return f * f * (3 - 2 * f);
    };
    auto ptero = [&](double f) {
        const double phi = f / kPathFrames;
        const double s = leadLine.length * phi;
        const LinePoint lp = AtArc(leadLine, s);
        const double room = std::max(0.0, lp.halfWidth - 450);
        const double lateral = 0.3 * room * std::sin(kTwoPi * 9 * phi);
        const double high = openness(lp.p);
        const double z = lp.floorZ + 1600 + 250 * std::sin(kTwoPi * 7 * phi + 1.0) * (1 - high) + high * 370;
        return Vec3{float(lp.p.x - lp.tangent.y * lateral), float(lp.p.y + lp.tangent.x * lateral), float(z)};
    };
    // The helicopter: half a loop ahead, a little lower, with its speed
    // swelling and easing four times a loop so the engine's pitch moves.
    auto heli = [&](double f) {
        const double phi = f / kPathFrames;
        const double s = L * (phi + 0.5 + 0.32 * std::sin(kTwoPi * 4 * phi) / (kTwoPi * 4));
        const LinePoint lp = AtArc(line, s);
        const double room = std::max(0.0, lp.halfWidth - 400);
        const double lateral = 0.35 * room * std::sin(kTwoPi * 5 * phi + 2.0);
        const double z = lp.floorZ + 700 + 160 * std::sin(kTwoPi * 7 * phi) + openness(lp.p) * 600;
        return Vec3{float(lp.p.x - lp.tangent.y * lateral), float(lp.p.y + lp.tangent.x * lateral), float(z)};
    };
    // The flock: sixteen circuits per loop, so members sampling this track
    // 37 frames apart (half a frame short of a whole circuit) circle
    // together. The circle itself moves on along the canyon every hundred
    // frames, from the basin to the far ends of both arms and back; since
    // the members sit up to 333 frames apart, the flock is always split
    // between two or three of these places, circling high over the rims
    // where the flight below can see it.
    std::vector<Vec3> spots;
    for (double at : {0.0, 0.11, 0.25, 0.39, 0.61, 0.75}) {
        const LinePoint lp = AtArc(line, L * at);
        spots.push_back({float(lp.p.x), float(lp.p.y), 0.0f});
    }
    spots[0] = {float(bc.x), float(bc.y), 0.0f};
    auto flock = [&](double f) {
        const double phi = f / kPathFrames;
        double block = std::fmod(f, double(kPathFrames)) / 100.0;
        if (block < 0)
            block += 6;
        const size_t k = size_t(block) % spots.size();
        // Seventy frames circling one place, thirty moving to the next.
        const double m = std::clamp((block - double(k) - 0.7) / 0.3, 0.0, 1.0);
        const double ease = m * m * (3 - 2 * m);
        const Vec3 a = spots[k], b = spots[(k + 1) % spots.size()];
        const Vec3 c = a + (b - a) * float(ease);
        const double angle = kTwoPi * 16 * phi;
        // Wide over the basin, tighter over the narrower canyon.
        const double ra = k == 0 ? 1650 : 950, rb = (k + 1) % spots.size() == 0 ? 1650 : 950;
        const double r = ra + (rb - ra) * ease + 140 * std::sin(kTwoPi * 3 * phi + 0.4);
        const double z = 2350 + 130 * std::sin(kTwoPi * 2 * phi + 0.5) + 40 * std::sin(kTwoPi * 32 * phi);
        return Vec3{float(c.x + r * std::cos(angle)), float(c.y + r * std::sin(angle)), float(z)};
    };
    // Unused tracks, kept as the format expects: a low line along the floor
    // and two copies of the others.
    auto low = [&](double f) {
        const LinePoint lp = AtArc(line, L * f / kPathFrames + L / 4);
        return Vec3{float(lp.p.x), float(lp.p.y), float(lp.floorZ + 300)};
    };

    const std::vector<Key> tracks[6] = {MakeTrack(heli, 0.6f, true), MakeTrack(heli, 0.3f, true),
                                        MakeTrack(flock, 1.0f, false), MakeTrack(ptero, 1.0f, false),
                                        MakeTrack(low, 0.5f, false), MakeTrack(ptero, 0.5f, false)};
    static const char* names[6] = {"ClassicCamera", "Camera", "Ptero", "PteroCamera", "Line05", "Line07"};
    std::string out = "bones\n{\n";
    char buf[256];
    for (int b = 0; b < 6; ++b) {
        std::snprintf(buf, sizeof buf, "%d %s -1\n", b, names[b]);
        out += buf;
    }
    out += "}\nanimation\n{\n";
    for (int32_t f = 0; f < kPathFrames; ++f) {
        std::snprintf(buf, sizeof buf, "frame %d\n{\n", f);
        out += buf;
        for (const auto& track : tracks) {
            const Key& k = track[size_t(f)];
            std::snprintf(buf, sizeof buf, "%.6f %.6f %.6f %.6f %.6f %.6f\n", double(k.position.x),
                          double(k.position.y), double(k.position.z), double(k.rotation.x), double(k.rotation.y),
                          double(k.rotation.z));
            out += buf;
        }
        out += "}\n";
    }
    out += "}\n";
    return out;
}

namespace {

float SeamRatio(const CSkeleton& path, int32_t bone)
{
    const int32_t n = path.FrameCount();
    float largest = 0, seam = 0;
    for (int32_t f = 0; f < n; ++f) {
        const Vec3 a = path.GetKeyPosition(bone, f), b = path.GetKeyPosition(bone, (f + 1) % n);
        const float step = vmath::Length(b - a);
        if (f == n - 1)
            seam = step;
        else
            largest = std::max(largest, step);
    }
    return largest > 0 ? seam / largest : 1e9f;
}

}  // namespace

PathReport MeasureFlightPath(CSkeleton& path, const MeshQuery& canyon)
{
    PathReport r;
    const int32_t ptero = path.FindBone("PteroCamera"), classic = path.FindBone("ClassicCamera");
    const int32_t flock = path.FindBone("Ptero");
    if (ptero < 0 || classic < 0 || flock < 0 || path.FrameCount() != kPathFrames)
        return r;
    r.pteroClearance = 1e9f;
    r.classicClearance = 1e9f;
    r.flockClearance = 1e9f;
    // Eight samples per frame through the engine's own spline.
    for (int32_t i = 0; i < kPathFrames * 8; ++i) {
        path.Sample(float(i) / 8.0f, 1.0f);
        const Vec3 p = vmath::Row(path.GetBoneMatrix(ptero), 3);
        const Vec3 c = vmath::Row(path.GetBoneMatrix(classic), 3);
        r.pteroClearance = std::min(r.pteroClearance, canyon.Distance(p, 1000.0f));
        r.classicClearance = std::min(r.classicClearance, canyon.Distance(c, 1000.0f));
        r.flockClearance = std::min(r.flockClearance, canyon.Distance(vmath::Row(path.GetBoneMatrix(flock), 3), 1000.0f));
    }
    r.pteroSeamRatio = SeamRatio(path, ptero);
    r.classicSeamRatio = SeamRatio(path, classic);
    r.flockSeamRatio = SeamRatio(path, flock);
    r.classicSpeedMin = 1e9f;
    for (int32_t f = 0; f < kPathFrames; ++f) {
        const float step = vmath::Length(path.GetKeyPosition(classic, (f + 1) % kPathFrames) -
                                         path.GetKeyPosition(classic, f));
        r.classicSpeedMin = std::min(r.classicSpeedMin, step);
        r.classicSpeedMax = std::max(r.classicSpeedMax, step);
    }
    return r;
}

std::string PathReportProblem(const PathReport& r)
{
    char text[160];
    if (r.pteroClearance < kMinClearance + kOrbitReach) {
        std::snprintf(text, sizeof text, "leading pterodactyl's clearance %.0f from the rock, needs %.0f",
                      double(r.pteroClearance), double(kMinClearance + kOrbitReach));
        return text;
    }
    if (r.classicClearance < kMinClearance) {
        std::snprintf(text, sizeof text, "helicopter's clearance %.0f from the rock, needs %.0f",
                      double(r.classicClearance), double(kMinClearance));
        return text;
    }
    if (r.flockClearance < kMinClearance + kFlockReach) {
        std::snprintf(text, sizeof text, "flock's clearance %.0f from the rock, needs %.0f", double(r.flockClearance),
                      double(kMinClearance + kFlockReach));
        return text;
    }
    const float seams[3] = {r.pteroSeamRatio, r.classicSeamRatio, r.flockSeamRatio};
    static const char* names[3] = {"PteroCamera", "ClassicCamera", "Ptero"};
    for (int i = 0; i < 3; ++i)
        if (!(seams[i] <= 1.5f)) {
            std::snprintf(text, sizeof text, "track %s jumps at its loop seam (%.2f times its largest step, at most 1.5)",
                          names[i], double(seams[i]));
            return text;
        }
    return {};
}

}  // namespace bake
