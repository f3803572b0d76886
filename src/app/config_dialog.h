// Configure mode's settings dialog, run on the process-wide settings record.
#pragma once

#include <functional>

#include "platform/os.h"

class CMainDlg;

// Shows the dialog modally; 1 when it ended with OK (the caller then saves
// the record), 2 when it was cancelled or closed. One definition per
// platform, each a view of the same dialog logic.
int RunConfigDialog(os::IOS& os);

// What every platform's RunConfigDialog shares: the dialog logic on the
// process-wide record, with the display's mode list and the OS's document
// opener for the manual, shown by `view`. A view that returns a negative
// number could not show the dialog; that is raised as an error.
int RunConfigDialogIn(os::IOS& os, const std::function<int(CMainDlg&)>& view);
