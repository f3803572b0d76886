// The hack-mode command line: what it takes, what it leaves to the run-mode
// letters, and what it refuses.
#include <gtest/gtest.h>

#include "app/hack_options.h"

namespace {

using Kind = HackCommand::Kind;
using Target = HackCommand::Target;

HackCommand Parse(std::vector<std::string> args, const char* env = nullptr)
{
    return ParseHackCommandLine(args, env);
}

TEST(HackOptions, WindowsStyleArgumentsStayWithTheRunModeLetters)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"/s"}, {"-s"}, {"s"}, {"/p", "123"}, {"/c:4711"}, {"/t"}, {"-p", "0x20"}, {"/x"}})
        EXPECT_EQ(Parse(args, "0x42").kind, Kind::NotHack) << (args.empty() ? "" : args[0]);
}

TEST(HackOptions, TargetsFromOptionsAndTheDaemonsVariable)
{
    auto cmd = Parse({"--window-id", "0x1a00003"});
    EXPECT_EQ(cmd.kind, Kind::Run);
    EXPECT_EQ(cmd.target, Target::WindowId);
    EXPECT_EQ(cmd.window, 0x1a00003u);
    EXPECT_EQ(Parse({"-window-id", "4711"}).window, 4711u);
    EXPECT_EQ(Parse({"--window-id=4711"}).window, 4711u);
    // 0 is read; the run itself reports that it names no window.
    EXPECT_EQ(Parse({"--window-id", "0"}).kind, Kind::Run);

    EXPECT_EQ(Parse({"--root"}).target, Target::Root);
    EXPECT_EQ(Parse({"-root"}).target, Target::Root);
    // The daemon passes --root and names its own window in the variable.
    cmd = Parse({"--root"}, "12345");
    EXPECT_EQ(cmd.target, Target::FromEnvironment);
    EXPECT_EQ(cmd.window, 12345u);
    cmd = Parse({"--fps"}, "0x99");
    EXPECT_EQ(cmd.target, Target::FromEnvironment);
    EXPECT_EQ(cmd.window, 0x99u);
    // An explicit id wins over the variable; garbage in it names no window.
    EXPECT_EQ(Parse({"--window-id", "7"}, "0x99").window, 7u);
    EXPECT_EQ(Parse({"--fps"}, "junk").window, 0u);
}

TEST(HackOptions, HelpAndVersionWinOverEverythingValid)
{
    EXPECT_EQ(Parse({"--help"}).kind, Kind::Help);
    EXPECT_EQ(Parse({"--version"}).kind, Kind::Version);
    EXPECT_EQ(Parse({"--fps", "--version"}).kind, Kind::Version);
    EXPECT_NE(HackUsage("vantor").find("--window-id ID"), std::string::npos);
}

TEST(HackOptions, BadUsageNamesTheProblem)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--window-id"}, "needs a window id"},
        {{"--window-id", "abc"}, "not a window id"},
        {{"--window-id", "0x"}, "not a window id"},
        {{"--window-id", "-5"}, "not a window id"},
        {{"--window-id", "4294967296"}, "not a window id"},
        {{"--window-id", "12 "}, "not a window id"},
        {{"--root", "--velocity", "131"}, "from 0 to 130"},
        {{"--root", "--velocity", "-1"}, "from 0 to 130"},
        {{"--root", "--volume"}, "needs a number"},
        {{"--root", "--blur-samples", "0"}, "from 1 to 16"},
        {{"--root", "--velocity", "99999999999999999999999"}, "from 0 to 130"},
        {{"--root", "--bogus"}, "unknown option '--bogus'"},
        {{"--root", "--fps=1"}, "takes no value"},
        {{"--root", "/s"}, "unexpected argument"},
        {{"--fps"}, "no window to draw into"},
    };
    for (const auto& [args, text] : cases) {
        const auto cmd = Parse(args);
        EXPECT_EQ(cmd.kind, Kind::BadUsage) << args.back();
        EXPECT_NE(cmd.error.find(text), std::string::npos) << cmd.error;
        EXPECT_TRUE(cmd.overrides.empty());
    }
}

TEST(HackOptions, OverridesChangeOnlyTheirFieldsInOrder)
{
    Settings s;
    SetDefaultSettings(s);
    const Settings before = s;
    const auto cmd = Parse({"--root", "--no-fog", "--velocity", "80", "--helicopter", "--fps", "--no-fps",
                            "--brightness=95", "--blur-samples", "0x10", "--no-sound", "--volume", "0"});
    ASSERT_EQ(cmd.kind, Kind::Run);
    cmd.ApplyTo(s);
    EXPECT_EQ(s.Fog, 0);
    EXPECT_EQ(s.Velocity, 80);
    EXPECT_EQ(s.ClassicCamera, 1);
    EXPECT_EQ(s.FPS, 0);  // the later one wins
    EXPECT_EQ(s.Gamma, 1);
    EXPECT_EQ(s.Brightness, 100);  // the dialog's snap band
    EXPECT_EQ(s.MotionBlurSamples, 16);
    EXPECT_EQ(s.Sound, 0);
    EXPECT_EQ(s.Volume, 0);
    EXPECT_EQ(s.Width, before.Width);
    EXPECT_EQ(s.Desktop, before.Desktop);
    EXPECT_EQ(s.Flare, before.Flare);
    EXPECT_EQ(s.MotionBlur, before.MotionBlur);
}

} // namespace
