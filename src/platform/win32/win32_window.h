// The system windows the shell makes on Windows: the saver window in its
// test and full-screen forms, the black cover windows and the picture window
// inside a foreign parent. Their window procedure turns messages into the
// neutral events the shell's rule objects decide on; what it returns to the
// system (0 or the default handling) follows each window's message table.
#pragma once

#include <memory>

#include "platform/os.h"
#include "platform/win32/win32_api.h"

namespace os::win32 {

// Window class names, one per kind of window.
inline constexpr const char* kSaverClass = "Quellwork Window";
inline constexpr const char* kBlackClass = "Quellwork Black Window";
inline constexpr const char* kSplashClass = "Quellwork Splash Window";

// Creates (and shows) the window of `desc`; null when it cannot be made, for
// example a picture window whose parent names no window. A window another
// program owns (WindowKind::Foreign) is not drawn into on Windows.
std::unique_ptr<IWindow> CreateNativeWindow(HINSTANCE instance, const WindowDesc& desc, IEventHandler* handler);

} // namespace os::win32
