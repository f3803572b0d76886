// A small software rasteriser for the baker's own pictures: the preview
// bitmap, the icon and the views under docs/. Perspective-correct texturing,
// a depth buffer, an optional light-map and the engine's linear fog.
#pragma once

#include <vector>

#include "bake/image_io.h"
#include "model/anim_math.h"

namespace bake {

struct SoftVertex {
    vmath::Vec3 position;
    float u = 0, v = 0;    // colour texture, wrapped
    float su = 0, sv = 0;  // light-map coordinates, clamped
    float light = 1;       // used when there is no light-map
};

class SoftRenderer {
public:
    SoftRenderer(int32_t width, int32_t height);

    void SetCamera(vmath::Vec3 eye, vmath::Vec3 target, vmath::Vec3 up, float fovY);
    // Sky: a vertical gradient from the horizon colour to the zenith colour.
    void ClearSky(float horizon[3], float zenith[3]);
    void ClearColour(float r, float g, float b);
    void SetFog(bool on) { m_fog = on; }
    void DrawTriangle(const SoftVertex (&v)[3], const Image* texture, const Image* lightMap);
    Image Resolve(int32_t downsample) const;

private:
    struct ClipVertex {
        float x, y, z, w;  // clip space
        float u, v, su, sv, light;
        float viewDepth;
    };
    void Raster(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, const Image* texture,
                const Image* lightMap);

    int32_t m_w, m_h;
    std::vector<float> m_colour;  // RGB
    std::vector<float> m_depth;
    vmath::Mat4 m_viewProj;
    vmath::Mat4 m_view;
    bool m_fog = true;
};

// Bilinear lookups; `wrap` repeats, otherwise coordinates are clamped.
void SampleBilinear(const Image& image, float u, float v, bool wrap, float out[3]);

}  // namespace bake
