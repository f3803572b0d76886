// Configure mode's settings dialog on Windows: template 102 from the
// executable's resources, owned by the active window, with the same picture
// window preview mode uses inside frame 1006.
#include "app/config_dialog.h"

#include <windows.h>

#include <cstdint>

#include "app/splash_wnd.h"
#include "platform/win32/settings_view_win32.h"
#include "settings/main_dlg.h"

int RunConfigDialog(os::IOS& os)
{
    return RunConfigDialogIn(os, [&os](CMainDlg& dlg) {
        // Declared first so that it outlives the dialog: its window goes
        // with the dialog, and the object learns of that through its events.
        CSplashWnd picture(os);
        CSettingsViewWin32 view(dlg, [&](HWND frame) {
            picture.Create(reinterpret_cast<uintptr_t>(frame),
                           os.Resource(os::ResourceType::Bitmap, CSplashWnd::kBitmapId));
        });
        return view.RunModal(GetActiveWindow());
    });
}
