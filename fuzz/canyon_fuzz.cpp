// The canyon reader and every build step after it, on the recording device,
// then a draw and a few ray queries through the grid.
#include <cmath>
#include <cstdint>
#include <span>

#include "canyon/canyon.h"
#include "fake_d3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fake::Render render;
    render.device.record = false;
    CCanyon canyon;
    if (!canyon.LoadFromBytes(std::span<const uint8_t>(data, size), render))
        return 0;
    // What the lighting is given: a unit normal, or zero for a vertex of no
    // face with area.
    for (const CanyonVertex& v : canyon.Vertices()) {
        const float len = vmath::Length(v.normal);
        if (!(len == 0.0f || std::fabs(len - 1.0f) < 1e-3f))
            __builtin_trap();
    }
    canyon.Draw(true);
    canyon.IntersectRay({0, 0, 0}, {0, 0, 1});
    canyon.IntersectRay({1, 2, 3}, {-0.5f, 0.25f, 0.8f});
    canyon.IntersectRay({1e30f, -1e30f, 0}, {1, 1, 1});
    return 0;
}
