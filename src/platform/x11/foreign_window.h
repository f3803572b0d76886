// A window of another program (a screensaver daemon's, the root window) that
// hack mode draws into without creating anything of its own. Its own Xlib
// connection watches it for destruction; X errors on it are trapped, never
// fatal, since the owner may destroy it at any moment.
#pragma once

#include <memory>

#include "platform/os.h"

namespace os::x11 {

// Wraps desc.foreignParent (0: the default screen's root window). Null, with
// the reason on standard error, when no display can be opened or the id
// names no window. NativeHandle() of the result is a registered
// ForeignGLTarget.
std::unique_ptr<IWindow> CreateForeignWindow(const WindowDesc& desc, IEventHandler* handler);

// Delivers one waiting event (Close or Destroy) of a foreign window; false
// when none waits.
bool DispatchForeignEvent();

// Queues a close request to every foreign window.
void PostCloseToForeignWindows();

} // namespace os::x11
