// The helicopter sound's speed curve and its stepping.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "clock.h"
#include "creatures/heli_sound.h"
#include "model/skeleton.h"

namespace {

// A one-track path whose key positions move by the given steps along x.
std::string Path(const std::vector<float>& xs)
{
    std::string text = "bones { 0 ClassicCamera -1 } animation {";
    for (size_t i = 0; i < xs.size(); ++i)
        text += " frame " + std::to_string(i) + " { " + std::to_string(xs[i]) + " 0 0 0 0 0 }";
    return text + " }";
}

TEST(HeliSound, KeySpeedsAreNormalisedToZeroOne)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(Path({0, 1, 3, 6, 10, 15})));
    CHeliSound heli;
    ASSERT_TRUE(heli.Init(path, "ClassicCamera"));
    const auto& k = heli.KeySpeeds();
    ASSERT_EQ(k.size(), 6u);
    // s(i) = |P(i) - P(i-1)| + |P(i+1) - P(i)| with wrap-around.
    // s = {15+1, 1+2, 2+3, 3+4, 4+5, 5+15} = {16, 3, 5, 7, 9, 20}
    EXPECT_NEAR(k[0], 13.0f / 17.0f, 1e-6);
    EXPECT_EQ(k[1], 0.0f);
    EXPECT_EQ(k[5], 1.0f);
    EXPECT_NEAR(k[3], 4.0f / 17.0f, 1e-6);
}

TEST(HeliSound, MissingOrEmptyTrackFailsAndEvenSpacingDoesNotDivideByZero)
{
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText("bones { 0 Other -1 } animation { frame 0 { 0 0 0 0 0 0 } }"));
    CHeliSound heli;
    EXPECT_FALSE(heli.Init(path, "ClassicCamera"));

    CSkeleton even;
    ASSERT_TRUE(even.LoadFromText(Path({0, 0, 0, 0})));
    CHeliSound still;
    ASSERT_TRUE(still.Init(even, "ClassicCamera"));
    for (float v : still.KeySpeeds())
        EXPECT_EQ(v, 0.5f);
}

TEST(HeliSound, StepsEveryTenthOfASecondWithPitchFromTheCurve)
{
    TestClock clock;
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(Path({0, 1, 3, 6, 10, 15})));
    CHeliSound heli;
    ASSERT_TRUE(heli.Init(path, "ClassicCamera"));
    clock.frame = 0.04;
    heli.Tick(0, 1);
    heli.Tick(0, 1);
    EXPECT_EQ(heli.Ticks(), 0);  // 0.08 s: no step yet
    heli.Tick(0, 1);
    EXPECT_EQ(heli.Ticks(), 1);
    EXPECT_NEAR(heli.LastFrequency(), 0.8f + 0.4f * (13.0f / 17.0f), 1e-5);
    // A missed step is not caught up: one long frame gives one step.
    clock.frame = 1.0;
    heli.Tick(5, 1);
    EXPECT_EQ(heli.Ticks(), 2);
    EXPECT_NEAR(heli.LastFrequency(), 1.2f, 1e-5);  // key 5 is the fastest
    for (float x : {-3.7f, 0.5f, 2.25f, 599.9f, 1e6f}) {
        const float v = heli.SpeedAt(x);
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
    }
}

TEST(HeliSound, ABrokenClockNeitherStopsNorFloodsTheSteps)
{
    TestClock clock;
    CSkeleton path;
    ASSERT_TRUE(path.LoadFromText(Path({0, 1, 3, 6, 10, 15})));
    CHeliSound heli;
    ASSERT_TRUE(heli.Init(path, "ClassicCamera"));
    // One frame whose time is not a number, infinite or negative...
    for (double bad : {std::nan(""), HUGE_VAL, -1.0}) {
        clock.frame = bad;
        heli.Tick(0, 1);
    }
    // ...and the next second still steps ten times, not every frame.
    const int before = heli.Ticks();
    clock.frame = 0.01;
    for (int i = 0; i < 100; ++i)
        heli.Tick(static_cast<float>(i), 1);
    EXPECT_GE(heli.Ticks() - before, 9);
    EXPECT_LE(heli.Ticks() - before, 11);
    // Positions that are not numbers or beyond any integer read a valid speed.
    for (float x : {std::nanf(""), HUGE_VALF, -HUGE_VALF, 3e38f, -3e38f}) {
        const float v = heli.SpeedAt(x);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << x << " gave " << v;
    }
}

}  // namespace
