// Frame measurement from depth.
#include "render/measure.h"

#include <algorithm>
#include <cmath>

#include "render/render_math.h"

namespace measure {

namespace {

constexpr float kNear = 5.0f, kFar = 35000.0f, kAspect = 4.0f / 3.0f;

vmath::Vec3 Unit(vmath::Vec3 v)
{
    const float len = vmath::Length(v);
    return len > 0 ? v * (1.0f / len) : v;
}

}  // namespace

float ViewDepth(float windowDepth)
{
    // Inverse of z = f (d - n) / ((f - n) d), the right-handed projection,
    // after undoing the depth band the opaque geometry is drawn into; the
    // sky beyond the band reads as the far plane.
    const float z = std::min(windowDepth / render::kOpaqueMaxZ, 1.0f);
    return kFar * kNear / (kFar - z * (kFar - kNear));
}

float ClipDepth(float windowDepth)
{
    return std::min(windowDepth / render::kOpaqueMaxZ, 1.0f) * ViewDepth(windowDepth);
}

FrameStats AnalyseFrame(const VantorDepthImage& image, const camera::CameraPose& pose,
                        const std::vector<vmath::Vec3>& flock, const Rules& rules, std::vector<PixelClass>* classes)
{
    FrameStats s;
    const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
    if (w < 3 || h < 3 || image.depth.size() != static_cast<size_t>(w) * static_cast<size_t>(h))
        return s;
    const vmath::Vec3 forward = Unit(pose.target - pose.eye);
    const vmath::Vec3 right = Unit(vmath::Cross(forward, pose.up));
    const vmath::Vec3 up = vmath::Cross(right, forward);
    // tan(45 degrees) = 1: at view depth d the picture spans d * aspect
    // either side horizontally and d vertically.
    auto world = [&](int x, int y) {
        const float d = ViewDepth(image.At(static_cast<UINT>(x), static_cast<UINT>(y)));
        const float nx = (2.0f * (static_cast<float>(x) + 0.5f) / static_cast<float>(w) - 1.0f) * kAspect;
        const float ny = 1.0f - 2.0f * (static_cast<float>(y) + 0.5f) / static_cast<float>(h);
        return pose.eye + forward * d + right * (nx * d) + up * (ny * d);
    };

    size_t floor = 0, deep = 0, sky = 0;
    if (classes)
        classes->assign(image.depth.size(), PixelClass::Near);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float z = image.At(static_cast<UINT>(x), static_cast<UINT>(y));
            PixelClass c = PixelClass::Near;
            if (z >= 1.0f) {
                c = PixelClass::Sky;
                ++sky;
            } else {
                const vmath::Vec3 p = world(x, y);
                // The surface normal from the neighbours' positions; a pixel
                // on a silhouette borrows the nearer side.
                const int x0 = std::max(0, x - 1), x1 = std::min(w - 1, x + 1);
                const int y0 = std::max(0, y - 1), y1 = std::min(h - 1, y + 1);
                vmath::Vec3 n = Unit(vmath::Cross(world(x1, y) - world(x0, y), world(x, y0) - world(x, y1)));
                if (n.z < 0)
                    n = n * -1.0f;
                if (n.z > rules.floorNormalZ && p.z < rules.floorTopZ) {
                    c = PixelClass::Floor;
                    ++floor;
                }
                if (ClipDepth(z) > rules.fogStart) {
                    if (c != PixelClass::Floor)
                        c = PixelClass::Deep;
                    ++deep;
                }
            }
            if (classes)
                (*classes)[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = c;
        }
    const double total = static_cast<double>(w) * static_cast<double>(h);
    s.floorShare = static_cast<double>(floor) / total;
    s.deepShare = static_cast<double>(deep) / total;
    s.skyShare = static_cast<double>(sky) / total;

    for (const vmath::Vec3& p : flock) {
        const vmath::Vec3 v = p - pose.eye;
        const float d = vmath::Dot(v, forward);
        if (d <= kNear || d > rules.flockSeenWithin)
            continue;
        const float nx = vmath::Dot(v, right) / (d * kAspect), ny = vmath::Dot(v, up) / d;
        if (std::fabs(nx) >= 1.0f || std::fabs(ny) >= 1.0f)
            continue;
        const int px = std::clamp(static_cast<int>((nx + 1.0f) * 0.5f * static_cast<float>(w)), 0, w - 1);
        const int py = std::clamp(static_cast<int>((1.0f - ny) * 0.5f * static_cast<float>(h)), 0, h - 1);
        // Seen when something at (or behind) the member's depth shows near
        // its centre: the member's own body or the view past it.
        bool seen = false;
        for (int y = std::max(0, py - 2); y <= std::min(h - 1, py + 2) && !seen; ++y)
            for (int x = std::max(0, px - 2); x <= std::min(w - 1, px + 2) && !seen; ++x)
                seen = ViewDepth(image.At(static_cast<UINT>(x), static_cast<UINT>(y))) >= d - rules.flockBodySlack;
        if (!seen)
            continue;
        ++s.flockSeen;
        if (std::hypot(p.x - rules.basinX, p.y - rules.basinY) > rules.basinRadius)
            ++s.flockSeenOutsideBasin;
    }
    return s;
}

}  // namespace measure
