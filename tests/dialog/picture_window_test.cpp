// The picture window inside a real foreign X11 parent, and the preview loop
// it ends.
#include <gtest/gtest.h>


#include <cstdlib>
#include <vector>

#include "app/splash_wnd.h"
#include "base/system.h"
#include "platform/x11/picture_window.h"
#include "test_support.h"

constexpr os::DispatchResult kNothing = os::DispatchResult::None;

// Xlib's macros (None, Status) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace testsupport;

struct Recorder : os::IEventHandler {
    std::vector<os::EventType> events;
    void OnEvent(os::IWindow&, const os::Event& e) override { events.push_back(e.type); }
    int Count(os::EventType t) const { return static_cast<int>(std::count(events.begin(), events.end(), t)); }
};

// The desktop's side: another client owning the preview area.
class PictureWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display";
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
        parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, 152, 112, 0, 0, 0x808080);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
    }
    void TearDown() override
    {
        if (dpy) {
            if (parent)
                XDestroyWindow(dpy, parent);
            XCloseDisplay(dpy);
        }
    }
    void DestroyParent()
    {
        XDestroyWindow(dpy, parent);
        XSync(dpy, False);
        parent = 0;
    }
    // Dispatches until `done` or a generous number of rounds has passed.
    template <class F>
    bool DispatchUntil(F done)
    {
        for (int round = 0; round < 400 && !done(); ++round)
            if (!os::x11::DispatchPictureEvent())
                os::x11::WaitPictureInput(10);
        return done();
    }
    os::WindowDesc Desc(uint64_t id)
    {
        os::WindowDesc d;
        d.kind = os::WindowKind::Picture;
        d.title = "Splash Window";
        d.foreignParent = id;
        d.bitmap = picture;
        return d;
    }
    uint32_t PixelAt(Window w, int x, int y)
    {
        XImage* img = XGetImage(dpy, w, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img)
            return 0xdeadbeef;
        const uint32_t p = static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xffffff;
        XDestroyImage(img);
        return p;
    }

    // What a window manager sends to close a window.
    void SendDelete(Window w)
    {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
        XSendEvent(dpy, w, False, NoEventMask, &ev);
        XSync(dpy, False);
    }
    Window OnlyChildOf(Window w)
    {
        Window root = 0, p = 0, *children = nullptr, child = 0;
        unsigned n = 0;
        if (XQueryTree(dpy, w, &root, &p, &children, &n) && n == 1)
            child = children[0];
        if (children)
            XFree(children);
        return child;
    }

    Display* dpy = nullptr;
    Window parent = 0;
    std::vector<uint8_t> picture = QuadrantPicture();
};

TEST_F(PictureWindowTest, CoversTheParentWithTheStretchedPicture)
{
    Recorder rec;
    auto win = os::x11::CreatePictureWindow(Desc(parent), &rec);
    ASSERT_NE(win, nullptr);
    ASSERT_FALSE(rec.events.empty());
    EXPECT_EQ(rec.events.front(), os::EventType::Create);
    EXPECT_EQ(win->ClientRect(), (os::Rect{0, 0, 152, 112}));

    const Window child = static_cast<Window>(reinterpret_cast<uintptr_t>(win->NativeHandle()));
    Window root = 0, parentOf = 0, *children = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(dpy, child, &root, &parentOf, &children, &n));
    if (children)
        XFree(children);
    EXPECT_EQ(parentOf, parent);
    XWindowAttributes attr{};
    ASSERT_TRUE(XGetWindowAttributes(dpy, child, &attr));
    EXPECT_EQ(attr.x, 0);
    EXPECT_EQ(attr.y, 0);
    EXPECT_EQ(attr.width, 152);
    EXPECT_EQ(attr.height, 112);
    EXPECT_EQ(attr.map_state, IsViewable);

    ASSERT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Paint) > 0; }));
    // The whole picture, scaled down, seen through the parent.
    EXPECT_EQ(PixelAt(parent, 0, 0), kRed);
    EXPECT_EQ(PixelAt(parent, 151, 0), kGreen);
    EXPECT_EQ(PixelAt(parent, 0, 111), kBlue);
    EXPECT_EQ(PixelAt(parent, 151, 111), kWhite);
    EXPECT_EQ(PixelAt(parent, 75, 55), kRed);
    EXPECT_EQ(PixelAt(parent, 76, 56), kWhite);

    // Exposed again (unmapped and mapped by the desktop): painted again.
    const int paints = rec.Count(os::EventType::Paint);
    XUnmapWindow(dpy, parent);
    XMapWindow(dpy, parent);
    XSync(dpy, False);
    EXPECT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Paint) > paints; }));
    EXPECT_EQ(PixelAt(parent, 151, 111), kWhite);
}

TEST_F(PictureWindowTest, FollowsTheParentsSize)
{
    Recorder rec;
    auto win = os::x11::CreatePictureWindow(Desc(parent), &rec);
    ASSERT_NE(win, nullptr);
    XResizeWindow(dpy, parent, 300, 200);
    XSync(dpy, False);
    ASSERT_TRUE(DispatchUntil([&] { return win->ClientRect().Width() == 300; }));
    EXPECT_EQ(win->ClientRect(), (os::Rect{0, 0, 300, 200}));
    const int paints = rec.Count(os::EventType::Paint);
    ASSERT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Paint) > paints; }));
    EXPECT_EQ(PixelAt(parent, 0, 0), kRed);
    EXPECT_EQ(PixelAt(parent, 299, 0), kGreen);
    EXPECT_EQ(PixelAt(parent, 149, 99), kRed);
    EXPECT_EQ(PixelAt(parent, 150, 100), kWhite);
    EXPECT_EQ(PixelAt(parent, 299, 199), kWhite);
}

TEST_F(PictureWindowTest, ParentDestructionIsReportedOnce)
{
    Recorder rec;
    auto win = os::x11::CreatePictureWindow(Desc(parent), &rec);
    ASSERT_NE(win, nullptr);
    DestroyParent();
    ASSERT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Destroy) > 0; }));
    EXPECT_FALSE(win->Exists());
    while (os::x11::DispatchPictureEvent()) {
    }
    win.reset();
    EXPECT_EQ(rec.Count(os::EventType::Destroy), 1);
}

TEST_F(PictureWindowTest, DestroyingAWindowWhoseParentVanishedUnseenSurvivesTheXError)
{
    Recorder rec;
    auto win = os::x11::CreatePictureWindow(Desc(parent), &rec);
    ASSERT_NE(win, nullptr);
    DestroyParent();
    win.reset(); // destroys a window the server no longer has: BadWindow
    EXPECT_EQ(rec.Count(os::EventType::Destroy), 1);
    EXPECT_FALSE(os::x11::DispatchPictureEvent());
}

TEST_F(PictureWindowTest, CloseRequestsArriveAsClose)
{
    Recorder rec;
    auto win = os::x11::CreatePictureWindow(Desc(parent), &rec);
    ASSERT_NE(win, nullptr);
    const Window child = static_cast<Window>(reinterpret_cast<uintptr_t>(win->NativeHandle()));

    SendDelete(child);
    EXPECT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Close) == 1; }));

    win->PostClose();
    EXPECT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Close) == 2; }));
    win->SendClose();
    EXPECT_EQ(rec.Count(os::EventType::Close), 3);
    EXPECT_TRUE(win->Exists());
}

TEST_F(PictureWindowTest, ParentsThatNameNoWindowGiveNoWindow)
{
    Recorder rec;
    EXPECT_EQ(os::x11::CreatePictureWindow(Desc(0), &rec), nullptr);
    EXPECT_EQ(os::x11::CreatePictureWindow(Desc(0xffffffffffull), &rec), nullptr);
    const Window gone = parent;
    DestroyParent();
    EXPECT_EQ(os::x11::CreatePictureWindow(Desc(gone), &rec), nullptr);
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(PictureWindowTest, DamagedPictureLeavesTheWindowBlack)
{
    Recorder rec;
    picture.resize(100);
    auto win = os::x11::CreatePictureWindow(Desc(parent), &rec);
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(DispatchUntil([&] { return rec.Count(os::EventType::Paint) > 0; }));
    EXPECT_EQ(PixelAt(parent, 70, 50), 0u);
}

// The preview loop as the shell runs it, over the real picture window.
TEST_F(PictureWindowTest, PreviewLoopEndsWhenTheParentGoesAwayOrTheWindowCloses)
{
    ScriptedOS os;
    os.createHook = [](const os::WindowDesc& d, os::IEventHandler* h) { return os::x11::CreatePictureWindow(d, h); };
    os.dispatchHook = [] {
        return os::x11::DispatchPictureEvent() ? os::DispatchResult::Dispatched : kNothing;
    };
    os.waitHook = [](int ms) { os::x11::WaitPictureInput(ms); };

    for (bool byClose : {false, true}) {
        SCOPED_TRACE(byClose ? "close" : "parent destroyed");
        if (!parent) {
            parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 200, 150, 0, 0, 0);
            XMapWindow(dpy, parent);
            XSync(dpy, False);
        }
        g_Running = 1;
        CSplashWnd splash(os);
        ASSERT_TRUE(splash.Create(parent, picture));
        int rounds = 0;
        while (g_Running && rounds < 1000) {
            if (++rounds == 20) {
                if (byClose)
                    SendDelete(OnlyChildOf(parent));
                else
                    DestroyParent();
            }
            if (os.PeekAndDispatch() == kNothing)
                os.WaitForInput(10);
        }
        EXPECT_EQ(g_Running, 0);
        EXPECT_FALSE(splash.Exists());
        EXPECT_EQ(splash.ClientRect().Width(), byClose ? 200 : 152);
    }
    g_Running = 1;
}

} // namespace
