// PNG reading and writing with libpng, 8-bit RGB.
#include "render/snapshot.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <png.h>

bool WritePng(const std::string& path, const VantorImage& image)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    std::vector<png_byte> row(static_cast<size_t>(image.width) * 3);
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (UINT y = 0; y < image.height; ++y) {
            for (UINT x = 0; x < image.width; ++x) {
                const uint32_t p = image.At(x, y);
                row[3 * x] = static_cast<png_byte>(p >> 16);
                row[3 * x + 1] = static_cast<png_byte>(p >> 8);
                row[3 * x + 2] = static_cast<png_byte>(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

bool ReadPng(const std::string& path, VantorImage& image)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    std::vector<png_byte> row;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_strip_alpha(png);
        png_set_gray_to_rgb(png);
        png_read_update_info(png, info);
        const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        if (w == 0 || h == 0 || w > 16384 || h > 16384 || png_get_rowbytes(png, info) != w * 3) {
            ok = false;
        } else {
            image.width = w;
            image.height = h;
            image.pixels.assign(static_cast<size_t>(w) * h, 0);
            row.resize(static_cast<size_t>(w) * 3);
            for (png_uint_32 y = 0; y < h; ++y) {
                png_read_row(png, row.data(), nullptr);
                for (png_uint_32 x = 0; x < w; ++x)
                    image.pixels[size_t(y) * w + x] = 0xFF000000u | (uint32_t(row[3 * x]) << 16) |
                                                      (uint32_t(row[3 * x + 1]) << 8) | row[3 * x + 2];
            }
        }
    } else {
        ok = false;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return ok;
}
