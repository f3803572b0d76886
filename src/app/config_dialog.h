// Configure mode's settings dialog, run on the process-wide settings record.
#pragma once

#include "platform/os.h"

// Shows the dialog modally; 1 when it ended with OK (the caller then saves
// the record), 2 when it was cancelled or closed.
int RunConfigDialog(os::IOS& os);
