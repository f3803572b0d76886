// A hand-driven application clock for the creature tests.
#pragma once

#include "base/system.h"

class TestClock final : public ISystem {
public:
    TestClock() { g_pSystem = this; }
    ~TestClock() { g_pSystem = nullptr; }
    double GetTime() override { return total; }
    double GetFrameTime() override { return frame; }
    double GetTotalTime() override { return total; }
    double GetClampedFrameTime() override { return frame < 0.1 ? frame : 0.1; }
    bool PumpMessages() override { return true; }
    IRender* GetRender() override { return nullptr; }
    void Advance(double dt)
    {
        frame = dt;
        total += dt;
    }
    double total = 0;
    double frame = 0;
};
