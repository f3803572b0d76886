// The off-screen flight.
#include "render/offscreen.h"

#include <algorithm>
#include <cmath>

#include "base/error.h"

COffscreenFlight::COffscreenFlight(uint32_t seed) : m_drawer(seed)
{
    g_pSystem = this;
}

COffscreenFlight::~COffscreenFlight()
{
    m_drawer.Shutdown();
    VantorDestroyOffscreenWindow(m_window);
    if (g_pSystem == this)
        g_pSystem = nullptr;
}

bool COffscreenFlight::Init(unsigned width, unsigned height, std::string& error)
{
    m_drawer.SetOffscreenSize(width, height);
    if (!m_window)
        m_window = VantorCreateOffscreenWindow(width, height);
    try {
        if (m_drawer.Init(m_window))
            return true;
        error = "\"Could not init Rendering Engine\"";
    } catch (const CError&) {
        error = g_ErrorText;
    }
    return false;
}

void COffscreenFlight::StartAt(double time)
{
    const double start = std::max(0.0, time - kWarmUp * kStep);
    const int warmUp = static_cast<int>(std::lround((time - start) / kStep));
    // A settled clock: each frame moves the scene by exactly one step.
    m_drawer.SetSceneClock(start - kStep);
    m_drawer.SetSmoothedFrameTime(kStep);
    m_total = start - kStep;
    for (int i = 0; i < warmUp; ++i)
        Frame();
}

void COffscreenFlight::Frame()
{
    m_now += kStep;
    m_total += kStep;
    m_drawer.RenderFrame();
}

bool COffscreenFlight::Capture(VantorImage& image)
{
    return m_drawer.GetDevice() && SUCCEEDED(VantorReadPresented(m_drawer.GetDevice(), &image));
}
