// Hack-mode options: names follow the daemon's other hacks (--fps,
// --velocity N, --no-fog ...); each overrides one setting for one run.
#include "app/hack_options.h"

#include <algorithm>
#include <string_view>

namespace {

struct Switch {
    const char* on;   // e.g. "fog"
    int32_t Settings::*field;
};
const Switch kSwitches[] = {
    {"fps", &Settings::FPS},
    {"fog", &Settings::Fog},
    {"sound", &Settings::Sound},
    {"flares", &Settings::Flare},
    {"helicopter", &Settings::ClassicCamera},
    {"motion-blur", &Settings::MotionBlur},
    {"advanced-rendering", &Settings::AdvancedRendering},
    {"gamma", &Settings::Gamma},
};

struct Number {
    const char* name;
    int32_t Settings::*field;
    int32_t min;
    int32_t max;
    const char* what;
};
// The ranges are those the settings dialog can produce.
const Number kNumbers[] = {
    {"velocity", &Settings::Velocity, 0, 130, "flight speed"},
    {"volume", &Settings::Volume, 0, 100, "sound volume in percent"},
    {"brightness", &Settings::Brightness, 10, 200, "brightness in percent (turns gamma on)"},
    {"blur-quality", &Settings::MotionBlurQuality, 0, 2, "motion blur quality"},
    {"blur-samples", &Settings::MotionBlurSamples, 1, 16, "motion blur samples"},
};

// A whole argument as a decimal or 0x-hexadecimal number no larger than
// `max`; false for anything else (signs, blanks, trailing text, overflow).
bool ReadNumber(std::string_view text, uint64_t max, uint64_t& value)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    value = 0;
    for (const char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > max)
            return false;
    }
    return true;
}

// X resource ids are 29-bit; anything wider cannot name a window.
constexpr uint64_t kMaxWindowId = 0x1fffffff;

} // namespace

void HackCommand::ApplyTo(Settings& settings) const
{
    for (const auto& [field, value] : overrides)
        settings.*field = value;
}

bool IsHackArgument(const std::string& argument)
{
    return argument.starts_with("--") || argument == "-root" || argument == "-window-id" ||
           argument.starts_with("-window-id=");
}

HackCommand ParseHackCommandLine(const std::vector<std::string>& args, const char* environmentWindow)
{
    HackCommand cmd;
    if (args.empty() || !IsHackArgument(args[0]))
        return cmd;
    cmd.kind = HackCommand::Kind::Run;
    auto bad = [&cmd](std::string message) {
        cmd.kind = HackCommand::Kind::BadUsage;
        cmd.error = std::move(message);
        cmd.overrides.clear();
        return cmd;
    };
    auto fromEnvironment = [&cmd, environmentWindow] {
        uint64_t id = 0;
        // A value we cannot read names no window; the run reports it.
        cmd.window = ReadNumber(environmentWindow, kMaxWindowId, id) ? id : 0;
        cmd.target = HackCommand::Target::FromEnvironment;
    };
    bool help = false, version = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!IsHackArgument(arg))
            return bad("unexpected argument '" + arg + "'");
        // "-window-id" and "-root" are the single-dash spellings.
        std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };

        if (name == "help" || name == "version") {
            if (hasValue)
                return bad("option '--" + name + "' takes no value");
            (name == "help" ? help : version) = true;
            continue;
        }
        if (name == "root") {
            if (hasValue)
                return bad("option '--root' takes no value");
            // The daemon starts its hacks with --root and names the window it
            // made for them in XSCREENSAVER_WINDOW: that window is the
            // "virtual root" a hack draws into.
            if (environmentWindow && *environmentWindow)
                fromEnvironment();
            else
                cmd.target = HackCommand::Target::Root;
            continue;
        }
        if (name == "window-id") {
            if (!takeValue())
                return bad("option '--window-id' needs a window id");
            uint64_t id = 0;
            if (!ReadNumber(value, kMaxWindowId, id))
                return bad("'" + value + "' is not a window id (decimal or 0x hexadecimal)");
            cmd.target = HackCommand::Target::WindowId;
            cmd.window = id;
            continue;
        }
        bool known = false;
        for (const Switch& s : kSwitches) {
            const bool off = name == std::string("no-") + s.on;
            if (name == s.on || off) {
                if (hasValue)
                    return bad("option '--" + name + "' takes no value");
                cmd.overrides.emplace_back(s.field, off ? 0 : 1);
                known = true;
                break;
            }
        }
        if (known)
            continue;
        for (const Number& n : kNumbers) {
            if (name != n.name)
                continue;
            if (!takeValue())
                return bad("option '--" + name + "' needs a number");
            uint64_t v = 0;
            if (!ReadNumber(value, static_cast<uint64_t>(n.max), v) || v < static_cast<uint64_t>(n.min))
                return bad("option '--" + name + "' takes a number from " + std::to_string(n.min) + " to " +
                           std::to_string(n.max) + ", not '" + value + "'");
            int32_t number = static_cast<int32_t>(v);
            if (n.field == &Settings::Brightness) {
                // The same band the dialog's slider snaps to 100.
                if (number >= 91 && number <= 109)
                    number = 100;
                cmd.overrides.emplace_back(&Settings::Gamma, 1);
            }
            cmd.overrides.emplace_back(n.field, number);
            known = true;
            break;
        }
        if (!known)
            return bad("unknown option '" + arg + "'");
    }
    if (help || version) {
        cmd.kind = help ? HackCommand::Kind::Help : HackCommand::Kind::Version;
        cmd.overrides.clear();
        return cmd;
    }
    if (cmd.target == HackCommand::Target::None && environmentWindow && *environmentWindow)
        fromEnvironment();
    if (cmd.target == HackCommand::Target::None)
        return bad("no window to draw into: give --root or --window-id ID, or set XSCREENSAVER_WINDOW");
    return cmd;
}

std::string HackUsage(const std::string& program)
{
    std::string u = "Usage: " + program + " [/c | /t | /s | /p ID | /a ID]\n"
                    "       " + program + " [--root | --window-id ID] [OPTION]...\n"
                    "\n"
                    "The first form picks a run mode by letter: c settings dialog, t test window,\n"
                    "s full-screen screensaver, p preview in window ID, a change password.\n"
                    "The second form draws the flight into a window it is given, as a screensaver\n"
                    "daemon's hack; it ends on SIGTERM or SIGINT, or when the window goes away.\n"
                    "\n"
                    "  --root                      the root window (or the one XSCREENSAVER_WINDOW names)\n"
                    "  --window-id ID              window ID (decimal or 0x hexadecimal); without\n"
                    "                              either option, XSCREENSAVER_WINDOW names the window\n";
    for (const Switch& s : kSwitches) {
        std::string line = std::string("  --[no-]") + s.on;
        line.resize(std::max<size_t>(line.size() + 1, 30), ' ');
        u += line + "turn " + s.on + " on or off\n";
    }
    for (const Number& n : kNumbers) {
        std::string line = std::string("  --") + n.name + " N";
        line.resize(std::max<size_t>(line.size() + 1, 30), ' ');
        u += line + n.what + ", " + std::to_string(n.min) + " to " + std::to_string(n.max) + "\n";
    }
    u += "  --help                      print this text and exit\n"
         "  --version                   print the version and exit\n"
         "\n"
         "The options override the saved settings for one run and are never saved.\n";
    return u;
}
