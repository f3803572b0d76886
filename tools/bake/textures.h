// The archive's pictures: canyon materials, sky and clouds, flare elements,
// loading bar, normal map and the pterodactyl's skin. All tileable pictures
// repeat exactly at their edges.
#pragma once

#include "bake/image_io.h"

namespace bake {

Image MakeDefaultTexture();       // plain white
Image MakeRockTexture();          // textures/1.jpg: plateau and ledge rock
Image MakeStrataTexture();        // textures/2.jpg: layered cliff faces
Image MakeGroundTexture();        // textures/12.jpg: canyon floor
Image MakeBumpTexture();          // textures/bump.jpg: normal map of the rock relief
Image MakeSkyTexture();           // textures/sky.png
Image MakeCloudTexture();         // textures/fog.tga: RGBA, clouds in alpha
Image MakeFlareGlow();            // textures/FLARE.JPG
Image MakeFlareRing();            // textures/f1.jpg
Image MakeFlareDisc();            // textures/f2.jpg
Image MakeFlareHexagon();         // textures/f3.jpg
Image MakeFlareStreaks();         // textures/f4.jpg
Image MakeLoadingBase();          // textures/loading2.jpg
Image MakeLoadingLight();         // textures/loading1.jpg
Image MakePteroSkin();            // textures/ptero.bmp

// Regions of the pterodactyl skin, in texture units (0..1, v from the top).
struct SkinRegion {
    float u0, v0, u1, v1;
};
SkinRegion PteroSkinBody();
SkinRegion PteroSkinWing();
SkinRegion PteroSkinHead();
SkinRegion PteroSkinCrest();

// Rock relief shared by the rock colour map and the normal map, so the
// bumps line up with the painted cracks. Periodic over [0, 1).
float RockRelief(float u, float v);

}  // namespace bake
