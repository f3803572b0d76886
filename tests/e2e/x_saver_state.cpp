// x-saver-state: prints the X server's own screensaver state ("on", "off",
// "disabled"). A client that suspends the server's screensaver keeps it
// "off" however long the display stays idle, which is what the end-to-end
// test looks for.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdio>

int main()
{
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "x-saver-state: no display\n");
        return 1;
    }
    int event = 0, error = 0;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info || !XScreenSaverQueryExtension(d, &event, &error) ||
        !XScreenSaverQueryInfo(d, DefaultRootWindow(d), info)) {
        std::fprintf(stderr, "x-saver-state: no screensaver extension\n");
        return 1;
    }
    const char* state = info->state == ScreenSaverOn ? "on" : info->state == ScreenSaverOff ? "off" : "disabled";
    std::printf("%s\n", state);
    XFree(info);
    XCloseDisplay(d);
    return 0;
}
