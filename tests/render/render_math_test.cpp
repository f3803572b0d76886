// The engine's own arithmetic: clock smoothing, sky scrolling, flare fading
// and edges, blur weights, gamma, glyph cells, loading bar, rotated quads.
#include <gtest/gtest.h>

#include <cmath>

#include "render/render_math.h"

using namespace render;

TEST(FrameClock, SmoothingFollowsTenPercentAndCapsStalls)
{
    EXPECT_DOUBLE_EQ(SmoothFrameTime(0.0, 0.02), 0.002);
    double s = 0;
    s = SmoothFrameTime(s, 5.0);  // a five-second stall
    EXPECT_DOUBLE_EQ(s, 0.1);
    s = SmoothFrameTime(s, 0.02);  // recovers by a tenth of the gap
    EXPECT_NEAR(s, 0.092, 1e-12);
    for (int i = 0; i < 200; ++i)
        s = SmoothFrameTime(s, 0.02);
    EXPECT_NEAR(s, 0.02, 1e-6);
}

TEST(SkyOffsets, StartAtZeroAndRepeatWithTheirPeriods)
{
    const SkyOffsets zero = SkyTextureOffsets(0.0);
    EXPECT_EQ(zero.s, 0.0f);
    EXPECT_EQ(zero.cu, 0.0f);
    EXPECT_EQ(zero.cv, 0.0f);
    const SkyOffsets a = SkyTextureOffsets(35.0);
    EXPECT_NEAR(a.s, 0.5f, 1e-6);
    EXPECT_NEAR(a.cu, 0.875f, 1e-6);
    const SkyOffsets b = SkyTextureOffsets(70.0 + 35.0);
    EXPECT_NEAR(b.s, a.s, 1e-5);
    const SkyOffsets c = SkyTextureOffsets(80.0);
    EXPECT_NEAR(c.cu, 0.0f, 1e-5);
    EXPECT_NEAR(SkyTextureOffsets(32.345 * 2).cv, 0.0f, 1e-4);
    for (double t : {0.5, 123.25, 9999.9}) {
        const SkyOffsets o = SkyTextureOffsets(t);
        EXPECT_GE(o.s, 0.0f);
        EXPECT_LT(o.s, 1.0f);
        EXPECT_GE(o.cv, 0.0f);
        EXPECT_LT(o.cv, 1.0f);
    }
}

TEST(SkyOffsets, CloudsDriftAsSmoothlyAfterAHundredHours)
{
    // Per-frame movement at 60 frames a second, early and late in a run.
    auto step = [](double t) { return SkyTextureOffsets(t + 1.0 / 60).s - SkyTextureOffsets(t).s; };
    for (int i = 0; i < 10; ++i) {
        const double early = step(10.0 + i / 60.0), late = step(100 * 3600.0 + 20.0 + i / 60.0);
        EXPECT_NEAR(late, early, 0.01 * early) << i;
    }
}

TEST(LensFlare, IntensityFadesAtTenPerSecondAndStaysInRange)
{
    float i = 0;
    i = StepFlareIntensity(i, true, 0.02);
    EXPECT_NEAR(i, 0.2f, 1e-6);
    for (int k = 0; k < 10; ++k)
        i = StepFlareIntensity(i, true, 0.02);
    EXPECT_EQ(i, 1.0f);
    // Hidden: gone after 0.1 s of smoothed time.
    for (int k = 0; k < 5; ++k)
        i = StepFlareIntensity(i, false, 0.02);
    EXPECT_NEAR(i, 0.0f, 1e-6);
    EXPECT_EQ(StepFlareIntensity(0.0f, false, 0.1), 0.0f);
}

TEST(LensFlare, EdgeFactorDimsTheOuterTenthOnEachSide)
{
    EXPECT_FLOAT_EQ(FlareEdgeFactor(0.5f, 0.5f), 1.0f);
    EXPECT_NEAR(FlareEdgeFactor(0.05f, 0.5f), 0.5f, 1e-6);  // 5 % from the left edge
    EXPECT_NEAR(FlareEdgeFactor(0.95f, 0.5f), 0.5f, 1e-5);
    EXPECT_NEAR(FlareEdgeFactor(0.05f, 0.05f), 0.25f, 1e-6);
    EXPECT_EQ(FlareEdgeFactor(-0.2f, 0.5f), 0.0f);
    EXPECT_EQ(FlareEdgeFactor(0.5f, 1.3f), 0.0f);
}

TEST(LensFlare, TableAndColourScaling)
{
    ASSERT_EQ(kFlareElements.size(), 21u);
    int rotating = 0;
    for (const FlareElement& e : kFlareElements) {
        EXPECT_GE(e.slot, 9);
        EXPECT_LE(e.slot, 13);
        rotating += e.rotates ? 1 : 0;
    }
    EXPECT_EQ(rotating, 1);
    EXPECT_TRUE(kFlareElements[3].rotates);
    EXPECT_EQ(kFlareElements[14].colour, 0xFF2F3F2Fu);
    EXPECT_EQ(FlareColour(0xFF5F5F5Fu, 1.0f), 0xFF5F5F5Fu);
    EXPECT_EQ(FlareColour(0xFF0F0F4Fu, 0.5f), 0xFF070727u);  // truncated per channel
    EXPECT_EQ(FlareColour(0xFF2F2F2Fu, 0.0f), 0xFF000000u);
}

TEST(MotionBlur, WeightsTargetSizesAndSampleCounts)
{
    EXPECT_EQ(AccumulationAlpha(0), 255u);
    EXPECT_EQ(AccumulationAlpha(1), 127u);
    EXPECT_EQ(AccumulationAlpha(2), 85u);
    EXPECT_EQ(AccumulationAlpha(3), 63u);
    EXPECT_EQ(AccumulationAlpha(4), 51u);
    EXPECT_EQ(MotionBlurTargetSize(0), 256u);
    EXPECT_EQ(MotionBlurTargetSize(1), 512u);
    EXPECT_EQ(MotionBlurTargetSize(2), 1024u);
    EXPECT_EQ(MotionBlurTargetSize(-3), 1024u);
    EXPECT_EQ(MotionBlurSampleCount(1, 0), 1);
    EXPECT_EQ(MotionBlurSampleCount(1, 40), 16);
    EXPECT_EQ(MotionBlurSampleCount(1, 6), 6);
    EXPECT_EQ(MotionBlurSampleCount(0, 6), 1);
}

TEST(Gamma, RampFromBrightness)
{
    D3DGAMMARAMP ramp{};
    BuildGammaRamp(1.0, ramp);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ramp.red[i], i * 256);
    BuildGammaRamp(0.0, ramp);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ramp.green[i], 0);
    BuildGammaRamp(-1.0, ramp);
    EXPECT_EQ(ramp.blue[255], 0);
    BuildGammaRamp(1.5, ramp);
    EXPECT_LT(ramp.red[170], 65535);
    EXPECT_EQ(ramp.red[171], 65535);
    BuildGammaRamp(2.0, ramp);
    EXPECT_EQ(ramp.red[127], 127 * 512);
    EXPECT_EQ(ramp.red[128], 65535);
    EXPECT_EQ(ramp.red[0], 0);
}

TEST(Text, GlyphCellsIncludingCodesAbove127)
{
    const GlyphCell a = GlyphCellFor('A');  // 65: column 1, row 4
    EXPECT_FLOAT_EQ(a.uL, 0.0625f + 0.01f);
    EXPECT_FLOAT_EQ(a.uR, 0.125f);
    EXPECT_FLOAT_EQ(a.vT, 0.25f + 0.01f);
    EXPECT_FLOAT_EQ(a.vB, 0.3125f);
    // 0xC1: column 1, row -4 — with wrap addressing the same texels as row 12.
    const GlyphCell high = GlyphCellFor(static_cast<char>(0xC1));
    EXPECT_FLOAT_EQ(high.uL, a.uL);
    EXPECT_FLOAT_EQ(high.vT, -0.25f + 0.01f);
    EXPECT_NEAR(high.vT + 1.0f, 12 * 0.0625f + 0.01f, 1e-6);
}

TEST(LoadingBar, ProgressIsClamped)
{
    EXPECT_EQ(ClampProgress(-1.0f), 0.0f);
    EXPECT_EQ(ClampProgress(2.0f), 1.0f);
    EXPECT_EQ(ClampProgress(0.5f), 0.5f);
    EXPECT_EQ(ClampProgress(std::nanf("")), 0.0f);
}

TEST(Overlay, RectanglesTurnAboutTheirOwnCentre)
{
    const auto flat = RectCorners(0.2f, 0.3f, 0.4f, 0.7f, 0.0f);
    EXPECT_FLOAT_EQ(flat[0].x, 0.2f);
    EXPECT_FLOAT_EQ(flat[1].y, 0.7f);
    EXPECT_FLOAT_EQ(flat[3].x, 0.4f);
    const auto turned = RectCorners(0.2f, 0.3f, 0.4f, 0.7f, 3.14159265f / 2);
    // Centre (0.3, 0.5); the corner (0.2, 0.3) goes to (0.5, 0.4).
    EXPECT_NEAR(turned[0].x, 0.5f, 1e-6);
    EXPECT_NEAR(turned[0].y, 0.4f, 1e-6);
    float cx = 0, cy = 0;
    for (const Corner& c : turned) {
        cx += c.x / 4;
        cy += c.y / 4;
    }
    EXPECT_NEAR(cx, 0.3f, 1e-6);
    EXPECT_NEAR(cy, 0.5f, 1e-6);
}
