// The Windows headers as the Win32 layer includes them.
//
// <windows.h> turns CreateWindow and MessageBox into macros, which would
// rename the operations of the neutral OS interface of the same names in
// every file that sees both; the layer calls the explicit A functions.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#undef CreateWindow
#undef MessageBox
