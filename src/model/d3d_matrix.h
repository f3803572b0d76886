// Conversions between the engine's Mat4 and Direct3D's D3DMATRIX, which
// share one layout (16 floats, row by row).
#pragma once

#include <cstring>

#include "d3d8.h"
#include "model/anim_math.h"

static_assert(sizeof(D3DMATRIX) == sizeof(vmath::Mat4));

inline D3DMATRIX ToD3DMatrix(const vmath::Mat4& m)
{
    D3DMATRIX r;
    std::memcpy(r.m, m.m, sizeof(r.m));
    return r;
}

inline vmath::Mat4 FromD3DMatrix(const D3DMATRIX& m)
{
    vmath::Mat4 r;
    std::memcpy(r.m, m.m, sizeof(r.m));
    return r;
}
