// Process entry of the screensaver executable.
#include <string>
#include <vector>

#include "app/config_dialog.h"
#include "app/engine_host.h"
#include "app/saver_app.h"
#include "platform/resources.h"
#include "platform/sdl/sdl_os.h"

namespace {

class CSettingsDialog final : public IConfigDialog {
public:
    explicit CSettingsDialog(os::IOS& os) : m_os(os) {}
    int Run() override { return RunConfigDialog(m_os); }

private:
    os::IOS& m_os;
};

} // namespace

int main(int argc, char** argv)
{
    auto os = os::CreateSdlOS(os::EmbeddedResources());
    CEngineHost engine(os->Milliseconds());
    CSoundHost sound;
    CSettingsDialog dialog(*os);
    ShellServices services;
    services.dialog = &dialog;
    services.engine = &engine;
    services.sound = &sound;

    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    int code = 0;
    {
        CSaverApp app(*os, services);
        code = app.Run(args);
    }
    return code;
}
