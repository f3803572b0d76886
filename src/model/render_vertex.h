// RenderVertex: the one vertex layout of every mesh and every immediate draw
// (stream 0, 68 bytes, read by all three vertex shaders as v0..v6).
#pragma once

#include <cstddef>
#include <cstdint>

struct RenderVertex {
    float x, y, z;     // v0 position, world space
    float nx, ny, nz;  // v1 normal
    uint32_t color;    // v2 D3DCOLOR, ARGB
    float u, v;        // v3 texture coordinates, set 0
    float u2, v2;      // v4 texture coordinates, set 1
    float tx, ty, tz;  // v5 tangent along u
    float bx, by, bz;  // v6 tangent along v
};

static_assert(sizeof(RenderVertex) == 68);
static_assert(offsetof(RenderVertex, nx) == 12);
static_assert(offsetof(RenderVertex, color) == 24);
static_assert(offsetof(RenderVertex, u) == 28);
static_assert(offsetof(RenderVertex, u2) == 36);
static_assert(offsetof(RenderVertex, tx) == 44);
static_assert(offsetof(RenderVertex, bx) == 56);

constexpr uint32_t kRenderVertexStride = sizeof(RenderVertex);
