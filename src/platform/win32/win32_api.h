// The Windows headers of the Win32 layer.
//
// <windows.h> itself comes through platform/os.h, which drops the
// CreateWindow and MessageBox macros that would otherwise rename the OS
// interface's operations of those names; the layer calls CreateWindowExA and
// MessageBoxA by their own names.
#pragma once

#include "platform/os.h"

#include <mmsystem.h>
#include <shellapi.h>
