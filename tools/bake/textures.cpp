// Procedural pictures. Tileable ones use lattice noise whose period divides
// the picture, so the last column meets the first without a seam.
#include "bake/textures.h"

#include <algorithm>
#include <cmath>

#include "bake/noise.h"

namespace bake {

namespace {

constexpr float kPi = 3.14159265f;

struct Rgb {
    float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) { return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)}; }
Rgb Scale(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }

template <class F>
Image Paint(int32_t w, int32_t h, F&& f)
{
    Image img(w, h, 3);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const Rgb c = f((float(x) + 0.5f) / float(w), (float(y) + 0.5f) / float(h));
            img.Set(x, y, c.r, c.g, c.b);
        }
    return img;
}

// Radially symmetric flare element on black, intensity from f(radius 0..1).
template <class F>
Image Radial(int32_t size, Rgb tint, F&& f)
{
    return Paint(size, size, [&](float u, float v) {
        const float dx = u * 2 - 1, dy = v * 2 - 1;
        const float r = std::sqrt(dx * dx + dy * dy);
        const float i = r >= 1 ? 0 : f(r, std::atan2(dy, dx));
        return Scale(tint, i);
    });
}

}  // namespace

Image MakeDefaultTexture()
{
    Image img(8, 8, 3);
    std::fill(img.pixels.begin(), img.pixels.end(), 255);
    return img;
}

float RockRelief(float u, float v)
{
    const float base = Fbm(u * 4, v * 4, 4, 5, 0.55f, 301);
    const float cells = Cellular(u * 8, v * 8, 8, 302);
    const float cracks = Smoothstep(0.0f, 0.12f, cells);
    return 0.55f + 0.35f * base - 0.10f * (1 - cracks);
}

Image MakeRockTexture()
{
    const Rgb light{0.80f, 0.56f, 0.40f}, dark{0.52f, 0.30f, 0.20f}, pale{0.86f, 0.72f, 0.56f};
    return Paint(512, 512, [&](float u, float v) {
        const float h = RockRelief(u, v);
        const float tint = Fbm(u * 2, v * 2, 2, 3, 0.5f, 303) * 0.5f + 0.5f;
        const float grain = PeriodicNoise(u * 64, v * 64, 64, 64, 304) * 0.06f;
        Rgb c = Mix(dark, light, Clamp01(h));
        c = Mix(c, pale, Smoothstep(0.55f, 0.9f, tint) * 0.5f);
        return Scale(c, 0.9f + grain + 0.15f * (h - 0.5f));
    });
}

Image MakeStrataTexture()
{
    // Bands of sandstone, shale and limestone with varying thickness; a band
    // table over one period of v, wavy edges, and vertical streaks of
    // desert varnish running down the faces.
    struct Band {
        float top;
        Rgb colour;
    };
    const Rgb palette[] = {
        {0.78f, 0.45f, 0.30f}, {0.88f, 0.66f, 0.48f}, {0.62f, 0.34f, 0.24f}, {0.92f, 0.80f, 0.62f},
        {0.70f, 0.40f, 0.30f}, {0.55f, 0.42f, 0.40f}, {0.84f, 0.56f, 0.36f}, {0.66f, 0.30f, 0.20f},
    };
    std::vector<Band> bands;
    Rng rng(401);
    float v = 0;
    while (v < 1) {
        bands.push_back({v, palette[rng.Int(0, 7)]});
        v += float(rng.Range(0.025, 0.11));
    }
    auto bandColour = [&](float t) {
        t -= std::floor(t);
        size_t i = 0;
        while (i + 1 < bands.size() && bands[i + 1].top <= t)
            ++i;
        const float next = i + 1 < bands.size() ? bands[i + 1].top : 1.0f;
        const float local = (t - bands[i].top) / (next - bands[i].top);
        const Rgb nextColour = bands[(i + 1) % bands.size()].colour;
        // Soft lower edge, crisp upper edge: deposits grade into the next layer.
        return Mix(bands[i].colour, nextColour, Smoothstep(0.75f, 1.0f, local) * 0.6f);
    };
    return Paint(512, 512, [&](float u, float vv) {
        const float wave = Fbm(u * 4, vv * 2, 4, 3, 0.5f, 402) * 0.012f;
        Rgb c = bandColour(vv + wave);
        const float grain = Fbm(u * 32, vv * 32, 32, 3, 0.5f, 403) * 0.08f;
        // Varnish runs down the face in broad, soft curtains.
        const float streak = Fbm(u * 10, vv * 2, 10, 3, 0.45f, 404);
        const float varnish = Smoothstep(0.05f, 0.6f, streak) * 0.22f;
        const float ledge = PeriodicNoise(u * 16, vv * 48, 16, 48, 405);
        c = Scale(c, 1.0f + grain - varnish + 0.05f * ledge);
        return c;
    });
}

Image MakeGroundTexture()
{
    const Rgb sand{0.80f, 0.62f, 0.44f}, dust{0.70f, 0.50f, 0.36f}, bush{0.42f, 0.44f, 0.28f};
    return Paint(512, 512, [&](float u, float v) {
        const float n = Fbm(u * 6, v * 6, 6, 5, 0.55f, 501) * 0.5f + 0.5f;
        Rgb c = Mix(dust, sand, n);
        const float pebble = Cellular(u * 48, v * 48, 48, 502);
        c = Scale(c, 0.94f + 0.10f * Smoothstep(0.05f, 0.5f, pebble));
        const float scrub = Fbm(u * 12, v * 12, 12, 3, 0.5f, 503);
        const float scrubMask = Smoothstep(0.35f, 0.55f, scrub) * Smoothstep(0.4f, 0.1f, Cellular(u * 20, v * 20, 20, 504));
        c = Mix(c, bush, scrubMask * 0.8f);
        const float ripple = PeriodicNoise(u * 4, v * 80, 4, 80, 505) * 0.04f;
        return Scale(c, 1.0f + ripple);
    });
}

Image MakeBumpTexture()
{
    const int32_t n = 256;
    std::vector<float> h(size_t(n) * n);
    for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x)
            h[size_t(y) * n + x] = RockRelief((float(x) + 0.5f) / n, (float(y) + 0.5f) / n);
    Image img(n, n, 3);
    const float strength = 6.0f;
    for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) {
            auto at = [&](int32_t i, int32_t j) { return h[size_t((j + n) % n) * n + size_t((i + n) % n)]; };
            const float dx = (at(x + 1, y) - at(x - 1, y)) * strength;
            const float dy = (at(x, y + 1) - at(x, y - 1)) * strength;
            float nx = -dx, ny = -dy, nz = 1;
            const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= len;
            ny /= len;
            nz /= len;
            img.Set(x, y, nx * 0.5f + 0.5f, ny * 0.5f + 0.5f, nz * 0.5f + 0.5f);
        }
    return img;
}

Image MakeSkyTexture()
{
    // The dome repeats this picture about twice from zenith to rim, so it
    // carries no gradient: deep blue with faint high-altitude streaks.
    const Rgb deep{0.30f, 0.50f, 0.86f}, light{0.56f, 0.72f, 0.95f};
    return Paint(256, 256, [&](float u, float v) {
        const float n = Fbm(u * 3, v * 3, 3, 4, 0.5f, 601) * 0.5f + 0.5f;
        const float streak = Fbm(u * 2, v * 8, 2, 3, 0.5f, 602);
        Rgb c = Mix(deep, light, Smoothstep(0.3f, 0.8f, n) * 0.6f);
        c = Mix(c, Rgb{0.9f, 0.94f, 1.0f}, Smoothstep(0.2f, 0.6f, streak) * 0.25f);
        return c;
    });
}

Image MakeCloudTexture()
{
    Image img(256, 256, 4);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            const float u = (float(x) + 0.5f) / 256, v = (float(y) + 0.5f) / 256;
            const float n = Fbm(u * 4, v * 4, 4, 6, 0.55f, 701);
            const float cover = Smoothstep(-0.05f, 0.45f, n);
            const float shade = 0.78f + 0.22f * Smoothstep(0.0f, 0.6f, n);
            uint8_t* p = img.At(x, y);
            p[0] = uint8_t(std::lround(255 * shade));
            p[1] = uint8_t(std::lround(255 * shade));
            p[2] = uint8_t(std::lround(255 * std::min(1.0f, shade + 0.03f)));
            p[3] = uint8_t(std::lround(255 * cover * 0.92f));
        }
    return img;
}

Image MakeFlareGlow()
{
    return Radial(256, Rgb{1.0f, 0.95f, 0.85f}, [](float r, float a) {
        const float core = std::exp(-r * r * 40);
        const float halo = std::pow(1 - r, 3.0f) * 0.5f;
        const float rays = std::pow(std::fabs(std::cos(a * 6)), 60.0f) * (1 - r) * 0.35f;
        return std::min(1.0f, core + halo + rays);
    });
}

Image MakeFlareRing()
{
    return Radial(128, Rgb{0.85f, 0.9f, 1.0f}, [](float r, float) {
        const float d = (r - 0.8f) / 0.07f;
        return std::exp(-d * d) + 0.08f * Smoothstep(0.8f, 0.0f, r);
    });
}

Image MakeFlareDisc()
{
    return Radial(128, Rgb{1.0f, 1.0f, 1.0f}, [](float r, float) { return Smoothstep(1.0f, 0.55f, r) * 0.9f; });
}

Image MakeFlareHexagon()
{
    return Radial(128, Rgb{1.0f, 1.0f, 1.0f}, [](float r, float a) {
        // Distance to a regular hexagon's edge along this direction.
        const float sector = kPi / 3;
        const float local = std::fmod(std::fabs(a) + sector / 2, sector) - sector / 2;
        const float hexR = r * std::cos(local) / std::cos(sector / 2);
        const float fill = Smoothstep(0.9f, 0.82f, hexR) * 0.55f;
        const float edge = Smoothstep(0.78f, 0.86f, hexR) * Smoothstep(0.92f, 0.86f, hexR);
        return fill + edge * 0.45f;
    });
}

Image MakeFlareStreaks()
{
    return Radial(256, Rgb{1.0f, 0.96f, 0.9f}, [](float r, float a) {
        float s = 0;
        for (int k = 0; k < 3; ++k) {
            const float spoke = std::pow(std::fabs(std::cos(a - float(k) * kPi / 3)), 400.0f);
            s += spoke;
        }
        const float thin = std::pow(std::fabs(std::cos(a * 12 + 0.3f)), 200.0f) * 0.3f;
        return std::min(1.0f, (s + thin) * std::pow(1 - r, 1.5f) + std::exp(-r * r * 90) * 0.5f);
    });
}

Image MakeLoadingBase()
{
    // A bar of layered rock, like a slice through the canyon wall.
    Image strata = MakeStrataTexture();
    return Paint(256, 64, [&](float u, float v) {
        const uint8_t* p = strata.At(int32_t(u * 511), int32_t(v * 127) + 192);
        const float edge = Smoothstep(0.0f, 0.12f, v) * Smoothstep(1.0f, 0.88f, v) * Smoothstep(0.0f, 0.03f, u) *
                           Smoothstep(1.0f, 0.97f, u);
        const float b = 0.35f + 0.75f * edge;
        return Rgb{p[0] / 255.0f * b, p[1] / 255.0f * b, p[2] / 255.0f * b};
    });
}

Image MakeLoadingLight()
{
    // Added over the bar: a sheen along the top and a warm inner glow.
    return Paint(256, 64, [](float u, float v) {
        const float sheen = std::exp(-std::pow((v - 0.25f) / 0.12f, 2.0f));
        const float glow = std::exp(-std::pow((v - 0.5f) / 0.35f, 2.0f)) * 0.35f;
        const float ends = Smoothstep(0.0f, 0.05f, u) * Smoothstep(1.0f, 0.95f, u);
        const float i = (sheen * 0.8f + glow) * ends;
        return Rgb{i, i * 0.85f, i * 0.6f};
    });
}

SkinRegion PteroSkinBody() { return {0.0f, 0.0f, 0.5f, 0.5f}; }
SkinRegion PteroSkinWing() { return {0.0f, 0.5f, 1.0f, 1.0f}; }
SkinRegion PteroSkinHead() { return {0.5f, 0.0f, 1.0f, 0.25f}; }
SkinRegion PteroSkinCrest() { return {0.5f, 0.25f, 1.0f, 0.5f}; }

Image MakePteroSkin()
{
    const int32_t n = 256;
    Image img(n, n, 3);
    const Rgb back{0.42f, 0.30f, 0.22f}, belly{0.78f, 0.68f, 0.52f};
    const Rgb membrane{0.62f, 0.36f, 0.22f}, vein{0.38f, 0.18f, 0.12f};
    const Rgb beak{0.86f, 0.80f, 0.62f}, crestRed{0.80f, 0.22f, 0.12f}, crestDark{0.35f, 0.10f, 0.08f};
    for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) {
            const float u = (float(x) + 0.5f) / n, v = (float(y) + 0.5f) / n;
            Rgb c;
            const float mottle = Fbm(u * 16, v * 16, 0, 4, 0.5f, 801);
            if (v >= 0.5f) {
                // Wing membrane: u runs from the body (0) to the tip (1),
                // v from the leading edge (0.5) to the trailing edge (1).
                const float wv = (v - 0.5f) * 2;
                c = Mix(membrane, Rgb{0.74f, 0.48f, 0.30f}, wv * 0.5f + 0.2f * mottle);
                const float veins = std::pow(std::fabs(std::sin((u * 9 + wv * 2.5f) * kPi)), 30.0f);
                c = Mix(c, vein, veins * 0.6f * (1 - wv * 0.5f));
                c = Mix(c, vein, Smoothstep(0.12f, 0.0f, wv) * 0.8f);  // bony leading edge
                c = Scale(c, 1.0f - 0.25f * Smoothstep(0.85f, 1.0f, wv));
            } else if (u < 0.5f) {
                // Body: dark back (v near 0) to pale belly (v near 0.5).
                c = Mix(back, belly, Smoothstep(0.1f, 0.45f, v));
                c = Scale(c, 0.9f + 0.2f * mottle);
                const float spots = Smoothstep(0.22f, 0.08f, Cellular(u * 24, v * 24, 0, 802));
                c = Mix(c, Scale(back, 0.6f), spots * Smoothstep(0.3f, 0.1f, v));
            } else if (v < 0.25f) {
                // Head: beak towards u = 1, eye dark patch.
                const float hu = (u - 0.5f) * 2;
                c = Mix(back, beak, Smoothstep(0.35f, 0.6f, hu));
                c = Scale(c, 0.95f + 0.1f * mottle);
            } else {
                const float cv = (v - 0.25f) * 4;
                c = Mix(crestRed, crestDark, Smoothstep(0.3f, 1.0f, cv));
                const float stripe = std::pow(std::fabs(std::sin((u * 10 + cv) * kPi)), 8.0f);
                c = Mix(c, Rgb{0.95f, 0.75f, 0.3f}, stripe * 0.4f);
            }
            img.Set(x, y, c.r, c.g, c.b);
        }
    return img;
}

}  // namespace bake
