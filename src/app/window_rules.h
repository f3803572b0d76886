// The message tables of the saver window and the black cover windows as pure
// rule objects: an event goes in, the actions to take come out. The window
// classes carry the actions out; the tests check every row without a window
// system.
#pragma once

#include "platform/os.h"

enum WindowAction : unsigned {
    kActNone = 0,
    kActPostClose = 1u << 0,    // queue a close request to the window
    kActSendClose = 1u << 1,    // deliver a close request at once
    kActClearRunning = 1u << 2, // running flag = 0
    kActHideCursor = 1u << 3,
    kActShowCursor = 1u << 4,
};

// The saver window, in its test form (ordinary window) or full-screen form.
class SaverWndRules {
public:
    explicit SaverWndRules(bool test) : m_test(test) {}
    unsigned OnEvent(const os::Event& e);
    os::Point Start() const { return m_start; }

private:
    bool m_test;
    os::Point m_start;  // cursor position when the window appeared
};

// A window the program draws into but does not own (hack mode): input
// belongs to whoever owns the window, so only its end or a close request
// (a termination signal) ends the run.
unsigned HackWndRules(const os::Event& e);

// All black cover windows share one rule object and one start position.
class BlackWndRules {
public:
    unsigned OnEvent(const os::Event& e);

private:
    os::Point m_start;
};

// More than 30 pixels from the start position on either axis.
bool MovedBeyondThreshold(os::Point start, os::Point now);
