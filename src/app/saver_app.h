// CSaverApp: the application object. It reads the settings, opens the
// archive, classifies the command line and runs exactly one mode handler;
// it also owns the clock whose frame times the engine and creatures read.
#pragma once

#include <string>
#include <vector>

#include "app/black_wnd.h"
#include "app/hack_options.h"
#include "app/run_mode.h"
#include "app/saver_wnd.h"
#include "app/services.h"
#include "app/timer.h"
#include "base/system.h"
#include "platform/os.h"

class CSaverApp final : public ISystem {
public:
    CSaverApp(os::IOS& os, ShellServices services);
    ~CSaverApp();
    CSaverApp(const CSaverApp&) = delete;
    CSaverApp& operator=(const CSaverApp&) = delete;

    // `args` are the command-line arguments after the program name. Returns
    // the exit code: 0 after a normal run (or a skipped second instance), 1
    // after an error was reported.
    int Run(const std::vector<std::string>& args);

    // ISystem
    double GetTime() override { return m_now; }
    double GetFrameTime() override { return m_frameTime; }
    double GetTotalTime() override { return m_totalTime; }
    double GetClampedFrameTime() override { return m_clampedFrameTime; }
    bool PumpMessages() override;
    IRender* GetRender() override;

    // Mode handlers.
    void DoConfig();
    void DoChangePassword(int64_t window);
    void DoPreview();
    void DoTest();
    void DoSaver();
    // Hack mode: the flight inside a window a screensaver daemon gives us.
    void DoHack();

    bool AcquireInstanceMutex();
    void LoadSettings();
    void SaveSettings();
    void ResetClock();
    void Tick();
    void VerifyPasswordOnExit(os::IWindow* owner);

private:
    void RunBody();
    // Takes the program's own windows off the screen before an error box.
    void ClearScreenForReport();
    // Saver window, sound and engine up (in that order) / down again.
    void StartFlight(bool test);
    void StartEngineAndSound();
    void EndFlight();
    void RunLoop();
    const char* Argument(size_t index) const;

    os::IOS& m_os;
    ShellServices m_services;
    bool m_mutexTaken = false;
    CBlackWnd m_blackWnd;
    CSaverWnd m_saverWnd;
    CTimer m_timer;
    double m_now = 0.0;
    double m_previous = 0.0;
    double m_frameTime = 0.0;
    double m_totalTime = 0.0;
    double m_clampedFrameTime = 0.0;
    std::vector<std::string> m_args;
    HackCommand m_hack;
};

// The caption of every error box.
inline constexpr const char* kErrorCaption = "Vantor:";
// The name of the single-instance lock.
inline constexpr const char* kInstanceMutexName = "VantorMutex";
// Resource numbers.
inline constexpr int kArchiveResource = 144;
inline constexpr int kPreviewBitmap = 146;
