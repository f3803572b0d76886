// The pterodactyl, "models/ptero.smd": a 24-bone skeleton (body, neck, head
// with jaw and crest, tail, two five-bone wings, two legs), a skinned mesh
// of a crested, long-beaked flyer with two-sided wing membranes, and 101
// frames of wing animation holding the three clips the actors play.
#pragma once

#include <string>

namespace bake {

// Model axes: x forward, y to the creature's left, z up. Units: wingspan
// about 86.
constexpr int32_t kPteroFrames = 101;

std::string MakePteroText();

}  // namespace bake
