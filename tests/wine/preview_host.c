/* preview_host.exe STOPFILE: stands in for the desktop's preview area.
 * Creates a top-level window whose client area is 152 x 112 pixels (the
 * size of the display settings' preview) painted in a solid colour nothing
 * else on screen uses, and prints "hwnd N" with its handle in decimal and
 * "desktop N" with the desktop window's. While it runs it reports the first
 * child window that appears in it as "child "TITLE" WxH" (client size). Once
 * the file STOPFILE exists it destroys the window, as the desktop does when
 * the preview area goes away, and exits 0. Its output is flushed line by
 * line for the test to read.
 *
 * preview_host.exe --close TITLE: posts WM_CLOSE to the top-level window
 * titled TITLE; exit code 1 when there is none. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

enum { kClientW = 152, kClientH = 112, kTimer = 1 };
static const char *g_stopFile;
static int g_reported;

static LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER: {
        HWND child = GetWindow(wnd, GW_CHILD);
        if (child && !g_reported) {
            char title[128] = "";
            RECT rc;
            GetWindowTextA(child, title, sizeof title);
            GetClientRect(child, &rc);
            printf("child \"%s\" %ldx%ld\n", title, rc.right - rc.left, rc.bottom - rc.top);
            fflush(stdout);
            g_reported = 1;
        }
        if (GetFileAttributesA(g_stopFile) != INVALID_FILE_ATTRIBUTES)
            DestroyWindow(wnd);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--close") == 0) {
        HWND target = FindWindowA(NULL, argv[2]);
        return target && PostMessageA(target, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: preview_host STOPFILE | --close TITLE\n");
        return 2;
    }
    g_stopFile = argv[1];
    HINSTANCE inst = GetModuleHandleA(NULL);
    WNDCLASSA wc = {0};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));
    wc.lpszClassName = "VantorPreviewHost";
    if (!RegisterClassA(&wc))
        return 1;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    RECT r = {0, 0, kClientW, kClientH};
    AdjustWindowRect(&r, style, FALSE);
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "Preview Host", style, 100, 100,
                               r.right - r.left, r.bottom - r.top, NULL, NULL, inst, NULL);
    if (!wnd)
        return 1;
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    UpdateWindow(wnd);
    SetTimer(wnd, kTimer, 50, NULL);
    printf("hwnd %lld\ndesktop %lld\n", (long long)(INT_PTR)wnd, (long long)(INT_PTR)GetDesktopWindow());
    fflush(stdout);
    MSG m;
    while (GetMessageA(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}
