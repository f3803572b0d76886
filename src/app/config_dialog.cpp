// Configure mode's settings dialog, the part every platform shares: the mode
// list and the dialog logic on the settings record.
#include "app/config_dialog.h"

#include <string>
#include <vector>

#include "app/display.h"
#include "base/error.h"
#include "settings/main_dlg.h"
#include "settings/settings.h"

int RunConfigDialogIn(os::IOS& os, const std::function<int(CMainDlg&)>& view)
{
    const CDisplay display(os);
    std::vector<DialogMode> modes;
    for (unsigned i = 0; i < display.count(); ++i) {
        const DisplayMode* m = display.item(i);
        modes.push_back({m->width, m->height, m->bits});
    }
    CMainDlg dlg(g_Settings, std::move(modes), [&os](const std::string& path) { os.OpenDocument(path); });
    const int result = view(dlg);
    if (result < 0)
        RaiseError("Could not create the settings dialog");
    return result;
}
