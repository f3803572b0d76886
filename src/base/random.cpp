// Linear congruential generator with the classic 214013 / 2531011 constants;
// bits 16..30 of the state are the result.
#include "base/random.h"

namespace {
uint32_t g_state = 1;
}

void SeedRandom(uint32_t seed)
{
    g_state = seed;
}

int RandomInt()
{
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & 0x7fffu);
}

float RandomFloat(float a, float b)
{
    return a + (b - a) * static_cast<float>(RandomInt()) / static_cast<float>(kRandomMax);
}
