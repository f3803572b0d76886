// An OpenGL 3.3 core context: on an SDL window, on a foreign X11 window
// through EGL, or headless through EGL
// (Mesa surfaceless, device or default platform) for tests and off-screen
// rendering.
#pragma once

#include <memory>

struct SDL_Window;
namespace os {
struct ForeignGLTarget;
}

class CGLContext {
public:
    CGLContext();
    virtual ~CGLContext();
    CGLContext(const CGLContext&) = delete;
    CGLContext& operator=(const CGLContext&) = delete;
    // Null when no 3.3 core context can be made.
    static std::unique_ptr<CGLContext> CreateHeadless();
    static std::unique_ptr<CGLContext> CreateForWindow(SDL_Window* window);
    // On a window of another program; null, with the reason on standard
    // error, when its visual offers no OpenGL or the window is gone.
    static std::unique_ptr<CGLContext> CreateForForeign(const os::ForeignGLTarget& target);

    virtual bool MakeCurrent() = 0;
    virtual void SwapBuffers() = 0;
    // True when the driver accepted vsync.
    virtual bool EnableVsync() = 0;
    virtual bool IsHeadless() const = 0;
    // Drawable size in pixels (0 x 0 when headless).
    virtual void GetDrawableSize(int& w, int& h) const = 0;
    // Display refresh rate in Hz, 0 when unknown.
    virtual int RefreshRate() const = 0;
};
