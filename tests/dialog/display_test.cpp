// The mode list, the monitor list and the mode switch.
#include <gtest/gtest.h>

#include "app/display.h"
#include "test_support.h"

namespace {

std::vector<DisplayMode> Entries(const CDisplay& d)
{
    std::vector<DisplayMode> v;
    for (unsigned i = 0; i < d.count(); ++i)
        v.push_back(*d.item(i));
    return v;
}

TEST(CDisplay, RefreshRatesAndDepthsCollapseTo16And32)
{
    const CDisplay d({{640, 480, 8, 60},
                      {640, 480, 16, 60},
                      {640, 480, 32, 60},
                      {640, 480, 8, 75},
                      {640, 480, 16, 75},
                      {640, 480, 32, 75},
                      {640, 480, 32, 85}});
    EXPECT_EQ(Entries(d), (std::vector<DisplayMode>{{640, 480, 32}, {640, 480, 16}}));
}

TEST(CDisplay, SmallAndOddDepthModesNeverAppear)
{
    const CDisplay d({{320, 200, 32, 60},
                      {640, 400, 32, 60},
                      {600, 480, 16, 60},
                      {800, 600, 24, 60},
                      {800, 600, 15, 60},
                      {800, 600, 0, 60},
                      {1024, 768, 16, 60}});
    EXPECT_EQ(Entries(d), (std::vector<DisplayMode>{{1024, 768, 16}}));
    EXPECT_EQ(d.item(1), nullptr);
    EXPECT_EQ(CDisplay(std::vector<os::DisplayModeInfo>{}).count(), 0u);
}

TEST(CDisplay, SortsByWidthHeightThenDeeperFirst)
{
    const CDisplay d({{1024, 768, 16, 60},
                      {800, 600, 32, 60},
                      {1024, 600, 32, 60},
                      {1024, 768, 32, 60},
                      {800, 600, 16, 60},
                      {640, 480, 16, 60}});
    EXPECT_EQ(Entries(d), (std::vector<DisplayMode>{{640, 480, 16},
                                                   {800, 600, 32},
                                                   {800, 600, 16},
                                                   {1024, 600, 32},
                                                   {1024, 768, 32},
                                                   {1024, 768, 16}}));
}

TEST(CDisplay, KeepsTheFirstHundredFoundThenSorts)
{
    // 150 distinct qualifying sizes, enumerated from the largest down; each
    // also repeated with another refresh rate, which must not use up room.
    std::vector<os::DisplayModeInfo> modes;
    for (uint32_t i = 0; i < 150; ++i) {
        modes.push_back({2000 - i, 1000, 32, 60});
        modes.push_back({2000 - i, 1000, 32, 75});
    }
    const CDisplay d(modes);
    ASSERT_EQ(d.count(), 100u);
    EXPECT_EQ(d.item(0)->width, 1901u); // the smallest of the first 100 found
    EXPECT_EQ(d.item(99)->width, 2000u);
    EXPECT_EQ(d.item(100), nullptr);
    for (unsigned i = 1; i < d.count(); ++i)
        EXPECT_LT(d.item(i - 1)->width, d.item(i)->width);
}

TEST(CDisplay, AsksTheOSForItsModes)
{
    testsupport::ScriptedOS os;
    os.modes = {{800, 600, 32, 60}, {640, 480, 16, 60}};
    CDisplay d(os);
    ASSERT_EQ(d.count(), 2u);
    EXPECT_EQ(*d.item(0), (DisplayMode{640, 480, 16}));
}

TEST(MonitorList, RecordsEveryAttachedAndDetachedAdapterButMirrors)
{
    testsupport::ScriptedOS os;
    os::ScreenInfo primary{"Adapter A", "Monitor A", {0, 0, 1920, 1080}, true, true, false};
    os::ScreenInfo left{"Adapter B", "Monitor B", {-1280, -200, 0, 824}, false, true, false};
    os::ScreenInfo mirror{"Adapter C", "Monitor C", {0, 0, 1920, 1080}, false, true, true};
    os::ScreenInfo detached{"Adapter D", "", {}, false, false, false};
    os.screens = {primary, left, mirror, detached};

    const std::vector<MonitorRecord> list = BuildMonitorList(os);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].adapter, "Adapter A");
    EXPECT_EQ(list[0].monitor, "Monitor A");
    EXPECT_EQ(list[0].primary, 1);
    EXPECT_EQ(list[0].rect, (os::Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(list[0].monitorIndex, 0);

    EXPECT_EQ(list[1].primary, 0);
    EXPECT_EQ(list[1].rect, (os::Rect{-1280, -200, 0, 824}));
    EXPECT_EQ(list[1].monitorIndex, 1);

    EXPECT_EQ(list[2].adapter, "Adapter D");
    EXPECT_EQ(list[2].monitor, "");
    EXPECT_EQ(list[2].primary, 0);
    EXPECT_EQ(list[2].rect, os::Rect{});
    EXPECT_EQ(list[2].monitorIndex, -1);
}

TEST(MonitorList, NoScreensGiveNoRecords)
{
    EXPECT_TRUE(BuildMonitorList(std::vector<os::ScreenInfo>{}).empty());
}

TEST(ModeSwitch, PassesTheModeAndReportsRefusal)
{
    testsupport::ScriptedOS os;
    EXPECT_TRUE(SetDisplayMode(os, 800, 600, 16));
    os.acceptModeSwitch = false;
    EXPECT_FALSE(SetDisplayMode(os, 1024, 768, 32));
    ASSERT_EQ(os.switches.size(), 2u);
    EXPECT_EQ(os.switches[1].width, 1024u);
    EXPECT_EQ(os.switches[1].height, 768u);
    EXPECT_EQ(os.switches[1].bits, 32u);
    RestoreDisplayMode(os);
    EXPECT_EQ(os.restores, 1);
}

} // namespace
