// One audio output and its mixer, shared by a DirectSound object and every
// buffer it created, so the output stays open until the last of them goes.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"

namespace vantor::dsound {

class CSoundDevice {
public:
    // Opens SDL's default output: signed 16-bit stereo at 44,100 Hz, mixed
    // by the mixer on SDL's callback. Null (and `hr` set) when there is no
    // audio driver or device; SDL's audio subsystem is left as it was.
    static std::shared_ptr<CSoundDevice> OpenOutput(HRESULT& hr);
    // No output at all: whoever holds it pulls the mix with Render.
    static std::shared_ptr<CSoundDevice> CreateOffline();

    CSoundDevice() = default;
    ~CSoundDevice();
    CSoundDevice(const CSoundDevice&) = delete;
    CSoundDevice& operator=(const CSoundDevice&) = delete;

    CMixer& Mixer() { return m_mixer; }
    bool Offline() const { return m_device == 0; }

private:
    static void Callback(void* user, uint8_t* stream, int len);

    CMixer m_mixer;         // declared first: destroyed after the output
    uint32_t m_device = 0;  // SDL_AudioDeviceID; 0 when offline
};

}  // namespace vantor::dsound
