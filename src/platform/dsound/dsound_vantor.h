// What this DirectSound implementation offers beyond the published
// interface: a device-less object whose mix the caller pulls itself (tests
// and benchmarks). Sound code never includes this.
#pragma once

#include "platform/dsound/dsound.h"

#include <cstdint>

// The output format of every DirectSound object here: interleaved signed
// 16-bit stereo.
inline constexpr DWORD kVantorMixRate = 44100;

// A DirectSound object that opens no audio device. Nothing is mixed until
// VantorDirectSoundRender asks for it, on the caller's thread.
HRESULT VantorDirectSoundCreateOffline(LPDIRECTSOUND* ppDS);

// Mixes the next `frames` stereo frames of an offline object into `out`
// (2 x frames values). DSERR_INVALIDCALL for an object with a real device.
HRESULT VantorDirectSoundRender(LPDIRECTSOUND ds, int16_t* out, DWORD frames);
