// Deterministic random numbers and tileable noise for the generators. Every
// value depends only on its seed and integer inputs, so two bakes on any
// machine produce the same bytes.
#pragma once

#include <cstdint>

namespace bake {

// Small counter-based generator (splitmix64): the same seed always yields
// the same sequence, whatever the standard library.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t NextU64();
    // Uniform in [0, 1).
    double Uniform();
    double Range(double a, double b) { return a + (b - a) * Uniform(); }
    int32_t Int(int32_t lo, int32_t hiInclusive);
    // Roughly normal (sum of uniforms), mean 0, deviation 1.
    double Gauss();

private:
    uint64_t m_state;
};

uint32_t Hash32(uint32_t a, uint32_t b, uint32_t c, uint32_t seed);
// Hash to [-1, 1].
float HashSigned(int32_t x, int32_t y, uint32_t seed);

// Gradient noise on a lattice that repeats every `period` cells in x and y
// (period <= 0: no repetition). Result roughly in [-1, 1].
float PeriodicNoise(float x, float y, int32_t periodX, int32_t periodY, uint32_t seed);

// Fractal sum of PeriodicNoise: `octaves` layers, each twice the frequency
// (and twice the period) of the last and `gain` times its amplitude. The
// result is normalised back to roughly [-1, 1].
float Fbm(float x, float y, int32_t period, int octaves, float gain, uint32_t seed);

// Ridged variant (sharp crests), in [0, 1].
float RidgedFbm(float x, float y, int32_t period, int octaves, float gain, uint32_t seed);

// Worley (cellular) distance to the nearest feature point, tileable, in
// cell units (roughly 0..1).
float Cellular(float x, float y, int32_t period, uint32_t seed);

inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float Smoothstep(float a, float b, float x)
{
    const float t = Clamp01((x - a) / (b - a));
    return t * t * (3 - 2 * t);
}
inline float Lerp(float a, float b, float t) { return a + (b - a) * t; }

}  // namespace bake
