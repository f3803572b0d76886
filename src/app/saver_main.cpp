// The shell's services for a real run, shared by the Linux and Windows entries.
#include "app/saver_main.h"

#include "app/config_dialog.h"
#include "app/engine_host.h"
#include "app/saver_app.h"

namespace {

class CSettingsDialog final : public IConfigDialog {
public:
    explicit CSettingsDialog(os::IOS& os) : m_os(os) {}
    int Run() override { return RunConfigDialog(m_os); }

private:
    os::IOS& m_os;
};

} // namespace

int RunSaverProcess(os::IOS& os, const std::vector<std::string>& args)
{
    CEngineHost engine(os.Milliseconds());
    CSoundHost sound;
    CSettingsDialog dialog(os);
    ShellServices services;
    services.dialog = &dialog;
    services.engine = &engine;
    services.sound = &sound;
    // The application object, and with it the Direct3D device and the sound
    // buffers, is gone when this returns.
    CSaverApp app(os, services);
    return app.Run(args);
}
