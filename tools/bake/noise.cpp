// Random numbers and lattice noise for the generators.
#include "bake/noise.h"

#include <cmath>
#include <initializer_list>

namespace bake {

uint64_t Rng::NextU64()
{
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::Uniform() { return double(NextU64() >> 11) * (1.0 / 9007199254740992.0); }

int32_t Rng::Int(int32_t lo, int32_t hiInclusive)
{
    const uint64_t span = uint64_t(int64_t(hiInclusive) - lo + 1);
    return lo + int32_t(NextU64() % span);
}

double Rng::Gauss()
{
    double s = 0;
    for (int i = 0; i < 6; ++i)
        s += Uniform();
    return (s - 3.0) * std::sqrt(2.0);
}

uint32_t Hash32(uint32_t a, uint32_t b, uint32_t c, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B1u ^ 0x85EBCA6Bu;
    for (uint32_t v : {a, b, c}) {
        h ^= v * 0xCC9E2D51u;
        h = (h << 15) | (h >> 17);
        h *= 0x1B873593u;
        h = h * 5 + 0xE6546B64u;
    }
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

float HashSigned(int32_t x, int32_t y, uint32_t seed)
{
    return float(Hash32(uint32_t(x), uint32_t(y), 0, seed) & 0xFFFFFF) / float(0x7FFFFF) - 1.0f;
}

namespace {

int32_t Wrap(int32_t i, int32_t period)
{
    if (period <= 0)
        return i;
    const int32_t r = i % period;
    return r < 0 ? r + period : r;
}

float Grad(int32_t ix, int32_t iy, float dx, float dy, uint32_t seed)
{
    const uint32_t h = Hash32(uint32_t(ix), uint32_t(iy), 17, seed);
    const float angle = float(h & 0xFFFF) * (6.2831853f / 65536.0f);
    return std::cos(angle) * dx + std::sin(angle) * dy;
}

float Fade(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }

}  // namespace

float PeriodicNoise(float x, float y, int32_t periodX, int32_t periodY, uint32_t seed)
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    const float dx = x - fx, dy = y - fy;
    const int32_t x0 = Wrap(ix, periodX), x1 = Wrap(ix + 1, periodX);
    const int32_t y0 = Wrap(iy, periodY), y1 = Wrap(iy + 1, periodY);
    const float n00 = Grad(x0, y0, dx, dy, seed);
    const float n10 = Grad(x1, y0, dx - 1, dy, seed);
    const float n01 = Grad(x0, y1, dx, dy - 1, seed);
    const float n11 = Grad(x1, y1, dx - 1, dy - 1, seed);
    const float u = Fade(dx), v = Fade(dy);
    return 1.4142f * Lerp(Lerp(n00, n10, u), Lerp(n01, n11, u), v);
}

float Fbm(float x, float y, int32_t period, int octaves, float gain, uint32_t seed)
{
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * PeriodicNoise(x, y, period, period, seed + uint32_t(o) * 101u);
        norm += amp;
        amp *= gain;
        x *= 2;
        y *= 2;
        if (period > 0)
            period *= 2;
    }
    return sum / norm;
}

float RidgedFbm(float x, float y, int32_t period, int octaves, float gain, uint32_t seed)
{
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        const float n = 1.0f - std::fabs(PeriodicNoise(x, y, period, period, seed + uint32_t(o) * 131u));
        sum += amp * n * n;
        norm += amp;
        amp *= gain;
        x *= 2;
        y *= 2;
        if (period > 0)
            period *= 2;
    }
    return sum / norm;
}

float Cellular(float x, float y, int32_t period, uint32_t seed)
{
    const int32_t ix = int32_t(std::floor(x)), iy = int32_t(std::floor(y));
    float best = 9;
    for (int32_t j = -1; j <= 1; ++j) {
        for (int32_t i = -1; i <= 1; ++i) {
            const int32_t cx = ix + i, cy = iy + j;
            const uint32_t h = Hash32(uint32_t(Wrap(cx, period)), uint32_t(Wrap(cy, period)), 29, seed);
            const float px = float(cx) + float(h & 0xFFFF) / 65536.0f;
            const float py = float(cy) + float(h >> 16) / 65536.0f;
            const float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
            if (d < best)
                best = d;
        }
    }
    return best;
}

}  // namespace bake
