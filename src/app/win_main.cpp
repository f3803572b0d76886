// Process entry of the screensaver on Windows.
//
// The desktop starts the program with the run-mode letter and, for preview
// and password change, a window handle as a second argument; the runtime
// splits the command line by its usual rules (quotes group, blanks separate).
#include "platform/win32/win32_api.h"

#include <commctrl.h>
#include <objbase.h>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/saver_main.h"
#include "platform/resources.h"
#include "platform/win32/win32_os.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CoInitialize(nullptr);
    // The settings dialog's trackbars belong to the bar classes.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_COOL_CLASSES;
    InitCommonControlsEx(&controls);

    int code = 0;
    {
        auto os = os::CreateWin32OS(instance, os::EmbeddedResources());
        std::vector<std::string> args;
        for (int i = 1; i < __argc; ++i)
            args.emplace_back(__argv[i]);
        // Everything of the run, the Direct3D device and the sound buffers
        // included, goes before the component library is shut down.
        code = RunSaverProcess(*os, args);
    }
    CoUninitialize();
    return code;
}
