// Display modes and screens from SDL and XRandR, on the test's X server.
#include <gtest/gtest.h>


#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <string>
#include <utility>

#include "app/display.h"
#include "platform/sdl/sdl_display.h"

// Xlib's macros (None, Status) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

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

// Gives the server's primary output one more mode, as a monitor would offer
// it, so that a real switch can be made; false when the server refuses. A
// mode left by an earlier run on the same server is reused: creating it
// twice is an X protocol error.
int g_xErrors = 0;
int CountXError(Display*, XErrorEvent*)
{
    ++g_xErrors;
    return 0;
}

bool AddOutputMode(unsigned width, unsigned height)
{
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return false;
    g_xErrors = 0;
    const auto previous = XSetErrorHandler(CountXError);
    const Window root = DefaultRootWindow(d);
    XRRScreenResources* res = XRRGetScreenResources(d, root);
    RROutput output = XRRGetOutputPrimary(d, root);
    if (res && !output && res->noutput > 0)
        output = res->outputs[0];
    if (res && output) {
        std::string name = std::to_string(width) + "x" + std::to_string(height) + "_test";
        RRMode mode = 0;
        for (int i = 0; i < res->nmode; ++i)
            if (res->modes[i].name && name == res->modes[i].name)
                mode = res->modes[i].id;
        if (!mode) {
            XRRModeInfo info{};
            info.width = width;
            info.height = height;
            info.dotClock = 60ul * (width + 160) * (height + 30);
            info.hTotal = width + 160;
            info.vTotal = height + 30;
            info.hSyncStart = width + 40;
            info.hSyncEnd = width + 80;
            info.vSyncStart = height + 3;
            info.vSyncEnd = height + 6;
            info.name = name.data();
            info.nameLength = static_cast<unsigned>(name.size());
            mode = XRRCreateMode(d, root, &info);
        }
        bool listed = false;
        if (XRROutputInfo* out = XRRGetOutputInfo(d, res, output)) {
            for (int i = 0; i < out->nmode; ++i)
                listed |= out->modes[i] == mode;
            XRRFreeOutputInfo(out);
        }
        if (mode && !listed)
            XRRAddOutputMode(d, output, mode);
        XSync(d, False);
        if (!mode)
            ++g_xErrors;
    } else {
        ++g_xErrors;
    }
    if (res)
        XRRFreeScreenResources(res);
    XSync(d, False);
    XSetErrorHandler(previous);
    XCloseDisplay(d);
    return g_xErrors == 0;
}

std::pair<int, int> ScreenSize()
{
    Display* d = XOpenDisplay(nullptr);
    const std::pair<int, int> size{DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
    XCloseDisplay(d);
    return size;
}

TEST_F(SdlDisplayTest, SwitchesToAnotherModeAndBack)
{
    if (width <= 800 || height <= 600 || !AddOutputMode(800, 600))
        GTEST_SKIP() << "the server offers no second mode";
    ASSERT_TRUE(os::sdl::ChangeDisplayMode(800, 600, 16));
    EXPECT_EQ(ScreenSize(), std::make_pair(800, 600));
    // A second switch still returns to the desktop's own mode.
    ASSERT_TRUE(os::sdl::ChangeDisplayMode(800, 600, 32));
    os::sdl::RestoreDisplayMode();
    EXPECT_EQ(ScreenSize(), std::make_pair(static_cast<int>(width), static_cast<int>(height)));
    os::sdl::RestoreDisplayMode(); // nothing left to restore
    EXPECT_EQ(ScreenSize(), std::make_pair(static_cast<int>(width), static_cast<int>(height)));
}

TEST_F(SdlDisplayTest, ASaverKilledWithSigkillStillLeavesTheDesktopInItsMode)
{
    if (width <= 800 || height <= 600 || !AddOutputMode(800, 600))
        GTEST_SKIP() << "the server offers no second mode";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t saver = fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) {
        close(ready[0]);
        const char ok = os::sdl::ChangeDisplayMode(800, 600, 32) ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char ok = 0;
    const ssize_t got = read(ready[0], &ok, 1);
    close(ready[0]);
    if (got != 1 || ok != 'y') {
        kill(saver, SIGKILL);
        waitpid(saver, nullptr, 0);
        FAIL() << "the switch in the child failed";
    }
    EXPECT_EQ(ScreenSize(), std::make_pair(800, 600));
    ASSERT_EQ(kill(saver, SIGKILL), 0);
    ASSERT_EQ(waitpid(saver, nullptr, 0), saver);
    // The guardian acts as soon as it is scheduled; on a loaded machine that
    // can take a while, so the wait is for the outcome with a generous cap.
    const std::pair<int, int> desktop{static_cast<int>(width), static_cast<int>(height)};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ScreenSize() != desktop && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ScreenSize(), desktop);
}

} // namespace
