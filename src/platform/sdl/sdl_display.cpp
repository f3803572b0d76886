// Display modes and screens on Linux (SDL2 lists, XRandR switch).
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/mode_guard.h"

#include <SDL.h>

#ifdef VANTOR_HAVE_XRANDR
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#endif

#include <algorithm>
#include <string>

namespace os::sdl {
namespace {

// SDL's video subsystem for the length of one call, unless someone already
// holds it.
class VideoScope {
public:
    VideoScope()
    {
        if (SDL_WasInit(SDL_INIT_VIDEO))
            m_Ok = true;
        else
            m_Ok = m_Owned = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    ~VideoScope()
    {
        if (m_Owned)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    VideoScope(const VideoScope&) = delete;
    VideoScope& operator=(const VideoScope&) = delete;
    bool Ok() const { return m_Ok; }

private:
    bool m_Ok = false;
    bool m_Owned = false;
};

uint32_t StorageBits(uint32_t format)
{
    // XRGB8888 reports 24 significant bits but takes 32 per pixel.
    if (SDL_BYTESPERPIXEL(format) == 4)
        return 32;
    return SDL_BITSPERPIXEL(format);
}

#ifdef VANTOR_HAVE_XRANDR

// The primary output's configuration before our first switch.
struct SavedMode {
    bool valid = false;
    RRCrtc crtc = 0;
    RRMode mode = 0;
    int x = 0;
    int y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
    int screenWidth = 0;
    int screenHeight = 0;
    int screenWidthMM = 0;
    int screenHeightMM = 0;
};

SavedMode g_Saved;

bool g_XError = false;

int NoteXError(Display*, XErrorEvent*)
{
    g_XError = true;
    return 0;
}

// An Xlib connection whose errors are noted instead of ending the process.
class XConnection {
public:
    XConnection() : m_Display(XOpenDisplay(nullptr))
    {
        if (m_Display)
            m_Previous = XSetErrorHandler(NoteXError);
        g_XError = false;
    }
    ~XConnection()
    {
        if (m_Display) {
            XSync(m_Display, False);
            XSetErrorHandler(m_Previous);
            XCloseDisplay(m_Display);
        }
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;
    Display* Get() const { return m_Display; }
    bool Failed()
    {
        XSync(m_Display, False);
        return g_XError;
    }

private:
    Display* m_Display;
    XErrorHandler m_Previous = nullptr;
};

bool HasRandR12(Display* d)
{
    int event = 0, error = 0, major = 0, minor = 0;
    return XRRQueryExtension(d, &event, &error) && XRRQueryVersion(d, &major, &minor) &&
           (major > 1 || (major == 1 && minor >= 2));
}

// The primary output, or the first one driving a CRTC.
RROutput PrimaryOutput(Display* d, Window root, XRRScreenResources* res)
{
    RROutput primary = XRRGetOutputPrimary(d, root);
    if (primary)
        return primary;
    for (int i = 0; i < res->noutput; ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(d, res, res->outputs[i]);
        const bool driven = info && info->crtc;
        if (info)
            XRRFreeOutputInfo(info);
        if (driven)
            return res->outputs[i];
    }
    return 0;
}

bool ApplyCrtc(Display* d, Window root, XRRScreenResources* res, RRCrtc crtc, RRMode mode, int x, int y,
               Rotation rotation, std::vector<RROutput>& outputs, int screenW, int screenH, int screenWMM, int screenHMM)
{
    // The screen must be able to hold the CRTC before it grows.
    const int curW = DisplayWidth(d, DefaultScreen(d));
    const int curH = DisplayHeight(d, DefaultScreen(d));
    if (screenW > curW || screenH > curH)
        XRRSetScreenSize(d, root, std::max(screenW, curW), std::max(screenH, curH), screenWMM, screenHMM);
    const Status st = XRRSetCrtcConfig(d, res, crtc, CurrentTime, x, y, mode, rotation, outputs.data(),
                                       static_cast<int>(outputs.size()));
    if (st != RRSetConfigSuccess)
        return false;
    if (screenW < curW || screenH < curH)
        XRRSetScreenSize(d, root, screenW, screenH, screenWMM, screenHMM);
    return true;
}

// Puts `saved` back on a connection of its own.
void ApplySaved(SavedMode saved)
{
    XConnection conn;
    Display* d = conn.Get();
    if (!d || !HasRandR12(d))
        return;
    const Window root = DefaultRootWindow(d);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
    if (!res)
        return;
    ApplyCrtc(d, root, res, saved.crtc, saved.mode, saved.x, saved.y, saved.rotation, saved.outputs,
              saved.screenWidth, saved.screenHeight, saved.screenWidthMM, saved.screenHeightMM);
    XRRFreeScreenResources(res);
}

#endif // VANTOR_HAVE_XRANDR

} // namespace

std::vector<DisplayModeInfo> EnumerateDisplayModes()
{
    std::vector<DisplayModeInfo> modes;
    VideoScope video;
    if (!video.Ok())
        return modes;
    const int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) != 0)
            break;
        if (m.w <= 0 || m.h <= 0)
            continue;
        modes.push_back({static_cast<uint32_t>(m.w), static_cast<uint32_t>(m.h), StorageBits(m.format),
                         static_cast<uint32_t>(m.refresh_rate > 0 ? m.refresh_rate : 0)});
    }
    return modes;
}

bool ChangeDisplayMode(uint32_t width, uint32_t height, uint32_t bits)
{
    if (bits != 16 && bits != 32)
        return false;
#ifdef VANTOR_HAVE_XRANDR
    XConnection conn;
    Display* d = conn.Get();
    if (!d || !HasRandR12(d))
        return false;
    const Window root = DefaultRootWindow(d);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
    if (!res)
        return false;
    bool ok = false;
    const RROutput output = PrimaryOutput(d, root, res);
    XRROutputInfo* out = output ? XRRGetOutputInfo(d, res, output) : nullptr;
    XRRCrtcInfo* crtc = out && out->crtc ? XRRGetCrtcInfo(d, res, out->crtc) : nullptr;
    if (crtc) {
        // The output's own modes, in its order of preference.
        RRMode wanted = 0;
        for (int i = 0; i < out->nmode && !wanted; ++i)
            for (int j = 0; j < res->nmode; ++j)
                if (res->modes[j].id == out->modes[i] && res->modes[j].width == width &&
                    res->modes[j].height == height) {
                    wanted = res->modes[j].id;
                    break;
                }
        if (crtc->mode && crtc->width == width && crtc->height == height) {
            ok = true; // already there
        } else if (wanted) {
            if (!g_Saved.valid) {
                g_Saved.valid = true;
                g_Saved.crtc = out->crtc;
                g_Saved.mode = crtc->mode;
                g_Saved.x = crtc->x;
                g_Saved.y = crtc->y;
                g_Saved.rotation = crtc->rotation;
                g_Saved.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
                g_Saved.screenWidth = DisplayWidth(d, DefaultScreen(d));
                g_Saved.screenHeight = DisplayHeight(d, DefaultScreen(d));
                g_Saved.screenWidthMM = DisplayWidthMM(d, DefaultScreen(d));
                g_Saved.screenHeightMM = DisplayHeightMM(d, DefaultScreen(d));
                // Should this process be killed before it restores the mode,
                // the guardian does it.
                StartModeGuard([saved = g_Saved] { ApplySaved(saved); });
            }
            std::vector<RROutput> outputs(crtc->outputs, crtc->outputs + crtc->noutput);
            // A single-output desktop shrinks or grows with the mode.
            int screenW = g_Saved.screenWidth, screenH = g_Saved.screenHeight;
            if (res->ncrtc == 1 || (crtc->x == 0 && crtc->y == 0 && static_cast<int>(crtc->width) == screenW &&
                                    static_cast<int>(crtc->height) == screenH)) {
                screenW = static_cast<int>(width);
                screenH = static_cast<int>(height);
            }
            const int mmW = g_Saved.screenWidth ? g_Saved.screenWidthMM * screenW / g_Saved.screenWidth : 0;
            const int mmH = g_Saved.screenHeight ? g_Saved.screenHeightMM * screenH / g_Saved.screenHeight : 0;
            ok = ApplyCrtc(d, root, res, out->crtc, wanted, crtc->x, crtc->y, crtc->rotation, outputs, screenW,
                           screenH, mmW, mmH) &&
                 !conn.Failed();
        }
    }
    if (crtc)
        XRRFreeCrtcInfo(crtc);
    if (out)
        XRRFreeOutputInfo(out);
    XRRFreeScreenResources(res);
    return ok && !conn.Failed();
#else
    (void)width;
    (void)height;
    return false;
#endif
}

void RestoreDisplayMode()
{
#ifdef VANTOR_HAVE_XRANDR
    if (!g_Saved.valid)
        return;
    SavedMode saved = g_Saved;
    g_Saved = SavedMode{};
    ApplySaved(saved);
    StopModeGuard();
#endif
}

std::vector<ScreenInfo> EnumerateScreens()
{
    std::vector<ScreenInfo> screens;
    VideoScope video;
    if (!video.Ok())
        return screens;
    const char* driver = SDL_GetCurrentVideoDriver();
    const int n = SDL_GetNumVideoDisplays();
    for (int i = 0; i < n; ++i) {
        SDL_Rect r{};
        ScreenInfo s;
        s.adapter = std::string(driver ? driver : "video") + " display " + std::to_string(i);
        const char* name = SDL_GetDisplayName(i);
        s.monitor = name ? name : "";
        // SDL lists the primary display first.
        s.primary = i == 0;
        if (SDL_GetDisplayBounds(i, &r) == 0 && r.w > 0 && r.h > 0) {
            s.bounds = Rect{r.x, r.y, r.x + r.w, r.y + r.h};
        } else {
            s.attached = false;
        }
        for (const ScreenInfo& earlier : screens)
            if (s.attached && earlier.attached && earlier.bounds == s.bounds)
                s.mirroring = true;
        screens.push_back(std::move(s));
    }
    return screens;
}

Rect PrimaryScreenBounds()
{
    VideoScope video;
    SDL_Rect r{};
    if (!video.Ok() || SDL_GetDisplayBounds(0, &r) != 0)
        return Rect{};
    return Rect{r.x, r.y, r.x + r.w, r.y + r.h};
}

} // namespace os::sdl
