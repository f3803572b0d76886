// The engine's own arithmetic, kept apart from the device so that each rule
// can be checked on its own: the smoothed clock, sky scrolling, the lens
// flare table and its fading, motion-blur weights, the gamma ramp, glyph
// cells, the loading bar and rotated overlay rectangles.
#pragma once

#include <array>
#include <cstdint>

#include "d3d8.h"

namespace render {

// The share of the depth range the opaque geometry (canyon, creatures) is
// drawn into; the far end beyond it belongs to the sky and the haze, which
// are drawn last and only where nothing else was. Even a 16-bit depth
// buffer keeps about 65 steps between the two.
constexpr float kOpaqueMaxZ = 0.999f;

// Longest smoothed frame: a stall moves the scene by at most this much.
constexpr double kMaxSmoothedFrame = 0.1;

// 0.9 of the old value plus 0.1 of the last frame, capped.
double SmoothFrameTime(double smoothed, double lastFrame);

// Texture scrolling of the sky dome at scene clock t (single precision):
// s for the sky layer (period 70 s), cu and cv for the clouds (40 s, 32.345 s).
struct SkyOffsets {
    float s = 0, cu = 0, cv = 0;
};
SkyOffsets SkyTextureOffsets(double sceneClock);

// One element of the lens flare chain.
struct FlareElement {
    int32_t slot;      // fixed texture slot
    float position;    // 0 at the sun, 1 mirrored through the screen centre
    float size;        // half-width in overlay units
    D3DCOLOR colour;   // alpha 0xFF, not read
    bool rotates;      // turns with the sun's screen position
};
extern const std::array<FlareElement, 21> kFlareElements;

// Fades the flare in or out at 10 per second of smoothed time, clamped to
// [0, 1]. Only sub-frame 0 calls it, so the fade rate is the same for any
// number of motion-blur samples.
float StepFlareIntensity(float intensity, bool visible, double smoothedFrame);

// Dims the flares as the sun nears a screen edge (the outer tenth).
float FlareEdgeFactor(float sx, float sy);

// The colour of a flare element at strength m (intensity x edge factor).
D3DCOLOR FlareColour(D3DCOLOR elementColour, float m);

// Weight of sub-frame k when folded into the running mean: 255 / (k + 1).
uint32_t AccumulationAlpha(int k);

// Gamma ramp for a brightness factor b (1 = identity).
void BuildGammaRamp(double brightness, D3DGAMMARAMP& ramp);

// The font cell of a character code (taken as a signed byte).
struct GlyphCell {
    float uL, uR, vT, vB;
};
GlyphCell GlyphCellFor(char code);

float ClampProgress(float fraction);

// The four corners of a rectangle turned by `angle` about its own centre, in
// strip order: (x0, y0), (x0, y1), (x1, y0), (x1, y1).
struct Corner {
    float x, y;
};
std::array<Corner, 4> RectCorners(float x0, float y0, float x1, float y1, float angle);

// The motion-blur target size for a quality setting, and the sample count.
uint32_t MotionBlurTargetSize(int32_t quality);
int32_t MotionBlurSampleCount(int32_t enabled, int32_t samples);

}  // namespace render
