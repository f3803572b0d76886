// Classification of the command line into one of the run modes.
#pragma once

#include <cstdint>

enum class RunMode { Configure, ChangePassword, Preview, Test, Saver, None };

// `argument` is the first argument after the program name, or null when
// there is none. The first of the letters c, a, p, t, s (either case) found
// anywhere in it decides, in that order.
RunMode ParseRunMode(const char* argument);

// A window handle from a second argument: leading blanks skipped, then a
// signed decimal number read up to the first non-digit; "0x" introduces a
// hexadecimal X11 window id. 0 when absent or unreadable.
int64_t ParseWindowHandle(const char* argument);
