// The eight sounds, synthesised: a seamless wind loop, a wing flap, three
// cries, two calls and a seamless helicopter engine loop. Samples are
// floats in [-1, 1] at 11,025 Hz, written as 8-bit WAV files.
#pragma once

#include <vector>

namespace bake {

std::vector<float> MakeWindLoop();
std::vector<float> MakeWingFlap();
std::vector<float> MakeCry(int variant);   // 0, 1, 2
std::vector<float> MakeCall(int variant);  // 0, 1
std::vector<float> MakeHelicopterLoop();

}  // namespace bake
