// PNG through libpng and JPEG through libjpeg, both from memory. Library
// errors unwind through longjmp inside these functions only; C++ objects
// with destructors are kept out of the jumped-over frames.
#include "gfxutil/image.h"

#include "gfxutil/d3dx8.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <jpeglib.h>
#include <png.h>

namespace {

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t length)
{
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->size - src->pos)
        png_error(png, "truncated");
    std::memcpy(out, src->data + src->pos, length);
    src->pos += length;
}

void PngWarning(png_structp, png_const_charp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Runs the libpng part; `rows` must already be sized by the caller after
// the header pass, so this is split in two calls around the allocation.
bool PngHeader(png_structp png, png_infop info, const PngSource* src, png_uint_32* w, png_uint_32* h,
               int* colorType, bool* hasTrns)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    // Ancillary chunks (text, profiles, unknown ones) are never used here;
    // a chunk that states a huge length, or that decompresses to one, must
    // not make libpng allocate or inflate it.
    static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0";
    png_set_chunk_malloc_max(png, 1u << 20);
    png_set_chunk_cache_max(png, 64);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, 6);
    png_read_info(png, info);
    int depth = 0, interlace = 0;
    png_get_IHDR(png, info, w, h, &depth, colorType, &interlace, nullptr, nullptr);
    // Deflate expands at most about 1032:1; a picture whose raw rows need
    // more than that of the file's bytes is refused before its rows are
    // allocated.
    const uint64_t rawRow = (static_cast<uint64_t>(*w) * depth * png_get_channels(png, info) + 7) / 8 + 1;
    if (rawRow * *h > 1032ull * src->size)
        return false;
    *hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == static_cast<size_t>(*w) * 4;
}

bool PngRows(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    // The end is read too, so that a file cut short fails; the chunks
    // skipped above are passed over there without being allocated.
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void JpegFail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Quiet, but still counting warnings: the default handler that counts them
// would also print them.
void JpegMessage(j_common_ptr info, int level)
{
    if (level < 0)
        ++info->err->num_warnings;
}

bool JpegDecode(jpeg_decompress_struct* cinfo, const uint8_t* data, size_t size, std::vector<uint8_t>* rgb,
                UINT* w, UINT* h, bool* grey)
{
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (setjmp(err->jump))
        return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    *grey = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    cinfo->out_color_space = JCS_RGB;
    if (!ImageSizeAcceptable(cinfo->image_width, cinfo->image_height))
        return false;
    jpeg_start_decompress(cinfo);
    *w = cinfo->output_width;
    *h = cinfo->output_height;
    if (cinfo->output_components != 3 || !ImageSizeAcceptable(*w, *h))
        return false;
    rgb->resize(static_cast<size_t>(*w) * *h * 3);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = rgb->data() + static_cast<size_t>(cinfo->output_scanline) * *w * 3;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(cinfo);
    // Premature end of data and corrupt segments are only warnings to
    // libjpeg; for textures they are failures.
    return cinfo->err->num_warnings == 0;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out)
{
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource src{data, size, 0};
    png_set_read_fn(png, &src, PngRead);
    png_uint_32 w = 0, h = 0;
    int colorType = 0;
    bool trns = false;
    bool ok = PngHeader(png, info, &src, &w, &h, &colorType, &trns) && ImageSizeAcceptable(w, h);
    std::vector<uint8_t> rgba;
    std::vector<png_bytep> rows;
    if (ok) {
        rgba.resize(static_cast<size_t>(w) * h * 4);
        rows.resize(h);
        for (png_uint_32 y = 0; y < h; ++y)
            rows[y] = rgba.data() + static_cast<size_t>(y) * w * 4;
        ok = PngRows(png, info, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok)
        return false;
    out->width = w;
    out->height = h;
    out->texels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < out->texels.size(); ++i) {
        const uint8_t* p = &rgba[i * 4];
        out->texels[i] = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
    switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE: out->sourceFormat = D3DFMT_P8; break;
    case PNG_COLOR_TYPE_GRAY: out->sourceFormat = trns ? D3DFMT_A8L8 : D3DFMT_L8; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: out->sourceFormat = D3DFMT_A8L8; break;
    case PNG_COLOR_TYPE_RGB: out->sourceFormat = trns ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8; break;
    default: out->sourceFormat = D3DFMT_A8R8G8B8; break;
    }
    out->fileFormat = D3DXIFF_PNG;
    return true;
}

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out)
{
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.emit_message = JpegMessage;
    std::vector<uint8_t> rgb;
    UINT w = 0, h = 0;
    bool grey = false;
    const bool ok = JpegDecode(&cinfo, data, size, &rgb, &w, &h, &grey);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        return false;
    out->width = w;
    out->height = h;
    out->texels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < out->texels.size(); ++i)
        out->texels[i] = 0xFF000000u | (uint32_t(rgb[i * 3]) << 16) | (uint32_t(rgb[i * 3 + 1]) << 8) | rgb[i * 3 + 2];
    out->sourceFormat = grey ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    out->fileFormat = D3DXIFF_JPG;
    return true;
}

namespace {

bool JpegHeader(jpeg_decompress_struct* cinfo, const uint8_t* data, size_t size, UINT* w, UINT* h)
{
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (setjmp(err->jump))
        return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    *w = cinfo->image_width;
    *h = cinfo->image_height;
    return true;
}

uint32_t BigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

}  // namespace

const char* ImageKind(const uint8_t* data, size_t size)
{
    if (data && size >= 8 && png_sig_cmp(data, 0, 8) == 0)
        return "PNG";
    if (data && size >= 2 && data[0] == 0xFF && data[1] == 0xD8)
        return "JPEG";
    if (data && size >= 2 && data[0] == 'B' && data[1] == 'M')
        return "BMP";
    return "TGA";
}

bool ImageHeaderSize(const uint8_t* data, size_t size, UINT* width, UINT* height)
{
    if (!data)
        return false;
    const std::string_view kind = ImageKind(data, size);
    if (kind == "PNG") {
        // The IHDR chunk always comes first.
        if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0)
            return false;
        *width = BigEndian32(data + 16);
        *height = BigEndian32(data + 20);
        return true;
    }
    if (kind == "JPEG") {
        jpeg_decompress_struct cinfo;
        JpegError err;
        cinfo.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = JpegFail;
        err.mgr.emit_message = JpegMessage;
        const bool ok = JpegHeader(&cinfo, data, size, width, height);
        jpeg_destroy_decompress(&cinfo);
        return ok;
    }
    if (kind == "BMP") {
        if (size < 26)
            return false;
        const auto w = static_cast<int32_t>(data[18] | (data[19] << 8) | (data[20] << 16) | (uint32_t(data[21]) << 24));
        const auto h = static_cast<int32_t>(data[22] | (data[23] << 8) | (data[24] << 16) | (uint32_t(data[25]) << 24));
        if (w <= 0 || h == 0 || h == INT32_MIN)
            return false;
        *width = static_cast<UINT>(w);
        *height = static_cast<UINT>(h < 0 ? -h : h);
        return true;
    }
    if (size < 18)
        return false;
    *width = static_cast<UINT>(data[12] | (data[13] << 8));
    *height = static_cast<UINT>(data[14] | (data[15] << 8));
    return true;
}

bool DecodeImage(const uint8_t* data, size_t size, DecodedImage* out)
{
    if (!data || size == 0)
        return false;
    if (size >= 8 && png_sig_cmp(data, 0, 8) == 0)
        return DecodePng(data, size, out);
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8)
        return DecodeJpeg(data, size, out);
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return DecodeBmp(data, size, out);
    // TGA has no signature; it is what is left.
    return DecodeTga(data, size, out);
}
