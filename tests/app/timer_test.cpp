// The clock in both of its modes and the frame times derived from it.
#include <gtest/gtest.h>

#include "app/saver_app.h"
#include "app/timer.h"
#include "platform/fake/fake_os.h"

TEST(CTimer, CounterModeMeasuresFromTheOrigin)
{
    os::FakeOS os;
    os.perfFrequency = 1000;
    os.perfCounter = 5000;
    CTimer timer(os);
    EXPECT_TRUE(timer.UsesCounter());
    os.perfCounter = 7500;
    EXPECT_DOUBLE_EQ(timer.Elapsed(), 2.5);
    timer.Start();
    EXPECT_DOUBLE_EQ(timer.Elapsed(), 0.0);
    os.perfCounter = 7250;  // a counter that went backwards gives a negative span
    EXPECT_DOUBLE_EQ(timer.Elapsed(), -0.25);
}

TEST(CTimer, MillisecondModeSurvivesTheWrap)
{
    os::FakeOS os;
    os.perfFrequency = 0;
    os.milliseconds = 0xffffff00u;
    CTimer timer(os);
    EXPECT_FALSE(timer.UsesCounter());
    os.milliseconds = 0x100u;  // wrapped
    EXPECT_DOUBLE_EQ(timer.Elapsed(), 0.512);
}

// The shell's services, doing nothing: only the clock is under test here.
class IdleEngine final : public IEngineHost {
public:
    bool Init(os::IWindow&, bool) override { return true; }
    void RenderFrame() override {}
    void Shutdown() override {}
    IRender* GetRender() override { return nullptr; }
};

class SilentSound final : public ISoundHost {
public:
    void Start(os::IWindow&) override {}
    void SetVolume(float) override {}
    void Update() override {}
    void Shutdown() override {}
};

class FrameTimes : public ::testing::Test {
protected:
    FrameTimes()
    {
        os.perfFrequency = 1000;
        services.engine = &engine;
        services.sound = &sound;
    }
    void AdvanceMs(uint64_t ms) { os.perfCounter += ms; }

    os::FakeOS os;
    IdleEngine engine;
    SilentSound sound;
    ShellServices services;
};

TEST_F(FrameTimes, ResetClockZeroesFrameAndTotalTime)
{
    CSaverApp app(os, services);
    AdvanceMs(3000);
    app.ResetClock();
    EXPECT_DOUBLE_EQ(app.GetFrameTime(), 0.0);
    EXPECT_DOUBLE_EQ(app.GetTotalTime(), 0.0);
    EXPECT_DOUBLE_EQ(app.GetTime(), 0.0);
}

TEST_F(FrameTimes, LongFramesAreClampedForTheTotalButNotTheRawTime)
{
    CSaverApp app(os, services);
    app.ResetClock();
    AdvanceMs(350);
    app.Tick();
    EXPECT_DOUBLE_EQ(app.GetFrameTime(), 0.35);
    EXPECT_DOUBLE_EQ(app.GetClampedFrameTime(), 0.1);
    EXPECT_DOUBLE_EQ(app.GetTotalTime(), 0.1);
    EXPECT_DOUBLE_EQ(app.GetTime(), 0.35);

    AdvanceMs(100);  // exactly the limit: unchanged
    app.Tick();
    EXPECT_DOUBLE_EQ(app.GetClampedFrameTime(), 0.1);
    AdvanceMs(20);
    app.Tick();
    EXPECT_NEAR(app.GetClampedFrameTime(), 0.02, 1e-12);
    EXPECT_NEAR(app.GetTotalTime(), 0.22, 1e-12);
    EXPECT_NEAR(app.GetTime(), 0.47, 1e-12);
}

TEST_F(FrameTimes, ProcessWidePointerFollowsTheApplicationObject)
{
    {
        CSaverApp app(os, services);
        EXPECT_EQ(g_pSystem, &app);
    }
    EXPECT_EQ(g_pSystem, nullptr);
}
