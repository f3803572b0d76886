// The actors' clip changes, cross-fades and animation events.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/random.h"
#include "clock.h"
#include "creatures/pterodactyl.h"

namespace {

class PterodactylTest : public ::testing::Test {
protected:
    TestClock clock;
    CPterodactyl actor;
};

TEST(PterodactylTables, ClipsAndEvents)
{
    EXPECT_EQ(kPteroClips[0].first, 1);
    EXPECT_EQ(kPteroClips[1].last, 39);
    EXPECT_EQ(kPteroClips[2].speed, 20.0f);
    int count = 0;
    for (const ClipEvent* e = kPteroEvents; e->frame >= 0 && e->id >= 0; ++e)
        ++count;
    EXPECT_EQ(count, 3);
}

TEST_F(PterodactylTest, StartsFarAwayAndSilent)
{
    EXPECT_GT(actor.Position().x, 1e19f);
    for (int v = 0; v < CPterodactyl::kVoiceCount; ++v)
        EXPECT_EQ(actor.VoiceHandle(static_cast<CPterodactyl::Voice>(v)), -1);
    EXPECT_EQ(actor.NextAction(), 0.0f);
}

TEST_F(PterodactylTest, FlapSoundsWhenClipTwoReachesFrame45)
{
    actor.SetEvents(kPteroEvents);
    clock.total = 10.0;
    actor.PlayClip(kPteroClips[2], 0.5f);
    int firstFlapStep = -1;
    for (int step = 1; step <= 64; ++step) {  // 1/32 s steps, exact in binary
        clock.Advance(1.0 / 32);
        actor.FireEvents();
        if (actor.FlapCount() > 0 && firstFlapStep < 0)
            firstFlapStep = step;
    }
    // Frame 45 is reached 0.2 s in (frames 41..45 at 20 per second): the
    // first step past it is the seventh (0.21875 s).
    EXPECT_EQ(firstFlapStep, 7);
    // Then once every 19 frames (0.95 s): at 0.2 and 1.15 s within two seconds.
    EXPECT_EQ(actor.FlapCount(), 2);
}

TEST_F(PterodactylTest, ClipsZeroAndOneNeverFlap)
{
    actor.SetEvents(kPteroEvents);
    for (int c : {0, 1}) {
        actor.PlayClip(kPteroClips[static_cast<size_t>(c)], 0.0f);
        for (int step = 0; step < 300; ++step) {
            clock.Advance(0.01);
            actor.FireEvents();
        }
    }
    EXPECT_EQ(actor.FlapCount(), 0);
}

TEST_F(PterodactylTest, ALongFrameFiresEveryPassedEvent)
{
    actor.SetEvents(kPteroEvents);
    actor.PlayClip(kPteroClips[2], 0.0f);
    clock.Advance(0.0);
    actor.FireEvents();
    clock.Advance(3.0);  // frames 41..101 in one go: 45, 64 and 83 passed
    actor.FireEvents();
    EXPECT_EQ(actor.FlapCount(), 3);
    clock.Advance(1e5);  // an absurd stall stays bounded
    actor.FireEvents();
    EXPECT_GT(actor.FlapCount(), 3);
    EXPECT_LT(actor.FlapCount(), 3 + 4096 / 19 + 2);
}

TEST_F(PterodactylTest, ClocksBeyondAnyFrameNumberFireNothing)
{
    actor.SetEvents(kPteroEvents);
    actor.PlayClip(kPteroClips[2], 0.0f);
    for (double t : {1e30, HUGE_VAL, std::nan("")}) {
        clock.total = t;
        actor.FireEvents();
        actor.UpdatePose();
    }
    EXPECT_EQ(actor.FlapCount(), 0);
    // A clip started afresh on a sane clock flaps as usual.
    clock.total = 100.0;
    actor.PlayClip(kPteroClips[0], 0.0f);
    actor.PlayClip(kPteroClips[2], 0.0f);
    clock.Advance(0.0);
    actor.FireEvents();
    clock.Advance(1.0);
    actor.FireEvents();
    EXPECT_EQ(actor.FlapCount(), 1);
}

TEST_F(PterodactylTest, ClipsKeepTheirPaceAfterAHundredHours)
{
    actor.SetEvents(kPteroEvents);
    clock.total = 100 * 3600.0 + 0.3;
    actor.PlayClip(kPteroClips[2], 0.0f);
    // Flaps come every 19 frames at 20 a second (0.95 s, 228 steps of
    // 1/240 s). A float clock of this size moves in 1/32 s steps and would
    // put them up to 7 steps off.
    std::vector<int> flaps;
    for (int step = 1; step <= 2400; ++step) {
        clock.Advance(1.0 / 240);
        const int before = actor.FlapCount();
        actor.FireEvents();
        if (actor.FlapCount() != before)
            flaps.push_back(step);
    }
    ASSERT_GE(flaps.size(), 9u);
    for (size_t i = 1; i < flaps.size(); ++i)
        EXPECT_NEAR(flaps[i] - flaps[i - 1], 228, 1) << i;
}

TEST_F(PterodactylTest, SameLoopingClipRunsOnOtherClipRestartsWithFade)
{
    clock.total = 5.0;
    actor.PlayClip(kPteroClips[2], 0.5f);
    EXPECT_EQ(actor.ClipStart(), 5.0f);
    EXPECT_EQ(actor.FadeDuration(), 0.5f);
    clock.total = 6.0;
    actor.PlayClip(kPteroClips[2], 0.5f);
    EXPECT_EQ(actor.ClipStart(), 5.0f);  // no restart
    EXPECT_EQ(actor.FadeDuration(), 0.0f);
    actor.PlayClip(kPteroClips[0], 0.5f);
    EXPECT_EQ(actor.Clip(), &kPteroClips[0]);
    EXPECT_EQ(actor.ClipStart(), 6.0f);
    EXPECT_EQ(actor.FadeDuration(), 0.5f);
}

TEST_F(PterodactylTest, FirstUpdatePicksAClipAndWaitsOneToThreeSeconds)
{
    SeedRandom(99);
    clock.total = 0.05;
    actor.Update();
    ASSERT_NE(actor.Clip(), nullptr);
    EXPECT_GE(actor.NextAction(), 1.05f);
    EXPECT_LE(actor.NextAction(), 3.05f);
    const double next = actor.NextAction();
    const AnimClip* clip = actor.Clip();
    clock.total = next - 0.01;
    actor.Update();
    EXPECT_EQ(actor.NextAction(), next);
    EXPECT_EQ(actor.Clip(), clip);
    clock.total = next + 0.01;
    actor.Update();
    EXPECT_GT(actor.NextAction(), next);
}

TEST_F(PterodactylTest, RandomClipChoicesCoverAllThree)
{
    SeedRandom(5);
    bool seen[3] = {};
    for (int i = 0; i < 60; ++i) {
        clock.total += 3.5;
        actor.Update();
        for (size_t c = 0; c < 3; ++c)
            seen[c] = seen[c] || actor.Clip() == &kPteroClips[c];
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

}  // namespace
