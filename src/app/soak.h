// Long-run checks of the off-screen renderer: a soak run of the flight, and
// repeated engine start-ups in one process.
#pragma once

// vantor-render --soak MINUTES [--size WxH]
// vantor-render --cycles N [--size WxH]
// True when argv asks for one of them; `status` is then the exit status.
bool RunLongRunCheck(int argc, char** argv, int& status);
