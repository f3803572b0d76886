// Configure mode's settings dialog on Linux: the GTK view of template 102.
#include "app/config_dialog.h"

#include "platform/gtk/settings_view.h"
#include "settings/main_dlg.h"

namespace {
constexpr int kPictureId = 146;
constexpr int kIconId = 128;
} // namespace

int RunConfigDialog(os::IOS& os)
{
    return RunConfigDialogIn(os, [&os](CMainDlg& dlg) {
        return RunSettingsDialog(dlg, os.Resource(os::ResourceType::Bitmap, kPictureId),
                                 os.Resource(os::ResourceType::Icon, kIconId));
    });
}
