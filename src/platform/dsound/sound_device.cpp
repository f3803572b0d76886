// The SDL side of the mixer: one audio device, one callback.
#include "platform/dsound/sound_device.h"

#include <SDL.h>

#include <new>

namespace vantor::dsound {

namespace {

// About 23 ms per callback: the sound system updates once per frame, so
// this keeps parameter changes within a frame or two of the picture.
constexpr Uint16 kCallbackFrames = 1024;

// How long closing waits for fading voices to finish their ramp.
constexpr int kCloseWaitSteps = 30;
constexpr Uint32 kCloseWaitStepMs = 2;

}  // namespace

std::shared_ptr<CSoundDevice> CSoundDevice::OpenOutput(HRESULT& hr)
{
    std::shared_ptr<CSoundDevice> device(new (std::nothrow) CSoundDevice);
    if (!device) {
        hr = DSERR_OUTOFMEMORY;
        return nullptr;
    }
    // Each device holds one reference on SDL's audio subsystem; a failed
    // open gives it back, so another user of SDL audio (or a later try) in
    // this process sees nothing changed.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        hr = DSERR_NODRIVER;
        return nullptr;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(kMixRate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(kMixChannels);
    want.samples = kCallbackFrames;
    want.callback = &CSoundDevice::Callback;
    want.userdata = &device->m_mixer;
    // No changes allowed: SDL converts to whatever the hardware wants, so
    // the callback always sees exactly the format above.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        hr = DSERR_NODRIVER;
        return nullptr;
    }
    device->m_device = id;
    SDL_PauseAudioDevice(id, 0);
    hr = DS_OK;
    return device;
}

std::shared_ptr<CSoundDevice> CSoundDevice::CreateOffline()
{
    return std::shared_ptr<CSoundDevice>(new (std::nothrow) CSoundDevice);
}

CSoundDevice::~CSoundDevice()
{
    if (m_device == 0)
        return;
    // Let voices that were just stopped finish their fade, so closing the
    // stream does not end it on a click.
    for (int i = 0; i < kCloseWaitSteps && !m_mixer.Quiet(); ++i)
        SDL_Delay(kCloseWaitStepMs);
    SDL_CloseAudioDevice(m_device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void CSoundDevice::Callback(void* user, uint8_t* stream, int len)
{
    auto* mixer = static_cast<CMixer*>(user);
    const auto frames = static_cast<uint32_t>(len) / (kMixChannels * sizeof(int16_t));
    mixer->Render(reinterpret_cast<int16_t*>(stream), frames);
}

}  // namespace vantor::dsound
