// Display modes and screens from SDL and XRandR, on the test's X server.
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdlib>

#include "app/display.h"
#include "platform/sdl/sdl_display.h"

// Xlib's macros (None, Status) would clash with the names above.
#include <X11/Xlib.h>

namespace {

class SdlDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display";
        Display* d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr);
        width = static_cast<uint32_t>(DisplayWidth(d, DefaultScreen(d)));
        height = static_cast<uint32_t>(DisplayHeight(d, DefaultScreen(d)));
        depth = DefaultDepth(d, DefaultScreen(d));
        XCloseDisplay(d);
    }
    uint32_t width = 0, height = 0;
    int depth = 0;
};

TEST_F(SdlDisplayTest, DesktopModeIsListedWith32BitsForA24BitDesktop)
{
    const auto modes = os::sdl::EnumerateDisplayModes();
    ASSERT_FALSE(modes.empty());
    const auto desktop = std::find_if(modes.begin(), modes.end(),
                                      [&](const os::DisplayModeInfo& m) { return m.width == width && m.height == height; });
    ASSERT_NE(desktop, modes.end());
    if (depth == 24) {
        EXPECT_EQ(desktop->bits, 32u);
    }
    // And the mode list offers it.
    const CDisplay list(modes);
    bool found = false;
    for (unsigned i = 0; i < list.count(); ++i)
        found |= list.item(i)->width == width && list.item(i)->height == height;
    EXPECT_TRUE(found);
}

TEST_F(SdlDisplayTest, ScreensStartWithThePrimary)
{
    const auto screens = os::sdl::EnumerateScreens();
    ASSERT_FALSE(screens.empty());
    EXPECT_TRUE(screens[0].primary);
    EXPECT_TRUE(screens[0].attached);
    EXPECT_FALSE(screens[0].mirroring);
    EXPECT_EQ(screens[0].bounds, os::sdl::PrimaryScreenBounds());
    EXPECT_EQ(static_cast<uint32_t>(screens[0].bounds.Width()), width);
    EXPECT_EQ(static_cast<uint32_t>(screens[0].bounds.Height()), height);
    for (size_t i = 1; i < screens.size(); ++i)
        EXPECT_FALSE(screens[i].primary);
}

TEST_F(SdlDisplayTest, SwitchesOnlyToModesTheServerHas)
{
    // The current mode is always reachable; a size the server lacks or a
    // depth the list never offers is refused, and the process survives it.
    EXPECT_TRUE(os::sdl::ChangeDisplayMode(width, height, 32));
    EXPECT_FALSE(os::sdl::ChangeDisplayMode(width, height, 24));
    EXPECT_FALSE(os::sdl::ChangeDisplayMode(width, height, 8));
    EXPECT_FALSE(os::sdl::ChangeDisplayMode(333, 222, 32));
    EXPECT_FALSE(os::sdl::ChangeDisplayMode(0, 0, 32));
    os::sdl::RestoreDisplayMode();
    EXPECT_EQ(static_cast<uint32_t>(os::sdl::PrimaryScreenBounds().Width()), width);
}

} // namespace
