// The picture window inside a foreign X11 parent (the desktop's preview
// area). It has its own Xlib connection, so it works beside any toolkit, and
// survives the parent's destruction: X errors on it are trapped, never fatal.
#pragma once

#include <memory>

#include "platform/os.h"

namespace os::x11 {

// Creates a child window covering the whole of `desc.foreignParent`, showing
// `desc.bitmap` (a BMP file) stretched over it; it follows the parent's size. The handler receives Create
// before this returns. Null when the parent names no window or no X display
// can be opened. NativeHandle() of the result is the X window id.
std::unique_ptr<IWindow> CreatePictureWindow(const WindowDesc& desc, IEventHandler* handler);

// Delivers one waiting event (Paint, Close or Destroy) of any picture window
// to its handler; false when none waits.
bool DispatchPictureEvent();

// Queues a close request to every picture window.
void PostCloseToPictures();

// Blocks until a picture window has an event or `ms` milliseconds have
// passed; with no picture window it simply waits `ms`.
void WaitPictureInput(int ms);

} // namespace os::x11
