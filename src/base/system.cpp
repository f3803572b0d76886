// Storage of the process-wide application pointer and running flag.
#include "base/system.h"

ISystem* g_pSystem = nullptr;
int g_Running = 1;
