// Stand-ins for the engine and the sound system while a build has none: the
// engine keeps a steady 60 Hz frame pace and draws nothing; sound is silent.
#pragma once

#include "app/services.h"

class CNullEngine final : public IEngineHost {
public:
    bool Init(os::IWindow&, bool) override { return true; }
    void RenderFrame() override;
    void Shutdown() override {}
    IRender* GetRender() override { return nullptr; }
};

class CNullSound final : public ISoundHost {
public:
    void Start(os::IWindow&) override {}
    void SetVolume(float) override {}
    void Update() override {}
    void Shutdown() override {}
};
