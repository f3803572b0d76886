// Display modes and screens on Linux: the lists come from SDL's display
// list; the desktop mode switch goes through XRandR, because SDL changes a
// mode only for one of its own full-screen windows, and the screensaver
// switches the desktop before it creates any window.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/os.h"

namespace os::sdl {

// The modes of the primary display in SDL's order. Depths are bits of
// storage per pixel: X11's 24-bit desktop, stored in 32-bit pixels, reports
// as 32 (the depth the mode list offers), as Windows reports it.
std::vector<DisplayModeInfo> EnumerateDisplayModes();

// Switches the primary output to `width` x `height` until
// RestoreDisplayMode. X11 cannot change the desktop's depth, so `bits` must
// only be one the mode list offers (16 or 32). False when the server has no
// such mode or refuses the change (as Xvfb does for any other size).
bool ChangeDisplayMode(uint32_t width, uint32_t height, uint32_t bits);

// Returns the primary output to the mode it had before the first switch;
// nothing when no switch was made.
void RestoreDisplayMode();

// Every display SDL knows, the primary first. A display whose bounds equal an
// earlier one's is a clone of it and is marked as mirroring.
std::vector<ScreenInfo> EnumerateScreens();

// The bounds of the primary display in SDL's global coordinates.
Rect PrimaryScreenBounds();

} // namespace os::sdl
