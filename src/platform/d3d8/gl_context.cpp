// EGL and SDL context creation.
#include "platform/d3d8/gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL.h>

#include <cstring>

#include "platform/d3d8/diagnostics.h"

CGLContext::CGLContext()
{
    ++d3d8diag::g_liveContexts;
}

CGLContext::~CGLContext()
{
    --d3d8diag::g_liveContexts;
}

namespace {

class CEGLContext final : public CGLContext {
public:
    ~CEGLContext() override
    {
        if (m_display != EGL_NO_DISPLAY) {
            // Only this context is let go; another one current on the
            // thread belongs to someone else.
            if (m_context != EGL_NO_CONTEXT && eglGetCurrentContext() == m_context)
                eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            if (m_surface != EGL_NO_SURFACE)
                eglDestroySurface(m_display, m_surface);
            if (m_context != EGL_NO_CONTEXT)
                eglDestroyContext(m_display, m_context);
            // The display stays initialised: other devices in this process
            // share it, and terminating it would pull their contexts away.
        }
    }

    bool Init(EGLDisplay display)
    {
        m_display = display;
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor))
            return false;
        if (!eglBindAPI(EGL_OPENGL_API))
            return false;
        const char* exts = eglQueryString(display, EGL_EXTENSIONS);
        const bool surfaceless = exts && std::strstr(exts, "EGL_KHR_surfaceless_context");
        const EGLint cfgAttribs[] = {EGL_SURFACE_TYPE, surfaceless ? 0 : EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        if (!eglChooseConfig(display, cfgAttribs, &config, 1, &count) || count < 1)
            config = nullptr;
        // The debug attribute is named only when asked for: older EGL
        // implementations refuse attributes they do not know.
        EGLint ctxAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                               EGL_NONE, EGL_TRUE, EGL_NONE};
        if (d3d8diag::DebugOutputRequested())
            ctxAttribs[6] = EGL_CONTEXT_OPENGL_DEBUG;
        m_context = eglCreateContext(display, config, EGL_NO_CONTEXT, ctxAttribs);
        if (m_context == EGL_NO_CONTEXT)
            return false;
        if (!surfaceless) {
            if (!config)
                return false;
            const EGLint pb[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
            m_surface = eglCreatePbufferSurface(display, config, pb);
            if (m_surface == EGL_NO_SURFACE)
                return false;
        }
        return MakeCurrent();
    }

    bool MakeCurrent() override { return eglMakeCurrent(m_display, m_surface, m_surface, m_context) == EGL_TRUE; }
    void SwapBuffers() override {}
    bool EnableVsync() override { return false; }
    bool IsHeadless() const override { return true; }
    void GetDrawableSize(int& w, int& h) const override { w = h = 0; }
    int RefreshRate() const override { return 0; }

private:
    EGLDisplay m_display = EGL_NO_DISPLAY;
    EGLContext m_context = EGL_NO_CONTEXT;
    EGLSurface m_surface = EGL_NO_SURFACE;
};

std::unique_ptr<CGLContext> TryDisplay(EGLDisplay display)
{
    if (display == EGL_NO_DISPLAY)
        return nullptr;
    auto ctx = std::make_unique<CEGLContext>();
    if (!ctx->Init(display))
        return nullptr;
    return ctx;
}

class CSDLContext final : public CGLContext {
public:
    explicit CSDLContext(SDL_Window* window) : m_window(window) {}
    ~CSDLContext() override
    {
        if (m_context) {
            SDL_GL_MakeCurrent(m_window, nullptr);
            SDL_GL_DeleteContext(m_context);
        }
    }
    bool Init()
    {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, d3d8diag::DebugOutputRequested() ? SDL_GL_CONTEXT_DEBUG_FLAG : 0);
        m_context = SDL_GL_CreateContext(m_window);
        return m_context && MakeCurrent();
    }
    bool MakeCurrent() override { return SDL_GL_MakeCurrent(m_window, m_context) == 0; }
    void SwapBuffers() override { SDL_GL_SwapWindow(m_window); }
    bool EnableVsync() override { return SDL_GL_SetSwapInterval(1) == 0; }
    bool IsHeadless() const override { return false; }
    void GetDrawableSize(int& w, int& h) const override { SDL_GL_GetDrawableSize(m_window, &w, &h); }
    int RefreshRate() const override
    {
        SDL_DisplayMode mode;
        const int index = SDL_GetWindowDisplayIndex(m_window);
        if (index >= 0 && SDL_GetCurrentDisplayMode(index, &mode) == 0)
            return mode.refresh_rate;
        return 0;
    }

private:
    SDL_Window* m_window;
    SDL_GLContext m_context = nullptr;
};

}  // namespace

std::unique_ptr<CGLContext> CGLContext::CreateHeadless()
{
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    const char* clientExts = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (getPlatformDisplay && clientExts) {
        if (std::strstr(clientExts, "EGL_MESA_platform_surfaceless")) {
            if (auto ctx = TryDisplay(getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)))
                return ctx;
        }
        auto queryDevices =
            reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        if (queryDevices && std::strstr(clientExts, "EGL_EXT_platform_device")) {
            EGLDeviceEXT devices[8];
            EGLint n = 0;
            if (queryDevices(8, devices, &n))
                for (EGLint i = 0; i < n; ++i)
                    if (auto ctx = TryDisplay(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr)))
                        return ctx;
        }
    }
    return TryDisplay(eglGetDisplay(EGL_DEFAULT_DISPLAY));
}

std::unique_ptr<CGLContext> CGLContext::CreateForWindow(SDL_Window* window)
{
    if (!window)
        return nullptr;
    auto ctx = std::make_unique<CSDLContext>(window);
    if (!ctx->Init())
        return nullptr;
    return ctx;
}
