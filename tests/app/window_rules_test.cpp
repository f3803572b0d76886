// Every row of the saver window's and the black windows' tables.
#include <gtest/gtest.h>

#include "app/window_rules.h"

using os::Event;
using os::EventType;

namespace {

Event Ev(EventType t, int key = 0, os::Point p = {})
{
    return {t, key, p};
}

Event Move(int x, int y)
{
    return Ev(EventType::MouseMove, 0, {x, y});
}

TEST(SaverWndFullScreen, CreationHidesTheCursorAndRecordsTheStart)
{
    SaverWndRules r(false);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Create, 0, {100, 200})), kActHideCursor);
    EXPECT_EQ(r.Start(), (os::Point{100, 200}));
}

TEST(SaverWndFullScreen, MouseThresholdIsThirtyPixelsPerAxisFromTheStart)
{
    SaverWndRules r(false);
    r.OnEvent(Ev(EventType::Create, 0, {100, 100}));
    EXPECT_EQ(r.OnEvent(Move(130, 100)), kActNone);
    EXPECT_EQ(r.OnEvent(Move(70, 100)), kActNone);
    EXPECT_EQ(r.OnEvent(Move(130, 130)), kActNone);  // diagonal 30/30 stays
    EXPECT_EQ(r.OnEvent(Move(131, 100)), kActPostClose);
    EXPECT_EQ(r.OnEvent(Move(100, 69)), kActPostClose);

    SaverWndRules drift(false);
    drift.OnEvent(Ev(EventType::Create, 0, {0, 0}));
    EXPECT_EQ(drift.OnEvent(Move(20, 0)), kActNone);
    EXPECT_EQ(drift.OnEvent(Move(35, 0)), kActPostClose);  // 20 then 15 more
}

TEST(SaverWndFullScreen, KeysButtonsDeactivationAndSuspendEndIt)
{
    SaverWndRules r(false);
    r.OnEvent(Ev(EventType::Create));
    EXPECT_EQ(r.OnEvent(Ev(EventType::KeyDown, 'a')), kActPostClose);
    EXPECT_EQ(r.OnEvent(Ev(EventType::ButtonDown, 1)), kActPostClose);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Deactivate)), kActPostClose);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Suspend)), kActPostClose);
}

TEST(SaverWndFullScreen, SystemKeysCloseCommandAndRestartRequestAreSwallowed)
{
    SaverWndRules r(false);
    r.OnEvent(Ev(EventType::Create));
    EXPECT_EQ(r.OnEvent(Ev(EventType::SysKeyDown, 'x')), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::SysCommandClose)), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::SysCommandScreenSave)), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Char, 27)), kActNone);  // the key-down already closed it
}

TEST(SaverWnd, CloseAndDestroyShowTheCursorAndStopTheLoopInBothForms)
{
    for (bool test : {false, true}) {
        SaverWndRules r(test);
        r.OnEvent(Ev(EventType::Create));
        EXPECT_EQ(r.OnEvent(Ev(EventType::Close)), kActShowCursor | kActClearRunning);
        EXPECT_EQ(r.OnEvent(Ev(EventType::Destroy)), kActShowCursor | kActClearRunning);
    }
}

TEST(SaverWndTestForm, OnlyEscapeCloseDeactivationOrSuspendEndIt)
{
    SaverWndRules r(true);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Create, 0, {5, 5})), kActNone);  // cursor stays visible
    EXPECT_EQ(r.OnEvent(Move(500, 500)), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::KeyDown, 'q')), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::ButtonDown, 1)), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Char, 'q')), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Char, 27)), kActSendClose);
    EXPECT_EQ(r.OnEvent(Ev(EventType::SysCommandClose)), kActSendClose);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Deactivate)), kActPostClose);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Suspend)), kActPostClose);
}

TEST(BlackWnd, InputClearsTheRunningFlagDirectly)
{
    BlackWndRules r;
    EXPECT_EQ(r.OnEvent(Ev(EventType::Create, 0, {-1000, 50})), kActHideCursor);
    EXPECT_EQ(r.OnEvent(Move(-970, 80)), kActNone);
    EXPECT_EQ(r.OnEvent(Move(-1031, 50)), kActClearRunning);
    EXPECT_EQ(r.OnEvent(Ev(EventType::KeyDown, 'k')), kActClearRunning);
    EXPECT_EQ(r.OnEvent(Ev(EventType::ButtonDown, 3)), kActClearRunning);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Destroy)), kActShowCursor);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Close)), kActNone);
    EXPECT_EQ(r.OnEvent(Ev(EventType::Deactivate)), kActNone);
}

} // namespace
