// The application object: start-up, the mode handlers, the loop and the clock.
#include "app/saver_app.h"

#include "app/display.h"
#include "app/splash_wnd.h"

#include <cstdio>
#include <cstdlib>

#include "archive/archive.h"
#include "base/error.h"
#include "base/random.h"
#include "settings/settings.h"


namespace {
constexpr double kMaxFrameTime = 0.1;
}

CSaverApp::CSaverApp(os::IOS& os, ShellServices services) : m_os(os), m_services(services), m_timer(os)
{
    g_pSystem = this;
}

CSaverApp::~CSaverApp()
{
    m_saverWnd.Destroy();
    m_blackWnd.Destroy();
    if (m_services.engine)
        m_services.engine->Shutdown();
    if (g_pSystem == this)
        g_pSystem = nullptr;
}

const char* CSaverApp::Argument(size_t index) const
{
    return index < m_args.size() ? m_args[index].c_str() : nullptr;
}

int CSaverApp::Run(const std::vector<std::string>& args)
{
    m_args = args;
    // Hack options come before the letters, which would read "--version"
    // as the screensaver (it holds an "s") and "--help" as a preview.
    m_hack = ParseHackCommandLine(args, std::getenv("XSCREENSAVER_WINDOW"));
    switch (m_hack.kind) {
    case HackCommand::Kind::Help:
        std::fputs(HackUsage("vantor").c_str(), stdout);
        return 0;
    case HackCommand::Kind::Version:
        std::printf("vantor %s\n", VANTOR_VERSION);
        return 0;
    case HackCommand::Kind::BadUsage:
        std::fprintf(stderr, "vantor: %s\n\n%s", m_hack.error.c_str(), HackUsage("vantor").c_str());
        return 2;
    case HackCommand::Kind::NotHack:
    case HackCommand::Kind::Run:
        break;
    }
    try {
        InChain("CSaverApp::Run", [&] { RunBody(); });
        return 0;
    } catch (...) {
        if (m_hack.kind == HackCommand::Kind::Run) {
            // The daemon that runs hacks shows no boxes and owns the screen:
            // standard error (its log) is the only place for the report.
            std::fprintf(stderr, "%s %s\n", kErrorCaption, FormatErrorReport().c_str());
            return 1;
        }
        try {
            ClearScreenForReport();
            m_os.MessageBox(kErrorCaption, FormatErrorReport());
        } catch (...) {
            // Nothing more can be reported; the exit code still says it.
        }
        return 1;
    }
}

void CSaverApp::ClearScreenForReport()
{
    // The saver and cover windows are topmost and hide the cursor: a box
    // shown while they exist would sit under them, unreachable. Destroying
    // them shows the cursor again; the display mode was restored on the way
    // out of the mode handler.
    if (m_services.engine)
        m_services.engine->Shutdown();
    if (m_services.sound)
        m_services.sound->Shutdown();
    m_saverWnd.Destroy();
    m_blackWnd.Destroy();
}

void CSaverApp::RunBody()
{
    SeedRandom(m_os.Milliseconds());
    SetDefaultSettings();
    LoadSettings();
    if (!OpenProgramArchive(m_os.Resource(os::ResourceType::RCData, kArchiveResource))) {
        NoteErrorDetail(ProgramArchiveError());
        RaiseError("Could not open the resource archive");
    }
    ResetClock();

    if (m_hack.kind == HackCommand::Kind::Run) {
        DoHack();
        return;
    }
    switch (ParseRunMode(Argument(0))) {
    case RunMode::ChangePassword:
        DoChangePassword(ParseWindowHandle(Argument(1)));
        break;
    case RunMode::Preview:
        if (AcquireInstanceMutex())
            DoPreview();
        break;
    case RunMode::Test:
        DoTest();
        break;
    case RunMode::Saver:
        if (AcquireInstanceMutex())
            DoSaver();
        break;
    case RunMode::Configure:
    case RunMode::None:
        DoConfig();
        break;
    }
}

bool CSaverApp::AcquireInstanceMutex()
{
    const bool only = m_os.AcquireNamedLock(kInstanceMutexName);
    m_mutexTaken = m_mutexTaken || only;
    return only;
}

void CSaverApp::LoadSettings()
{
    InChain("CSaverApp::LoadSettings", [&] { LoadSettingsFromStore(m_os.Store(), g_Settings, m_os.CurrentFolder()); });
}

void CSaverApp::SaveSettings()
{
    SaveSettingsToStore(m_os.Store(), g_Settings);
}

void CSaverApp::ResetClock()
{
    m_timer.Start();
    m_now = m_previous = m_timer.Elapsed();
    m_frameTime = 0.0;
    m_totalTime = 0.0;
}

void CSaverApp::Tick()
{
    m_previous = m_now;
    m_now = m_timer.Elapsed();
    m_frameTime = m_now - m_previous;
    m_clampedFrameTime = m_frameTime <= kMaxFrameTime ? m_frameTime : kMaxFrameTime;
    m_totalTime += m_clampedFrameTime;
}

bool CSaverApp::PumpMessages()
{
    for (;;) {
        switch (m_os.PeekAndDispatch()) {
        case os::DispatchResult::None:
            return true;
        case os::DispatchResult::Quit:
            return false;
        case os::DispatchResult::Dispatched:
            break;
        }
    }
}

IRender* CSaverApp::GetRender()
{
    return m_services.engine ? m_services.engine->GetRender() : nullptr;
}

void CSaverApp::RunLoop()
{
    while (g_Running) {
        if (m_os.PeekAndDispatch() != os::DispatchResult::None)
            continue;
        Tick();
        m_services.engine->RenderFrame();
        m_services.sound->Update();
    }
}

void CSaverApp::DoConfig()
{
    InChain("CSaverApp::DoConfig", [&] {
        if (m_services.dialog && m_services.dialog->Run() == 1)
            SaveSettings();
    });
}

void CSaverApp::DoChangePassword(int64_t window)
{
    // Every failure is silent: the desktop asked, there is nobody to tell.
    m_os.ChangePassword(window);
}

void CSaverApp::DoPreview()
{
    InChain("CSaverApp::DoPreview", [&] {
        CSplashWnd splash(m_os);
        const auto parent = static_cast<uint64_t>(ParseWindowHandle(Argument(1)));
        // Without a window there is nothing whose end would end the preview.
        if (!splash.Create(parent, m_os.Resource(os::ResourceType::Bitmap, kPreviewBitmap)))
            return;
        while (g_Running) {
            if (m_os.PeekAndDispatch() == os::DispatchResult::None)
                m_os.WaitForInput(10);
        }
    });
}

void CSaverApp::StartFlight(bool test)
{
    if (!m_saverWnd.Create(m_os, test))
        RaiseError("Could not create main window");
    StartEngineAndSound();
}

void CSaverApp::StartEngineAndSound()
{
    if (g_Settings.Sound)
        m_services.sound->Start(*m_saverWnd.Window());
    if (!m_services.engine->Init(*m_saverWnd.Window(), false))
        RaiseError("Could not init Rendering Engine");
    m_services.sound->SetVolume(static_cast<float>(g_Settings.Volume) / 100.0f);
}

void CSaverApp::EndFlight()
{
    m_services.engine->Shutdown();
    m_services.sound->Shutdown();
    m_saverWnd.Destroy();
}

void CSaverApp::DoTest()
{
    InChain("CSaverApp::DoTest", [&] {
        StartFlight(true);
        RunLoop();
        EndFlight();
        SaveSettings();
    });
}

void CSaverApp::DoSaver()
{
    InChain("CSaverApp::DoSaver", [&] {
        const bool switchMode = g_Settings.Desktop == 0;
        try {
            if (switchMode) {
                if (!SetDisplayMode(m_os, static_cast<uint32_t>(g_Settings.Width),
                                    static_cast<uint32_t>(g_Settings.Height), static_cast<uint32_t>(g_Settings.Depth)))
                    RaiseError("Could not set specified video mode");
                m_os.YieldSlice();
            }
            m_blackWnd.Create(m_os, true);
            StartFlight(false);
            m_os.SetSaverRunning(true);
            RunLoop();
            EndFlight();
            if (os::IWindow* black = m_blackWnd.Window())
                black->SetEnabled(false);
            VerifyPasswordOnExit(m_blackWnd.Window());
            m_blackWnd.Destroy();
            m_os.SetSaverRunning(false);
            if (switchMode)
                RestoreDisplayMode(m_os);
            SaveSettings();
        } catch (...) {
            m_os.SetSaverRunning(false);
            m_services.sound->Shutdown();
            if (switchMode)
                RestoreDisplayMode(m_os);
            throw;
        }
    });
}

void CSaverApp::DoHack()
{
    InChain("CSaverApp::DoHack", [&] {
        // No lock, cursor, display mode or announcement here: the daemon runs
        // one hack per monitor and owns the screen, the input and locking.
        const bool root = m_hack.target == HackCommand::Target::Root;
        char id[32];
        std::snprintf(id, sizeof id, "0x%llx", static_cast<unsigned long long>(m_hack.window));
        if (!root && m_hack.window == 0)
            RaiseError(m_hack.target == HackCommand::Target::FromEnvironment
                           ? "XSCREENSAVER_WINDOW names no window"
                           : "Window 0 names no window");
        if (!m_saverWnd.CreateForeign(m_os, root ? 0 : m_hack.window))
            RaiseError(root ? std::string("Could not draw into the root window")
                            : "Could not draw into window " + std::string(id));
        // The overrides hold for this run only; what is saved afterwards is
        // what was loaded.
        const Settings stored = g_Settings;
        m_hack.ApplyTo(g_Settings);
        try {
            StartEngineAndSound();
            RunLoop();
            EndFlight();
        } catch (...) {
            m_services.sound->Shutdown();
            g_Settings = stored;
            throw;
        }
        g_Settings = stored;
        SaveSettings();
    });
}

void CSaverApp::VerifyPasswordOnExit(os::IWindow* owner)
{
    // Only the oldest desktop family asks the screensaver for the password;
    // everywhere else the platform layer does nothing here.
    m_os.VerifyPassword(owner);
}
