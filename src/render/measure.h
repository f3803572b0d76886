// What a rendered frame shows, measured from its depth buffer: how much of
// the picture is canyon floor, how much lies in the fog's range, and whether
// the circling flock can be seen. Used by `vantor-render --measure` to judge
// a flight path and a canyon against each other.
#pragma once

#include <vector>

#include "d3d8_vantor.h"
#include "model/camera_path.h"

namespace measure {

struct Rules {
    // Floor: reconstructed surface facing up (normal z above this) and low.
    float floorNormalZ = 0.8f;
    float floorTopZ = 400.0f;
    // Depth (clip z) where the vertex fog starts to grade the picture.
    float fogStart = 9000.0f;
    // A flock member counts as seen when its centre projects into the
    // picture, nearer than this, and no rock stands in front of it.
    float flockSeenWithin = 15000.0f;
    float flockBodySlack = 250.0f;
    // The basin the flock used to circle: members over it do not count as
    // "outside the basin".
    float basinX = 0, basinY = 0, basinRadius = 6800.0f;
};

struct FrameStats {
    double floorShare = 0;  // of all pixels
    double deepShare = 0;   // of all pixels: geometry beyond the fog start
    double skyShare = 0;    // nothing drawn with depth
    int flockSeen = 0;      // members seen
    int flockSeenOutsideBasin = 0;
};

enum class PixelClass : unsigned char { Sky, Floor, Near, Deep };

// Projection constants of the engine (near, far, 90 degrees, 4/3), from the
// window depth the engine writes for opaque geometry (see kOpaqueMaxZ).
float ViewDepth(float windowDepth);
float ClipDepth(float windowDepth);

FrameStats AnalyseFrame(const VantorDepthImage& depth, const camera::CameraPose& pose,
                        const std::vector<vmath::Vec3>& flock, const Rules& rules,
                        std::vector<PixelClass>* classes = nullptr);

}  // namespace measure
