// What both process entries share: the real engine, sound system and
// settings dialog plugged into the shell, and one run of it.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

// Runs the application object on `os` with the command-line arguments after
// the program name; the process's exit code.
int RunSaverProcess(os::IOS& os, const std::vector<std::string>& args);
