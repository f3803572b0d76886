// Configure mode's settings dialog: the mode list, the dialog logic on the
// settings record, and the toolkit's view of template 102.
#include "app/config_dialog.h"

#include <string>
#include <vector>

#include "app/display.h"
#include "base/error.h"
#include "platform/gtk/settings_view.h"
#include "settings/main_dlg.h"
#include "settings/settings.h"

namespace {
constexpr int kPictureId = 146;
constexpr int kIconId = 128;
} // namespace

int RunConfigDialog(os::IOS& os)
{
    const CDisplay display(os);
    std::vector<DialogMode> modes;
    for (unsigned i = 0; i < display.count(); ++i) {
        const DisplayMode* m = display.item(i);
        modes.push_back({m->width, m->height, m->bits});
    }
    CMainDlg dlg(g_Settings, std::move(modes), [&os](const std::string& path) { os.OpenDocument(path); });
    const int result = RunSettingsDialog(dlg, os.Resource(os::ResourceType::Bitmap, kPictureId),
                                         os.Resource(os::ResourceType::Icon, kIconId));
    if (result < 0)
        RaiseError("Could not create the settings dialog");
    return result;
}
