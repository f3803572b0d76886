// The engine's arithmetic.
#include "render/render_math.h"

#include <algorithm>
#include <cmath>

namespace render {

double SmoothFrameTime(double smoothed, double lastFrame)
{
    smoothed = 0.9 * smoothed + 0.1 * lastFrame;
    return smoothed > kMaxSmoothedFrame ? kMaxSmoothedFrame : smoothed;
}

SkyOffsets SkyTextureOffsets(double sceneClock)
{
    // Only the fractions reach float: a float of the clock itself would
    // move the clouds in visible steps after a day.
    auto frac = [sceneClock](double period) {
        const double x = sceneClock / period;
        const auto f = static_cast<float>(x - std::floor(x));
        return f < 1.0f ? f : 0.0f;  // a fraction just under one rounds up
    };
    return {frac(70.0), frac(40.0), frac(32.345)};
}

namespace {
constexpr D3DCOLOR Grey(uint32_t r, uint32_t g, uint32_t b)
{
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}
}  // namespace

const std::array<FlareElement, 21> kFlareElements = {{
    {10, -0.13f, 0.04f, Grey(47, 47, 47), false},
    {11, -0.1f, 0.02f, Grey(47, 47, 47), false},
    {9, 0.0f, 0.3f, Grey(95, 95, 95), false},
    {13, 0.0f, 0.5f, Grey(95, 95, 95), true},
    {11, 0.1f, 0.01f, Grey(47, 47, 47), false},
    {11, 0.17f, 0.03f, Grey(47, 47, 47), false},
    {12, 0.2f, 0.1f, Grey(15, 15, 79), false},
    {12, 0.23f, 0.05f, Grey(47, 47, 47), false},
    {11, 0.3f, 0.01f, Grey(47, 47, 47), false},
    {12, 0.4f, 0.04f, Grey(47, 47, 47), false},
    {11, 0.5f, 0.002f, Grey(47, 47, 47), false},
    {11, 0.55f, 0.003f, Grey(47, 47, 47), false},
    {12, 0.7f, 0.1f, Grey(15, 15, 79), false},
    {12, 0.7f, 0.05f, Grey(47, 47, 47), false},
    {11, 0.73f, 0.03f, Grey(47, 63, 47), false},
    {11, 0.75f, 0.005f, Grey(47, 47, 47), false},
    {12, 0.8f, 0.1f, Grey(15, 15, 79), false},
    {11, 0.85f, 0.03f, Grey(47, 47, 47), false},
    {11, 0.9f, 0.01f, Grey(47, 47, 47), false},
    {10, 1.0f, 0.1f, Grey(47, 47, 47), false},
    {11, 0.95f, 0.05f, Grey(47, 47, 47), false},
}};

float StepFlareIntensity(float intensity, bool visible, double smoothedFrame)
{
    const float step = static_cast<float>(10.0 * smoothedFrame);
    intensity += visible ? step : -step;
    return std::clamp(intensity, 0.0f, 1.0f);
}

float FlareEdgeFactor(float sx, float sy)
{
    float e = 1.0f;
    if (sx < 0.1f)
        e = sx / 0.1f;
    if (sx > 0.9f)
        e = e * (1.0f - sx) / 0.1f;
    if (sy < 0.1f)
        e = e * sy / 0.1f;
    if (sy > 0.9f)
        e = e * (1.0f - sy) / 0.1f;
    return std::clamp(e, 0.0f, 1.0f);
}

D3DCOLOR FlareColour(D3DCOLOR c, float m)
{
    const auto channel = [m](uint32_t v) { return static_cast<uint32_t>(m * static_cast<float>(v)); };
    return 0xFF000000u + (channel((c >> 16) & 0xFF) << 16) + (channel((c >> 8) & 0xFF) << 8) + channel(c & 0xFF);
}

uint32_t AccumulationAlpha(int k)
{
    return static_cast<uint32_t>(255 / (k + 1));
}

void BuildGammaRamp(double brightness, D3DGAMMARAMP& ramp)
{
    const long double b = brightness > 0 ? brightness : 0;
    for (int i = 0; i < 256; ++i) {
        long double v = std::trunc(static_cast<long double>(i) * 256.0L * b);
        if (v > 65535.0L)
            v = 65535.0L;
        const auto value = static_cast<WORD>(v);
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = value;
    }
}

GlyphCell GlyphCellFor(char code)
{
    const auto c = static_cast<int>(static_cast<signed char>(code));
    const int column = c & 15;
    const int row = c >> 4;  // arithmetic: codes above 127 give negative rows
    GlyphCell cell{};
    cell.uL = static_cast<float>(column) * 0.0625f + 0.01f;
    cell.uR = cell.uL + 0.0625f - 0.01f;
    cell.vT = static_cast<float>(row) * 0.0625f + 0.01f;
    cell.vB = cell.vT + 0.0625f - 0.01f;
    return cell;
}

float ClampProgress(float fraction)
{
    // NaN counts as nothing done.
    if (!(fraction > 0.0f))
        return 0.0f;
    return fraction > 1.0f ? 1.0f : fraction;
}

std::array<Corner, 4> RectCorners(float x0, float y0, float x1, float y1, float angle)
{
    const float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    const float c = std::cos(angle), s = std::sin(angle);
    // Row-vector rotation about z, as the rotation matrix turns (x, y).
    const auto turn = [&](float x, float y) {
        const float dx = x - cx, dy = y - cy;
        return Corner{dx * c - dy * s + cx, dx * s + dy * c + cy};
    };
    return {turn(x0, y0), turn(x0, y1), turn(x1, y0), turn(x1, y1)};
}

uint32_t MotionBlurTargetSize(int32_t quality)
{
    return quality == 0 ? 256u : quality == 1 ? 512u : 1024u;
}

int32_t MotionBlurSampleCount(int32_t enabled, int32_t samples)
{
    return enabled ? std::clamp(samples, 1, 16) : 1;
}

}  // namespace render
