// Font atlas: the text output samples each cell from 0.01 of the atlas
// (2.56 pixels) inside its top-left corner to its bottom-right corner, so
// every glyph is placed inside the last 13 pixels of its cell in each
// direction, and the first three columns and rows stay black.
#include "bake/font.h"

#include <algorithm>
#include <cmath>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace bake {

const char* DefaultFontFile() { return VANTOR_FONT_FILE; }

bool MakeFontTexture(const std::string& fontFile, IndexedImage& out)
{
    constexpr int32_t kSize = 256, kCell = 16;
    constexpr int32_t kMargin = 3;     // cell pixels before the sampled window
    constexpr float kWindow = 13.0f;  // sampled part of a cell
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0)
        return false;
    FT_Face face = nullptr;
    if (FT_New_Face(lib, fontFile.c_str(), 0, &face) != 0) {
        FT_Done_FreeType(lib);
        return false;
    }
    FT_Set_Pixel_Sizes(face, 0, 13);
    out.width = kSize;
    out.height = kSize;
    out.indices.assign(size_t(kSize) * kSize, 0);
    out.palette.clear();
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            out.palette.push_back(uint8_t(i));
    const int32_t ascender = int32_t(face->size->metrics.ascender >> 6);
    const int32_t descender = int32_t(-(face->size->metrics.descender >> 6));
    const int32_t lineHeight = ascender + descender;
    for (int code = 33; code < 127; ++code) {
        if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0)
            continue;
        const FT_GlyphSlot g = face->glyph;
        const int32_t cellX = (code % 16) * kCell, cellY = (code / 16) * kCell;
        const int32_t advance = int32_t(g->advance.x >> 6);
        const int32_t originX = cellX + kMargin + int32_t(std::lround((kWindow - float(advance)) / 2));
        const int32_t baseline = cellY + kMargin + int32_t(std::lround((kWindow - float(lineHeight)) / 2)) + ascender;
        for (uint32_t row = 0; row < g->bitmap.rows; ++row)
            for (uint32_t col = 0; col < g->bitmap.width; ++col) {
                const int32_t x = originX + g->bitmap_left + int32_t(col);
                const int32_t y = baseline - g->bitmap_top + int32_t(row);
                // Keep every glyph inside its own cell's visible window.
                if (x < cellX + kMargin || x >= cellX + kCell || y < cellY + kMargin || y >= cellY + kCell)
                    continue;
                const uint8_t v = g->bitmap.buffer[int32_t(row) * g->bitmap.pitch + int32_t(col)];
                uint8_t& dst = out.indices[size_t(y) * kSize + size_t(x)];
                dst = std::max(dst, v);
            }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return true;
}

}  // namespace bake
