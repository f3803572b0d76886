// A window that belongs to another program and is drawn into with OpenGL
// (hack mode). The window layer makes one, the graphics runtime finds it by
// the window's NativeHandle() and makes its context on it.
#pragma once

#include <set>

namespace os {

struct ForeignGLTarget {
    void* xDisplay = nullptr;     // the Xlib connection (Display*) to use
    unsigned long xWindow = 0;    // the window
    unsigned long xVisualId = 0;  // its visual: the GL configuration must match it
};

// NativeHandle() values that point at a ForeignGLTarget rather than at an
// SDL window. Only the program's one thread touches it.
inline std::set<const void*>& ForeignGLTargets()
{
    static std::set<const void*> targets;
    return targets;
}

} // namespace os
