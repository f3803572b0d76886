// The bitmap font: printable ASCII glyphs rendered with FreeType into a
// 16 x 16 grid of 16-pixel cells, light on black, 8-bit palettised.
#pragma once

#include <string>

#include "bake/image_io.h"

namespace bake {

// The font file found when the baker was configured.
const char* DefaultFontFile();

// False when the font file cannot be read.
bool MakeFontTexture(const std::string& fontFile, IndexedImage& out);

}  // namespace bake
