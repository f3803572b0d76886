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

#include "app/config_dialog.h"
#include "app/engine_host.h"
#include "app/saver_app.h"
#include "platform/resources.h"
#include "platform/win32/win32_os.h"

namespace {

class CSettingsDialog final : public IConfigDialog {
public:
    explicit CSettingsDialog(os::IOS& os) : m_os(os) {}
    int Run() override { return RunConfigDialog(m_os); }

private:
    os::IOS& m_os;
};

} // namespace

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
        CEngineHost engine(os->Milliseconds());
        CSoundHost sound;
        CSettingsDialog dialog(*os);
        ShellServices services;
        services.dialog = &dialog;
        services.engine = &engine;
        services.sound = &sound;

        std::vector<std::string> args;
        for (int i = 1; i < __argc; ++i)
            args.emplace_back(__argv[i]);
        // The application object, and with it the Direct3D device and the
        // sound buffers, goes before the component library is shut down.
        CSaverApp app(*os, services);
        code = app.Run(args);
    }
    CoUninitialize();
    return code;
}
