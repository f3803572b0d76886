// An OpenGL context on a window of another program, through EGL's X11
// platform. The window's visual is fixed by its owner, so the configuration
// must be one whose native visual is exactly that one.
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d8/gl_context.h"
#include "platform/foreign_target.h"

namespace {

class CForeignContext final : public CGLContext {
public:
    ~CForeignContext() override
    {
        if (m_display == EGL_NO_DISPLAY)
            return;
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (m_surface != EGL_NO_SURFACE)
            eglDestroySurface(m_display, m_surface);
        if (m_context != EGL_NO_CONTEXT)
            eglDestroyContext(m_display, m_context);
    }

    bool Init(const os::ForeignGLTarget& target)
    {
        const char* clientExts = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay && clientExts && std::strstr(clientExts, "EGL_EXT_platform_x11"))
            m_display = getPlatformDisplay(EGL_PLATFORM_X11_EXT, target.xDisplay, nullptr);
        else
            m_display = eglGetDisplay(static_cast<EGLNativeDisplayType>(target.xDisplay));
        EGLint major = 0, minor = 0;
        if (m_display == EGL_NO_DISPLAY || !eglInitialize(m_display, &major, &minor) || !eglBindAPI(EGL_OPENGL_API))
            return Fail(target, "no OpenGL on this display");

        EGLint count = 0;
        eglGetConfigs(m_display, nullptr, 0, &count);
        std::vector<EGLConfig> configs(static_cast<size_t>(count > 0 ? count : 0));
        if (count <= 0 || !eglGetConfigs(m_display, configs.data(), count, &count))
            return Fail(target, "no OpenGL configurations");
        EGLConfig chosen = nullptr;
        for (EGLint i = 0; i < count && !chosen; ++i) {
            EGLint visual = 0, surfaces = 0, apis = 0;
            eglGetConfigAttrib(m_display, configs[i], EGL_NATIVE_VISUAL_ID, &visual);
            eglGetConfigAttrib(m_display, configs[i], EGL_SURFACE_TYPE, &surfaces);
            eglGetConfigAttrib(m_display, configs[i], EGL_RENDERABLE_TYPE, &apis);
            if (static_cast<unsigned long>(visual) == target.xVisualId && (surfaces & EGL_WINDOW_BIT) &&
                (apis & EGL_OPENGL_BIT))
                chosen = configs[i];
        }
        if (!chosen)
            return Fail(target, "its visual offers no OpenGL");

        const EGLint ctxAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
        m_context = eglCreateContext(m_display, chosen, EGL_NO_CONTEXT, ctxAttribs);
        if (m_context == EGL_NO_CONTEXT)
            return Fail(target, "no OpenGL 3.3 core context");
        m_surface = eglCreateWindowSurface(m_display, chosen, static_cast<EGLNativeWindowType>(target.xWindow),
                                           nullptr);
        if (m_surface == EGL_NO_SURFACE)
            return Fail(target, "cannot draw into it (is it gone?)");
        if (!MakeCurrent())
            return Fail(target, "cannot make the context current");
        return true;
    }

    bool MakeCurrent() override { return eglMakeCurrent(m_display, m_surface, m_surface, m_context) == EGL_TRUE; }
    void SwapBuffers() override { eglSwapBuffers(m_display, m_surface); }
    bool EnableVsync() override { return eglSwapInterval(m_display, 1) == EGL_TRUE; }
    bool IsHeadless() const override { return false; }
    // The window's current size: the owner may resize it at any time, and
    // the present stretches the picture over whatever it is now.
    void GetDrawableSize(int& w, int& h) const override
    {
        EGLint ew = 0, eh = 0;
        eglQuerySurface(m_display, m_surface, EGL_WIDTH, &ew);
        eglQuerySurface(m_display, m_surface, EGL_HEIGHT, &eh);
        w = ew;
        h = eh;
    }
    int RefreshRate() const override { return 0; }

private:
    static bool Fail(const os::ForeignGLTarget& target, const char* why)
    {
        std::fprintf(stderr, "Vantor: cannot draw with OpenGL into window 0x%lx: %s\n", target.xWindow, why);
        return false;
    }

    EGLDisplay m_display = EGL_NO_DISPLAY;
    EGLContext m_context = EGL_NO_CONTEXT;
    EGLSurface m_surface = EGL_NO_SURFACE;
};

} // namespace

std::unique_ptr<CGLContext> CGLContext::CreateForForeign(const os::ForeignGLTarget& target)
{
    auto ctx = std::make_unique<CForeignContext>();
    if (!ctx->Init(target))
        return nullptr;
    return ctx;
}
