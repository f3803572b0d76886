// The recorded flight, "models/camera.ani": six unparented tracks over 600
// frames that loop seamlessly. "PteroCamera" (the leading pterodactyl,
// followed by the orbiting camera) and "ClassicCamera" (the helicopter) fly
// the canyon; "Ptero" (the flock) circles high over the basin and the arms
// in turn, clear of the ranges that rise beyond them.
#pragma once

#include <string>

#include "bake/canyon_gen.h"

class CSkeleton;

namespace bake {

class MeshQuery;

constexpr int32_t kPathFrames = 600;
// How far the orbiting camera can be from the point it circles.
constexpr float kOrbitReach = 121.3f;  // 70 * sqrt(3)
constexpr float kMinClearance = 150.0f;
// How far a flock member's wing tips reach from its centre: it is drawn at
// three times the size of the 83-unit pterodactyl.
constexpr float kFlockReach = 125.0f;

std::string MakeFlightPathText(const CanyonLayout& layout);

struct PathReport {
    float pteroClearance = 0;    // nearest face to the leading pterodactyl's track
    float classicClearance = 0;  // nearest face to the helicopter track
    float flockClearance = 0;    // nearest face to the flock's track
    float pteroSeamRatio = 0;    // step across the seam / largest other step
    float classicSeamRatio = 0;
    float flockSeamRatio = 0;
    float classicSpeedMin = 0, classicSpeedMax = 0;  // key spacing, units per frame
};

// Samples the loaded path finely with the engine's spline and measures
// clearances and seams.
PathReport MeasureFlightPath(CSkeleton& path, const MeshQuery& canyon);

// The acceptance rule for a report: empty when it passes, otherwise which
// check failed and by how much.
std::string PathReportProblem(const PathReport& r);
inline bool PathReportOk(const PathReport& r) { return PathReportProblem(r).empty(); }

}  // namespace bake
