// The WAV reader of the sound system.
#include <cstdint>
#include <span>

#include "creatures/sound_wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WaveData wave;
    if (ParseWave(std::span<const uint8_t>(data, size), wave)) {
        // The sample data must be exactly what the header promised.
        if (wave.bytes.size() + 44 > size || wave.bitsPerSample < 8)
            __builtin_trap();
    }
    return 0;
}
