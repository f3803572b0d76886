// What the application object offers the engine, the sound system and the
// creatures, and the process-wide running flag that ends the loops.
#pragma once

struct IRender;

class ISystem {
public:
    virtual double GetTime() = 0;             // seconds since the clock reset, as of the last tick
    virtual double GetFrameTime() = 0;        // raw seconds between the last two ticks
    virtual double GetTotalTime() = 0;        // accumulated flight time
    virtual double GetClampedFrameTime() = 0; // last frame time, at most 0.1
    virtual bool PumpMessages() = 0;          // false when the quit message was met
    virtual IRender* GetRender() = 0;         // the engine's interface

protected:
    ~ISystem() = default;
};

// Set by the application object's constructor, cleared by its destructor.
extern ISystem* g_pSystem;

// Keeps the loops of the test, screensaver and preview modes going. Starts at
// 1; the windows set it to 0 and nothing sets it back.
extern int g_Running;
