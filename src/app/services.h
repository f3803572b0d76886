// What the shell drives but does not own the inside of: the rendering
// engine and the sound system. The executable plugs in the real ones; tests
// plug in recorders.
#pragma once

namespace os {
class IWindow;
}
struct IRender;

class IEngineHost {
public:
    virtual ~IEngineHost() = default;
    // True when the engine is ready to draw; may also raise its own error.
    virtual bool Init(os::IWindow& window, bool second) = 0;
    virtual void RenderFrame() = 0;
    // Harmless when the engine never started or was shut down already.
    virtual void Shutdown() = 0;
    virtual IRender* GetRender() = 0;
};

class ISoundHost {
public:
    virtual ~ISoundHost() = default;
    virtual void Start(os::IWindow& window) = 0;
    // Each of these is harmless while the sound system is not running.
    virtual void SetVolume(float volume) = 0;
    virtual void Update() = 0;
    virtual void Shutdown() = 0;
};

// The settings dialog; returns 1 for OK and 2 for Cancel.
class IConfigDialog {
public:
    virtual ~IConfigDialog() = default;
    virtual int Run() = 0;
};

struct ShellServices {
    IEngineHost* engine = nullptr;
    ISoundHost* sound = nullptr;
    IConfigDialog* dialog = nullptr;  // null: configure mode shows nothing
};
