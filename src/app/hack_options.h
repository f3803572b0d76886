// The command line of hack mode: the options a desktop screensaver daemon
// (and a user trying a hack by hand) passes, read before the run-mode
// letters so that "--version" or "-root" never start a Windows-style mode.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"

struct HackCommand {
    enum class Kind {
        NotHack,   // no hack option: the run-mode letters decide
        Run,       // draw into the target window
        Help,      // print the usage, exit 0
        Version,   // print the version, exit 0
        BadUsage,  // print `error` and the usage to standard error, exit 2
    };
    enum class Target {
        Root,      // the (virtual) root window
        WindowId,  // `window`, from --window-id
        FromEnvironment, // `window`, from XSCREENSAVER_WINDOW
        None,      // nothing names a window
    };
    Kind kind = Kind::NotHack;
    Target target = Target::None;
    uint64_t window = 0;
    std::string error;
    // Settings fields to override for this run only, in command-line order.
    std::vector<std::pair<int32_t Settings::*, int32_t>> overrides;

    void ApplyTo(Settings& settings) const;
};

// True when `argument` is a hack option rather than a run-mode letter: it
// begins with "--", or it is one of the single-dash spellings the daemon's
// hacks have always accepted ("-root", "-window-id").
bool IsHackArgument(const std::string& argument);

// Reads `args` (the arguments after the program name). `environmentWindow`
// is the value of XSCREENSAVER_WINDOW, or null when unset.
HackCommand ParseHackCommandLine(const std::vector<std::string>& args, const char* environmentWindow);

// The text --help prints.
std::string HackUsage(const std::string& program);
