// The picture window's rules, on a scripted window.
#include <gtest/gtest.h>

#include "app/splash_wnd.h"
#include "base/system.h"
#include "test_support.h"

namespace {

using testsupport::ScriptedOS;
using testsupport::ScriptedWindow;

TEST(SplashRule, Table)
{
    EXPECT_EQ(SplashRule(os::EventType::Create), SplashAction::StoreRect);
    EXPECT_EQ(SplashRule(os::EventType::Paint), SplashAction::Paint);
    EXPECT_EQ(SplashRule(os::EventType::Destroy), SplashAction::Stop);
    EXPECT_EQ(SplashRule(os::EventType::Close), SplashAction::Destroy);
    for (os::EventType t : {os::EventType::KeyDown, os::EventType::SysKeyDown, os::EventType::Char,
                            os::EventType::ButtonDown, os::EventType::MouseMove, os::EventType::Deactivate,
                            os::EventType::SysCommandClose, os::EventType::SysCommandScreenSave,
                            os::EventType::Suspend})
        EXPECT_EQ(SplashRule(t), SplashAction::None) << static_cast<int>(t);
}

class SplashWndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_Running = 1;
        os.createHook = [this](const os::WindowDesc&, os::IEventHandler* handler) {
            auto w = std::make_unique<ScriptedWindow>(handler, os::Rect{0, 0, 152, 112}, &destroyed);
            window = w.get();
            handler->OnEvent(*w, os::Event{os::EventType::Create});
            return w;
        };
    }
    void TearDown() override { g_Running = 1; }

    ScriptedOS os;
    ScriptedWindow* window = nullptr;
    int destroyed = 0;
    const std::vector<uint8_t> picture = testsupport::QuadrantPicture();
};

TEST_F(SplashWndTest, CreatesAPictureChildOfTheParent)
{
    CSplashWnd splash(os);
    ASSERT_TRUE(splash.Create(0x2a00007, picture));
    ASSERT_EQ(os.created.size(), 1u);
    const os::WindowDesc& d = os.created[0];
    EXPECT_EQ(d.kind, os::WindowKind::Picture);
    EXPECT_EQ(d.title, "Splash Window");
    EXPECT_EQ(d.foreignParent, 0x2a00007u);
    EXPECT_EQ(d.bitmap.data(), picture.data());
    EXPECT_EQ(d.bitmap.size(), picture.size());
    EXPECT_EQ(splash.ClientRect(), (os::Rect{0, 0, 152, 112}));
    EXPECT_TRUE(splash.Exists());
    window->Deliver(os::EventType::Paint);
    window->Deliver(os::EventType::KeyDown);
    EXPECT_EQ(g_Running, 1);
}

TEST_F(SplashWndTest, ParentGoingAwayEndsThePreview)
{
    CSplashWnd splash(os);
    ASSERT_TRUE(splash.Create(7, picture));
    window->Vanish();
    EXPECT_EQ(g_Running, 0);
    EXPECT_FALSE(splash.Exists());
}

TEST_F(SplashWndTest, CloseDestroysTheWindowAndEndsThePreview)
{
    CSplashWnd splash(os);
    ASSERT_TRUE(splash.Create(7, picture));
    window->SendClose();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(g_Running, 0);
    EXPECT_FALSE(splash.Exists());
}

TEST_F(SplashWndTest, DestructionDestroysTheWindow)
{
    {
        CSplashWnd splash(os);
        ASSERT_TRUE(splash.Create(7, picture));
    }
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(g_Running, 0);
}

TEST_F(SplashWndTest, NoWindowWhenTheParentNamesNone)
{
    os.createHook = nullptr;
    os.refuseWindows = true;
    CSplashWnd splash(os);
    EXPECT_FALSE(splash.Create(0, picture));
    EXPECT_FALSE(splash.Exists());
    EXPECT_EQ(g_Running, 1);
}

} // namespace
