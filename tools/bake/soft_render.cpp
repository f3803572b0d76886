// Software rasteriser used only for pictures that document the bake.
#include "bake/soft_render.h"

#include <algorithm>
#include <cmath>

namespace bake {

using vmath::Vec3;

void SampleBilinear(const Image& image, float u, float v, bool wrap, float out[3])
{
    const float x = u * float(image.width) - 0.5f, y = v * float(image.height) - 0.5f;
    const float fx = std::floor(x), fy = std::floor(y);
    const float ax = x - fx, ay = y - fy;
    auto texel = [&](int32_t i, int32_t j, int c) {
        if (wrap) {
            i = ((i % image.width) + image.width) % image.width;
            j = ((j % image.height) + image.height) % image.height;
        } else {
            i = std::clamp(i, 0, image.width - 1);
            j = std::clamp(j, 0, image.height - 1);
        }
        const uint8_t* p = image.At(i, j);
        return float(image.channels >= 3 ? p[c] : p[0]) / 255.0f;
    };
    const int32_t i = int32_t(fx), j = int32_t(fy);
    for (int c = 0; c < 3; ++c) {
        const float top = texel(i, j, c) * (1 - ax) + texel(i + 1, j, c) * ax;
        const float bottom = texel(i, j + 1, c) * (1 - ax) + texel(i + 1, j + 1, c) * ax;
        out[c] = top * (1 - ay) + bottom * ay;
    }
}

SoftRenderer::SoftRenderer(int32_t width, int32_t height)
    : m_w(width), m_h(height), m_colour(size_t(width) * height * 3, 0.0f), m_depth(size_t(width) * height, 1e30f)
{
}

void SoftRenderer::SetCamera(Vec3 eye, Vec3 target, Vec3 up, float fovY)
{
    m_view = vmath::LookAtRH(eye, target, up);
    m_viewProj = vmath::Multiply(m_view, vmath::PerspectiveFovRH(fovY, float(m_w) / float(m_h), 5.0f, 60000.0f));
}

void SoftRenderer::ClearSky(float horizon[3], float zenith[3])
{
    for (int32_t y = 0; y < m_h; ++y) {
        const float t = std::pow(1.0f - float(y) / float(m_h), 1.3f);
        for (int32_t x = 0; x < m_w; ++x)
            for (int c = 0; c < 3; ++c)
                m_colour[(size_t(y) * m_w + x) * 3 + c] = horizon[c] + (zenith[c] - horizon[c]) * t;
    }
    std::fill(m_depth.begin(), m_depth.end(), 1e30f);
}

void SoftRenderer::ClearColour(float r, float g, float b)
{
    for (size_t i = 0; i < m_depth.size(); ++i) {
        m_colour[i * 3] = r;
        m_colour[i * 3 + 1] = g;
        m_colour[i * 3 + 2] = b;
    }
    std::fill(m_depth.begin(), m_depth.end(), 1e30f);
}

void SoftRenderer::DrawTriangle(const SoftVertex (&v)[3], const Image* texture, const Image* lightMap)
{
    ClipVertex in[3];
    for (int k = 0; k < 3; ++k) {
        const Vec3& p = v[k].position;
        const float* m0 = m_viewProj.m[0];
        const float* m1 = m_viewProj.m[1];
        const float* m2 = m_viewProj.m[2];
        const float* m3 = m_viewProj.m[3];
        in[k] = {p.x * m0[0] + p.y * m1[0] + p.z * m2[0] + m3[0], p.x * m0[1] + p.y * m1[1] + p.z * m2[1] + m3[1],
                 p.x * m0[2] + p.y * m1[2] + p.z * m2[2] + m3[2], p.x * m0[3] + p.y * m1[3] + p.z * m2[3] + m3[3],
                 v[k].u, v[k].v, v[k].su, v[k].sv, v[k].light, 0};
        in[k].viewDepth = in[k].w;
    }
    // Clip against the near plane (z >= 0 in this projection's clip space).
    ClipVertex poly[4];
    int n = 0;
    for (int k = 0; k < 3; ++k) {
        const ClipVertex& a = in[k];
        const ClipVertex& b = in[(k + 1) % 3];
        const bool aIn = a.z >= 0, bIn = b.z >= 0;
        if (aIn)
            poly[n++] = a;
        if (aIn != bIn) {
            const float t = a.z / (a.z - b.z);
            auto lerp = [t](float x, float y) { return x + (y - x) * t; };
            poly[n++] = {lerp(a.x, b.x), lerp(a.y, b.y), lerp(a.z, b.z), lerp(a.w, b.w), lerp(a.u, b.u),
                         lerp(a.v, b.v), lerp(a.su, b.su), lerp(a.sv, b.sv), lerp(a.light, b.light),
                         lerp(a.viewDepth, b.viewDepth)};
        }
    }
    for (int k = 1; k + 1 < n; ++k)
        Raster(poly[0], poly[k], poly[k + 1], texture, lightMap);
}

void SoftRenderer::Raster(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, const Image* texture,
                          const Image* lightMap)
{
    const ClipVertex* v[3] = {&a, &b, &c};
    float sx[3], sy[3], iw[3];
    for (int k = 0; k < 3; ++k) {
        if (v[k]->w <= 1e-6f)
            return;
        iw[k] = 1.0f / v[k]->w;
        sx[k] = (v[k]->x * iw[k] * 0.5f + 0.5f) * float(m_w);
        sy[k] = (0.5f - v[k]->y * iw[k] * 0.5f) * float(m_h);
    }
    const float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
    if (std::fabs(area) < 1e-9f)
        return;
    const int32_t x0 = std::max(0, int32_t(std::floor(std::min({sx[0], sx[1], sx[2]}))));
    const int32_t x1 = std::min(m_w - 1, int32_t(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
    const int32_t y0 = std::max(0, int32_t(std::floor(std::min({sy[0], sy[1], sy[2]}))));
    const int32_t y1 = std::min(m_h - 1, int32_t(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x) {
            const float px = float(x) + 0.5f, py = float(y) + 0.5f;
            float w0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
            float w1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
            float w2 = 1 - w0 - w1;
            if (w0 < 0 || w1 < 0 || w2 < 0)
                continue;
            const float q0 = w0 * iw[0], q1 = w1 * iw[1], q2 = w2 * iw[2];
            const float qs = q0 + q1 + q2;
            const float depth = 1.0f / qs;  // view depth
            const size_t at = size_t(y) * m_w + x;
            if (depth >= m_depth[at])
                continue;
            m_depth[at] = depth;
            auto attr = [&](float ClipVertex::*f) { return (a.*f * q0 + b.*f * q1 + c.*f * q2) / qs; };
            float colour[3] = {1, 1, 1};
            if (texture)
                SampleBilinear(*texture, attr(&ClipVertex::u), attr(&ClipVertex::v), true, colour);
            float light[3];
            if (lightMap) {
                SampleBilinear(*lightMap, attr(&ClipVertex::su), attr(&ClipVertex::sv), false, light);
            } else {
                light[0] = light[1] = light[2] = attr(&ClipVertex::light);
            }
            const float fog = m_fog ? std::clamp(1.3f - depth / 30000.0f, 0.0f, 1.0f) : 1.0f;
            for (int ch = 0; ch < 3; ++ch)
                m_colour[at * 3 + size_t(ch)] = colour[ch] * light[ch] * fog + (0xCF / 255.0f) * (1 - fog);
        }
}

Image SoftRenderer::Resolve(int32_t downsample) const
{
    Image full(m_w, m_h, 3);
    for (int32_t y = 0; y < m_h; ++y)
        for (int32_t x = 0; x < m_w; ++x) {
            const float* c = &m_colour[(size_t(y) * m_w + x) * 3];
            full.Set(x, y, c[0], c[1], c[2]);
        }
    return downsample > 1 ? Downsample(full, downsample) : full;
}

}  // namespace bake
