// The flight rendered off-screen on a steady clock: what the still renderer,
// its benchmark and the reference-image tests share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/system.h"
#include "d3d8_vantor.h"
#include "render/drawer.h"

class COffscreenFlight final : public ISystem {
public:
    // Every frame lasts this long on the steady clock.
    static constexpr double kStep = 1.0 / 30.0;
    // Frames rendered before a still: the flares fade in, the clock settles.
    static constexpr int kWarmUp = 4;

    // Installs itself as the application object for the engine and the
    // creatures; the settings record must be filled before Init.
    explicit COffscreenFlight(uint32_t seed);
    ~COffscreenFlight();

    // Creates the off-screen device (headless on our runtime, on a hidden
    // window on Windows) and loads the scene. False (with the reason in
    // `error`) when the engine cannot start.
    bool Init(unsigned width, unsigned height, std::string& error);

    // Positions the clocks so that the frame after `warmUp` more frames shows
    // scene time `time`, and renders those warm-up frames.
    void StartAt(double time);
    void Frame();
    bool Capture(VantorImage& image);

    CDrawer& Drawer() { return m_drawer; }

    // ISystem
    double GetTime() override { return m_now; }
    double GetFrameTime() override { return kStep; }
    double GetTotalTime() override { return m_total; }
    double GetClampedFrameTime() override { return kStep; }
    bool PumpMessages() override { return true; }
    IRender* GetRender() override { return &m_drawer; }

private:
    CDrawer m_drawer;
    HWND m_window = nullptr;
    double m_now = 0;
    double m_total = 0;
};
