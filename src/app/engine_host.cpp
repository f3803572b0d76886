// Adapters from the shell's service interfaces to the engine and the flat
// sound functions.
#include "app/engine_host.h"

#include "creatures/sound_system.h"
#include "platform/os.h"

bool CEngineHost::Init(os::IWindow& window, bool)
{
    return m_drawer.Init(static_cast<HWND>(window.NativeHandle()));
}

void CSoundHost::Start(os::IWindow& window)
{
    // A failure leaves sound off; the flight goes on silently.
    SoundInit(static_cast<HWND>(window.NativeHandle()));
}

void CSoundHost::SetVolume(float volume)
{
    SoundSetMasterVolume(volume);
}

void CSoundHost::Update()
{
    SoundUpdate();
}

void CSoundHost::Shutdown()
{
    SoundShutdown();
}
