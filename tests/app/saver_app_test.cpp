// The run modes end to end over the fake OS: set-up and teardown order, the
// failure paths and what the error box says.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>

#include <zip.h>

#include "app/saver_app.h"
#include "archive/archive.h"
#include "base/error.h"
#include "platform/fake/fake_os.h"
#include "settings/settings.h"

namespace {

// A one-member archive, as the embedded resource would hold.
std::vector<uint8_t> SmallArchive()
{
    const std::string path = "/tmp/vantor-app-test-" + std::to_string(getpid()) + ".zip";
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    zip_fileinfo info{};
    zipOpenNewFileInZip(zip, "ABOUT.txt", &info, nullptr, 0, nullptr, 0, nullptr, 0, 0);
    zipWriteInFileInZip(zip, "hi", 2);
    zipCloseFileInZip(zip);
    zipClose(zip, nullptr);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return bytes;
}

class RecordingEngine final : public IEngineHost {
public:
    explicit RecordingEngine(os::FakeOS& os) : m_os(os) {}
    bool Init(os::IWindow&, bool second) override
    {
        m_os.Log(std::string("Engine Init ") + (second ? "1" : "0"));
        if (raiseOnInit)
            RaiseError("Your device does not support vertex shaders");
        return initResult;
    }
    void RenderFrame() override
    {
        ++frames;
        if (frames == 1)
            m_os.Log("Engine Frame");
        if (onFrame)
            onFrame(frames);
    }
    void Shutdown() override { m_os.Log("Engine Shutdown"); }
    IRender* GetRender() override { return nullptr; }

    bool initResult = true;
    bool raiseOnInit = false;
    int frames = 0;
    std::function<void(int)> onFrame;

private:
    os::FakeOS& m_os;
};

class RecordingSound final : public ISoundHost {
public:
    explicit RecordingSound(os::FakeOS& os) : m_os(os) {}
    void Start(os::IWindow&) override { m_os.Log("Sound Start"); }
    void SetVolume(float v) override { m_os.Log("Sound Volume " + std::to_string(v).substr(0, 4)); }
    void Update() override { ++updates; }
    void Shutdown() override { m_os.Log("Sound Shutdown"); }
    int updates = 0;

private:
    os::FakeOS& m_os;
};

class SaverAppTest : public ::testing::Test {
protected:
    SaverAppTest() : engine(os), sound(os)
    {
        g_Running = 1;
        ResetError();
        os.resources[{os::ResourceType::RCData, 144}] = SmallArchive();
        services.engine = &engine;
        services.sound = &sound;
        // By default the third frame ends the run with a key on the saver window.
        engine.onFrame = [this](int frame) {
            if (frame == 3) {
                os::IWindow* w = os.Find(os::WindowKind::SaverFull);
                if (!w)
                    w = os.Find(os::WindowKind::SaverTest);
                os.Queue(w, {os::EventType::Char, 27, {}});
                os.Queue(w, {os::EventType::KeyDown, 27, {}});
            }
        };
    }
    ~SaverAppTest() override
    {
        g_Running = 1;
        ResetError();
        CloseResourceArchive();
    }

    int Run(std::vector<std::string> args)
    {
        CSaverApp app(os, services);
        return app.Run(args);
    }

    // The log without cursor and idle noise, from the first entry matching
    // `from` on.
    std::vector<std::string> Steps()
    {
        std::vector<std::string> out;
        for (const std::string& line : os.log) {
            if (line.starts_with("ShowCursor") || line.starts_with("AcquireNamedLock"))
                continue;
            out.push_back(line);
        }
        return out;
    }

    void SetStored(const char* name, int value) { os.store.keys[kSettingsKey][name] = std::to_string(value); }
    std::string Message() { return os.messageBoxes.empty() ? "" : os.messageBoxes.back(); }

    os::FakeOS os;
    RecordingEngine engine;
    RecordingSound sound;
    ShellServices services;
};

TEST_F(SaverAppTest, TestModeRunsSetUpLoopAndTeardownInOrderAndSavesEverything)
{
    SetStored("Volume", 50);
    EXPECT_EQ(Run({"/t"}), 0);
    const std::vector<std::string> expected = {
        "CreateWindow SaverTest \"Debug Window\" 0,0,640,480",
        "Sound Start",
        "Engine Init 0",
        "Sound Volume 0.50",
        "Engine Frame",
        "Engine Shutdown",
        "Sound Shutdown",
        "DestroyWindow SaverTest Debug Window",
        "Engine Shutdown",  // the application object's destructor; harmless twice
    };
    EXPECT_EQ(Steps(), expected);
    EXPECT_EQ(engine.frames, 3);
    EXPECT_EQ(sound.updates, 3);
    EXPECT_EQ(os.store.keys[kSettingsKey].size(), 17u);
    EXPECT_EQ(os.store.commits, 1);
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(SaverAppTest, SoundOffMeansNoStartButVolumeIsStillSet)
{
    SetStored("Sound", 0);
    EXPECT_EQ(Run({"t"}), 0);
    EXPECT_TRUE(os.LogStartingWith("Sound Start").empty());
    EXPECT_EQ(os.LogStartingWith("Sound Volume").size(), 1u);
}

TEST_F(SaverAppTest, SaverModeWithModeSwitchFollowsTheFullOrder)
{
    SetStored("Desktop", 0);
    SetStored("Width", 800);
    SetStored("Height", 600);
    SetStored("Depth", 32);
    os.screens = {{"a", "m", {0, 0, 1280, 1024}, true, true, false},
                  {"b", "m2", {-1024, 0, 0, 768}, false, true, false},
                  {"c", "mirror", {0, 0, 1280, 1024}, false, true, true}};
    EXPECT_EQ(Run({"/s"}), 0);
    const std::vector<std::string> expected = {
        "SetDisplayMode 800x600x32",
        "YieldSlice",
        "CreateWindow Black \"Black Window\" 0,0,1280,1024",
        "CreateWindow Black \"Black Window\" -1024,0,0,768",
        "CreateWindow SaverFull \"Window\" 0,0,1280,1024",
        "Sound Start",
        "Engine Init 0",
        "Sound Volume 1.00",
        "SetSaverRunning 1",
        "Engine Frame",
        "Engine Shutdown",
        "Sound Shutdown",
        "DestroyWindow SaverFull Window",
        "EnableWindow Black 0",
        "VerifyPassword Black",
        "DestroyWindow Black Black Window",
        "DestroyWindow Black Black Window",
        "SetSaverRunning 0",
        "RestoreDisplayMode",
        "Engine Shutdown",
    };
    EXPECT_EQ(Steps(), expected);
    EXPECT_EQ(os.store.commits, 1);
}

TEST_F(SaverAppTest, CursorIsHiddenPerFullScreenWindowAndShownAgainOnEveryCloseAndDestroy)
{
    EXPECT_EQ(Run({"/s"}), 0);
    // Two hides (black, saver); shows: saver close, saver destroy, black destroy.
    EXPECT_EQ(os.LogStartingWith("ShowCursor 0").size(), 2u);
    EXPECT_EQ(os.LogStartingWith("ShowCursor 1").size(), 3u);
    EXPECT_GE(os.cursorCount, 0);
}

TEST_F(SaverAppTest, FailedSaverWindowStillEndsTheAnnouncementAndRestoresTheModeBeforeTheBox)
{
    SetStored("Desktop", 0);
    os.failCreate[os::WindowKind::SaverFull] = true;
    EXPECT_EQ(Run({"/s"}), 1);
    EXPECT_EQ(Message(), "Vantor:|CSaverApp::Run() -> CSaverApp::DoSaver()\n\n\"Could not create main window\"");
    const auto steps = Steps();
    const auto at = [&](const std::string& s) { return std::find(steps.begin(), steps.end(), s) - steps.begin(); };
    EXPECT_LT(at("SetSaverRunning 0"), at("MessageBox Vantor:"));
    EXPECT_LT(at("Sound Shutdown"), at("MessageBox Vantor:"));
    EXPECT_LT(at("RestoreDisplayMode"), at("MessageBox Vantor:"));
    EXPECT_TRUE(os.LogStartingWith("Engine Init").empty());
    EXPECT_EQ(os.store.commits, 0);
}

TEST_F(SaverAppTest, KeepingTheDesktopModeNeverSwitchesOrRestoresEvenOnFailure)
{
    engine.initResult = false;
    EXPECT_EQ(Run({"/s"}), 1);
    EXPECT_EQ(Message(), "Vantor:|CSaverApp::Run() -> CSaverApp::DoSaver()\n\n\"Could not init Rendering Engine\"");
    EXPECT_TRUE(os.LogStartingWith("SetDisplayMode").empty());
    EXPECT_TRUE(os.LogStartingWith("RestoreDisplayMode").empty());
    EXPECT_EQ(os.LogStartingWith("SetSaverRunning 0").size(), 1u);
}

TEST_F(SaverAppTest, EngineFailureInSaverModeTakesEveryWindowDownBeforeTheBox)
{
    engine.initResult = false;
    EXPECT_EQ(Run({"/s"}), 1);
    const auto& steps = os.log;
    const auto box = std::find(steps.begin(), steps.end(), "MessageBox Vantor:");
    ASSERT_NE(box, steps.end());
    const auto before = [&](const std::string& s) { return std::find(steps.begin(), box, s) != box; };
    EXPECT_TRUE(before("DestroyWindow SaverFull Window"));
    EXPECT_TRUE(before("DestroyWindow Black Black Window"));
    EXPECT_TRUE(before("Engine Shutdown"));
    // Every hide of the cursor is undone before the box appears.
    const auto count = [&](const std::string& s) { return std::count(steps.begin(), box, s); };
    EXPECT_EQ(count("ShowCursor 0"), 2);
    EXPECT_GE(count("ShowCursor 1"), 2);
}

TEST_F(SaverAppTest, RefusedModeSwitchIsReported)
{
    SetStored("Desktop", 0);
    os.setModeResult = false;
    EXPECT_EQ(Run({"/s"}), 1);
    EXPECT_EQ(Message(), "Vantor:|CSaverApp::Run() -> CSaverApp::DoSaver()\n\n\"Could not set specified video mode\"");
    EXPECT_TRUE(os.LogStartingWith("CreateWindow").empty());
    EXPECT_EQ(os.LogStartingWith("RestoreDisplayMode").size(), 1u);
}

TEST_F(SaverAppTest, EngineErrorTextStandsInTestMode)
{
    engine.raiseOnInit = true;
    EXPECT_EQ(Run({"/t"}), 1);
    EXPECT_EQ(Message(),
              "Vantor:|CSaverApp::Run() -> CSaverApp::DoTest()\n\n\"Your device does not support vertex shaders\"");
}

TEST_F(SaverAppTest, TestWindowFailureIsReported)
{
    os.failCreate[os::WindowKind::SaverTest] = true;
    EXPECT_EQ(Run({"/t"}), 1);
    EXPECT_EQ(Message(), "Vantor:|CSaverApp::Run() -> CSaverApp::DoTest()\n\n\"Could not create main window\"");
}

TEST_F(SaverAppTest, SecondSaverOrPreviewInstanceLeavesQuietly)
{
    os.heldLocks["VantorMutex"] = true;
    EXPECT_EQ(Run({"/s"}), 0);
    EXPECT_EQ(Run({"/p", "4711"}), 0);
    EXPECT_TRUE(os.LogStartingWith("CreateWindow").empty());
    EXPECT_TRUE(os.messageBoxes.empty());
    // Test mode is not under the rule.
    EXPECT_EQ(Run({"/t"}), 0);
    EXPECT_EQ(os.LogStartingWith("CreateWindow SaverTest").size(), 1u);
}

TEST_F(SaverAppTest, MissingArchiveEndsBeforeAnyMode)
{
    os.resources.clear();
    EXPECT_EQ(Run({"/t"}), 1);
    EXPECT_EQ(Message(), "Vantor:|CSaverApp::Run()\n\n\"Could not open the resource archive\"");
    EXPECT_TRUE(os.LogStartingWith("CreateWindow").empty());
}

TEST_F(SaverAppTest, FailureWhileLoadingSettingsIsReportedWithItsChain)
{
    os.store.throwOnOpen = true;
    EXPECT_EQ(Run({"/t"}), 1);
    EXPECT_EQ(Message(), "Vantor:|CSaverApp::Run() -> CSaverApp::LoadSettings()\n\n\"Unknown Error\"");
}

TEST_F(SaverAppTest, ConfigureModeSavesOnlyOnOk)
{
    struct Dialog final : IConfigDialog {
        int result = 2;
        int Run() override { return result; }
    } dialog;
    services.dialog = &dialog;
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(Run({"/c:4711"}), 0);
    EXPECT_EQ(os.store.commits, 0);
    dialog.result = 1;
    EXPECT_EQ(Run({"/x"}), 0);
    EXPECT_EQ(os.store.commits, 1);
}

TEST_F(SaverAppTest, ChangePasswordModeHandsTheWindowToThePasswordServiceAndShowsNothing)
{
    EXPECT_EQ(Run({"/a", "4711"}), 0);
    EXPECT_EQ(os.LogStartingWith("ChangePassword"), std::vector<std::string>{"ChangePassword 4711"});
    EXPECT_TRUE(os.LogStartingWith("CreateWindow").empty());
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(os.store.commits, 0);
}

TEST_F(SaverAppTest, MouseOverABlackWindowEndsTheRun)
{
    os.screens = {{"a", "m", {0, 0, 1280, 1024}, true, true, false},
                  {"b", "m2", {1280, 0, 2560, 1024}, false, true, false}};
    engine.onFrame = [this](int frame) {
        if (frame == 2) {
            os::IWindow* second = os.windows.at(1);  // the second monitor's cover
            os.Queue(second, {os::EventType::MouseMove, 0, {31, 0}});
        }
        if (frame > 50)
            g_Running = 0;  // safety net
    };
    EXPECT_EQ(Run({"/s"}), 0);
    EXPECT_EQ(engine.frames, 2);
}

TEST_F(SaverAppTest, ThirtyPixelsKeepTheSaverAndThirtyOneEndIt)
{
    engine.onFrame = [this](int frame) {
        os::IWindow* w = os.Find(os::WindowKind::SaverFull);
        if (frame == 2)
            os.Queue(w, {os::EventType::MouseMove, 0, {30, 30}});
        if (frame == 4)
            os.Queue(w, {os::EventType::MouseMove, 0, {0, 31}});
        if (frame > 50)
            g_Running = 0;
    };
    EXPECT_EQ(Run({"/s"}), 0);
    EXPECT_EQ(engine.frames, 4);
}

TEST_F(SaverAppTest, HackModeDrawsIntoTheGivenWindowOnlyAndSavesWithoutItsOverrides)
{
    SetStored("Velocity", 30);
    SetStored("Desktop", 0);  // a stored mode switch is never carried out here
    int velocityDuringRun = -1;
    engine.onFrame = [&](int frame) {
        velocityDuringRun = g_Settings.Velocity;
        if (frame == 3)
            os.Queue(os.Find(os::WindowKind::Foreign), {os::EventType::Destroy, 0, {}});
        // Input belongs to the daemon: none of it ends the run.
        if (frame == 2)
            for (auto type : {os::EventType::KeyDown, os::EventType::ButtonDown, os::EventType::Deactivate,
                              os::EventType::Char, os::EventType::SysCommandClose})
                os.Queue(os.Find(os::WindowKind::Foreign), {type, 27, {500, 500}});
        if (frame > 50)
            g_Running = 0;
    };
    EXPECT_EQ(Run({"--window-id", "0x2a", "--velocity", "80", "--no-sound"}), 0);
    const std::vector<std::string> expected = {
        "CreateWindow Foreign \"Window\" 0,0,0,0 target 42",
        "Engine Init 0",
        "Sound Volume 1.00",
        "Engine Frame",
        "Engine Shutdown",
        "Sound Shutdown",
        "DestroyWindow Foreign Window",
        "Engine Shutdown",
    };
    EXPECT_EQ(Steps(), expected);
    EXPECT_EQ(engine.frames, 3);
    EXPECT_EQ(velocityDuringRun, 80);
    // No lock (one hack per monitor), no cursor, no mode, no announcement.
    EXPECT_TRUE(os.LogStartingWith("AcquireNamedLock").empty());
    EXPECT_TRUE(os.LogStartingWith("ShowCursor").empty());
    EXPECT_EQ(os.store.commits, 1);
    EXPECT_EQ(os.store.keys[kSettingsKey]["Velocity"], "30");
    EXPECT_EQ(os.store.keys[kSettingsKey]["Sound"], "1");
}

TEST_F(SaverAppTest, HackModeEndsOnACloseRequestAndTakesTheRootOrTheDaemonsWindow)
{
    engine.onFrame = [this](int frame) {
        if (frame == 2)
            os.Queue(os.Find(os::WindowKind::Foreign), {os::EventType::Close, 0, {}});
        if (frame > 50)
            g_Running = 0;
    };
    EXPECT_EQ(Run({"-root"}), 0);
    EXPECT_EQ(engine.frames, 2);
    EXPECT_EQ(os.LogStartingWith("CreateWindow Foreign \"Window\" 0,0,0,0 target 0").size(), 1u);
    g_Running = 1;
    setenv("XSCREENSAVER_WINDOW", "0x77", 1);
    EXPECT_EQ(Run({"--root", "--fps"}), 0);
    unsetenv("XSCREENSAVER_WINDOW");
    EXPECT_EQ(os.LogStartingWith("CreateWindow Foreign \"Window\" 0,0,0,0 target 119").size(), 1u);
}

TEST_F(SaverAppTest, HackModeFailuresGoToStandardErrorWithoutABox)
{
    EXPECT_EQ(Run({"--window-id", "0"}), 1);
    EXPECT_TRUE(os.LogStartingWith("CreateWindow").empty());
    ResetError();
    os.failCreate[os::WindowKind::Foreign] = true;
    EXPECT_EQ(Run({"--window-id", "0x1234"}), 1);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_NE(FormatErrorReport().find("\"Could not draw into window 0x1234\""), std::string::npos);
    ResetError();
    os.failCreate[os::WindowKind::Foreign] = false;
    engine.initResult = false;
    EXPECT_EQ(Run({"--window-id", "0x1234", "--no-fog"}), 1);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(os.store.commits, 0);
}

TEST_F(SaverAppTest, HelpVersionAndBadOptionsEndBeforeAnythingStarts)
{
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(Run({"--velocity", "x"}), 2);
    EXPECT_EQ(Run({"--unknown"}), 2);
    EXPECT_TRUE(os.LogStartingWith("CreateWindow").empty());
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(os.store.commits, 0);
}

} // namespace
