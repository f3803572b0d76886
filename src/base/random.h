// The program's one pseudo-random generator: integers 0..32767 from a linear
// congruential sequence, so that a seed gives the same flight on every
// platform and C library.
#pragma once

#include <cstdint>

constexpr int kRandomMax = 32767;

void SeedRandom(uint32_t seed);
int RandomInt();                       // 0 .. kRandomMax
float RandomFloat(float a, float b);   // a + (b - a) * r / 32767
