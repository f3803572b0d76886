// A guardian for a temporary display mode: a small child process that puts
// the user's mode back when this process ends without doing so itself, be
// it killed (SIGKILL included), crashed or exited early.
#pragma once

#include <functional>

namespace os::sdl {

// Starts the guardian, which runs `restore` (in its own process, with its
// own X connection) should this process end before StopModeGuard. Nothing
// when one is already running. False when no process could be started.
bool StartModeGuard(const std::function<void()>& restore);

// Tells the guardian that the mode is back and waits for it to end.
void StopModeGuard();

} // namespace os::sdl
