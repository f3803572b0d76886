// The real engine and sound system behind the shell's service interfaces.
#pragma once

#include <cstdint>

#include "app/services.h"
#include "render/drawer.h"

class CEngineHost final : public IEngineHost {
public:
    explicit CEngineHost(uint32_t seed) : m_drawer(seed) {}
    bool Init(os::IWindow& window, bool second) override;
    void RenderFrame() override { m_drawer.RenderFrame(); }
    void Shutdown() override { m_drawer.Shutdown(); }
    IRender* GetRender() override { return &m_drawer; }
    CDrawer& Drawer() { return m_drawer; }

private:
    CDrawer m_drawer;
};

class CSoundHost final : public ISoundHost {
public:
    void Start(os::IWindow& window) override;
    void SetVolume(float volume) override;
    void Update() override;
    void Shutdown() override;
};
