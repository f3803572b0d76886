// Image encoders over libjpeg and libpng, and the small fixed-layout formats
// (TGA, BMP) written directly.
#include "bake/image_io.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <jpeglib.h>
#include <png.h>

namespace bake {

void Image::Set(int32_t x, int32_t y, float r, float g, float b)
{
    uint8_t* p = At(x, y);
    const float v[3] = {r, g, b};
    for (int32_t c = 0; c < std::min(channels, 3); ++c)
        p[c] = uint8_t(std::lround(std::clamp(v[c], 0.0f, 1.0f) * 255.0f));
}

// ------------------------------------------------------------------ JPEG
namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

}  // namespace

Bytes EncodeJpeg(const Image& image, int quality)
{
    const Image rgb = image.channels == 3 ? image : ToRgb(image);
    jpeg_compress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Bytes out;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(rgb.width);
    cinfo.image_height = JDIMENSION(rgb.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.At(0, int32_t(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

bool DecodeJpeg(const Bytes& bytes, Image& out)
{
    jpeg_decompress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out = Image(int32_t(cinfo.output_width), int32_t(cinfo.output_height), 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.At(0, int32_t(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// ------------------------------------------------------------------ PNG
namespace {

void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

Bytes WritePngRows(int32_t width, int32_t height, int colorType, const uint8_t* rows, size_t stride,
                   const std::vector<uint8_t>* palette)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> entries;
    if (palette) {
        for (size_t i = 0; i + 2 < palette->size(); i += 3)
            entries.push_back({(*palette)[i], (*palette)[i + 1], (*palette)[i + 2]});
        png_set_PLTE(png, info, entries.data(), int(entries.size()));
    }
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rows + size_t(y) * stride));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct PngSource {
    const Bytes* bytes;
    size_t pos;
};

void PngRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (src->pos + length > src->bytes->size())
        png_error(png, "truncated");
    std::memcpy(data, src->bytes->data() + src->pos, length);
    src->pos += length;
}

}  // namespace

Bytes EncodePng(const Image& image)
{
    const int type = image.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA
                     : image.channels == 1 ? PNG_COLOR_TYPE_GRAY
                                           : PNG_COLOR_TYPE_RGB;
    return WritePngRows(image.width, image.height, type, image.pixels.data(), size_t(image.width) * image.channels,
                        nullptr);
}

Bytes EncodePngIndexed(const IndexedImage& image)
{
    return WritePngRows(image.width, image.height, PNG_COLOR_TYPE_PALETTE, image.indices.data(), size_t(image.width),
                        &image.palette);
}

bool DecodePng(const Bytes& bytes, Image& out)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    PngSource src{&bytes, 0};
    png_set_read_fn(png, &src, PngRead);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const int32_t w = int32_t(png_get_image_width(png, info)), h = int32_t(png_get_image_height(png, info));
    out = Image(w, h, 4);
    for (int32_t y = 0; y < h; ++y)
        png_read_row(png, out.At(0, y), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// ------------------------------------------------------------------ TGA, BMP
namespace {

void Put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

}  // namespace

Bytes EncodeTga(const Image& image)
{
    Bytes b;
    const bool grey = image.channels == 1;
    b.push_back(0);                // no id
    b.push_back(0);                // no colour map
    b.push_back(grey ? 3 : 2);     // uncompressed grey / true colour
    for (int i = 0; i < 5; ++i)
        b.push_back(0);            // colour map description
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, uint32_t(image.width));
    Put16(b, uint32_t(image.height));
    b.push_back(grey ? 8 : 32);
    b.push_back(grey ? 0x20 : 0x28);  // top-left origin; 8 alpha bits for 32-bit
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            if (grey) {
                b.push_back(p[0]);
            } else {
                b.push_back(p[2]);
                b.push_back(p[1]);
                b.push_back(p[0]);
                b.push_back(image.channels == 4 ? p[3] : 255);
            }
        }
    }
    return b;
}

namespace {

Bytes BmpHeader(int32_t width, int32_t height, uint16_t bits, uint32_t paletteEntries, uint32_t imageBytes)
{
    Bytes b;
    const uint32_t offset = 14 + 40 + paletteEntries * 4;
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + imageBytes);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));  // positive: rows stored bottom-up
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, 0);  // BI_RGB
    Put32(b, imageBytes);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, paletteEntries);
    Put32(b, 0);
    return b;
}

}  // namespace

Bytes EncodeBmp24(const Image& image)
{
    const uint32_t stride = (uint32_t(image.width) * 3 + 3) & ~3u;
    Bytes b = BmpHeader(image.width, image.height, 24, 0, stride * uint32_t(image.height));
    for (int32_t y = image.height - 1; y >= 0; --y) {
        size_t start = b.size();
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            const uint8_t r = p[0], g = image.channels >= 3 ? p[1] : p[0], bl = image.channels >= 3 ? p[2] : p[0];
            b.push_back(bl);
            b.push_back(g);
            b.push_back(r);
        }
        while (b.size() - start < stride)
            b.push_back(0);
    }
    return b;
}

Bytes EncodeBmp8(const IndexedImage& image)
{
    const uint32_t entries = uint32_t(image.palette.size() / 3);
    const uint32_t stride = (uint32_t(image.width) + 3) & ~3u;
    Bytes b = BmpHeader(image.width, image.height, 8, entries, stride * uint32_t(image.height));
    for (uint32_t i = 0; i < entries; ++i) {
        b.push_back(image.palette[i * 3 + 2]);
        b.push_back(image.palette[i * 3 + 1]);
        b.push_back(image.palette[i * 3]);
        b.push_back(0);
    }
    for (int32_t y = image.height - 1; y >= 0; --y) {
        size_t start = b.size();
        b.insert(b.end(), image.indices.begin() + std::ptrdiff_t(y) * image.width,
                 image.indices.begin() + std::ptrdiff_t(y + 1) * image.width);
        while (b.size() - start < stride)
            b.push_back(0);
    }
    return b;
}

// ------------------------------------------------------------------ icon
Bytes EncodeIco(const Image& rgba, const std::vector<int32_t>& sizes, const Bytes& png)
{
    std::vector<Bytes> images;
    std::vector<int32_t> dims;
    for (int32_t size : sizes) {
        const Image small = Shrink(rgba, size, size);
        // A 32-bit DIB of twice the height: the colour rows, then the 1-bit
        // mask rows that older systems draw with (set where transparent).
        const uint32_t maskStride = ((uint32_t(size) + 31) / 32) * 4;
        const uint32_t colourBytes = uint32_t(size) * uint32_t(size) * 4;
        Bytes b;
        Put32(b, 40);
        Put32(b, uint32_t(size));
        Put32(b, uint32_t(size) * 2);
        Put16(b, 1);
        Put16(b, 32);
        Put32(b, 0);
        Put32(b, colourBytes + maskStride * uint32_t(size));
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        for (int32_t y = size - 1; y >= 0; --y)
            for (int32_t x = 0; x < size; ++x) {
                const uint8_t* p = small.At(x, y);
                b.push_back(p[2]);
                b.push_back(p[1]);
                b.push_back(p[0]);
                b.push_back(small.channels == 4 ? p[3] : 255);
            }
        for (int32_t y = size - 1; y >= 0; --y) {
            Bytes row(maskStride, 0);
            for (int32_t x = 0; x < size; ++x)
                if (small.channels == 4 && small.At(x, y)[3] == 0)
                    row[size_t(x) / 8] |= uint8_t(0x80u >> (x % 8));
            b.insert(b.end(), row.begin(), row.end());
        }
        images.push_back(std::move(b));
        dims.push_back(size);
    }
    images.push_back(png);
    dims.push_back(rgba.width);

    Bytes out;
    Put16(out, 0);
    Put16(out, 1); // icon, not cursor
    Put16(out, uint16_t(images.size()));
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const uint8_t dim = dims[i] >= 256 ? 0 : uint8_t(dims[i]); // 0 means 256
        out.push_back(dim);
        out.push_back(dim);
        out.push_back(0); // no palette
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, uint32_t(images[i].size()));
        Put32(out, offset);
        offset += uint32_t(images[i].size());
    }
    for (const Bytes& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

// ------------------------------------------------------------------ palette
IndexedImage Quantize(const Image& src)
{
    const Image rgb = src.channels == 3 ? src : ToRgb(src);
    struct Box {
        std::vector<uint32_t> members;  // pixel colours packed 0xRRGGBB
    };
    std::vector<uint32_t> colours(size_t(rgb.width) * rgb.height);
    for (size_t i = 0; i < colours.size(); ++i) {
        const uint8_t* p = &rgb.pixels[i * 3];
        colours[i] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    std::vector<Box> boxes(1);
    boxes[0].members = colours;
    auto channel = [](uint32_t c, int ch) { return int((c >> (16 - 8 * ch)) & 0xFF); };
    while (boxes.size() < 256) {
        // Split the box with the widest channel range.
        int bestBox = -1, bestCh = 0, bestRange = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].members.size() < 2)
                continue;
            for (int ch = 0; ch < 3; ++ch) {
                int lo = 255, hi = 0;
                for (uint32_t c : boxes[i].members) {
                    lo = std::min(lo, channel(c, ch));
                    hi = std::max(hi, channel(c, ch));
                }
                if (hi - lo > bestRange) {
                    bestRange = hi - lo;
                    bestBox = int(i);
                    bestCh = ch;
                }
            }
        }
        if (bestBox < 0)
            break;
        auto& m = boxes[size_t(bestBox)].members;
        std::sort(m.begin(), m.end(), [&](uint32_t a, uint32_t b) {
            return channel(a, bestCh) != channel(b, bestCh) ? channel(a, bestCh) < channel(b, bestCh) : a < b;
        });
        Box upper;
        upper.members.assign(m.begin() + std::ptrdiff_t(m.size() / 2), m.end());
        m.resize(m.size() / 2);
        boxes.push_back(std::move(upper));
    }
    IndexedImage out;
    out.width = rgb.width;
    out.height = rgb.height;
    for (const Box& box : boxes) {
        uint64_t sum[3] = {0, 0, 0};
        for (uint32_t c : box.members)
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += uint64_t(channel(c, ch));
        for (int ch = 0; ch < 3; ++ch)
            out.palette.push_back(box.members.empty() ? 0 : uint8_t(sum[ch] / box.members.size()));
    }
    out.indices.resize(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        int best = 0, bestD = 1 << 30;
        for (size_t e = 0; e < out.palette.size() / 3; ++e) {
            int d = 0;
            for (int ch = 0; ch < 3; ++ch) {
                const int diff = channel(colours[i], ch) - out.palette[e * 3 + size_t(ch)];
                d += diff * diff;
            }
            if (d < bestD) {
                bestD = d;
                best = int(e);
            }
        }
        out.indices[i] = uint8_t(best);
    }
    return out;
}

// ------------------------------------------------------------------ files
bool WriteFile(const std::string& path, const Bytes& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

bool ReadFile(const std::string& path, Bytes& bytes)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

Image Downsample(const Image& image, int32_t factor)
{
    Image out(image.width / factor, image.height / factor, image.channels);
    for (int32_t y = 0; y < out.height; ++y)
        for (int32_t x = 0; x < out.width; ++x)
            for (int32_t c = 0; c < image.channels; ++c) {
                uint32_t sum = 0;
                for (int32_t j = 0; j < factor; ++j)
                    for (int32_t i = 0; i < factor; ++i)
                        sum += image.At(x * factor + i, y * factor + j)[c];
                out.At(x, y)[c] = uint8_t(sum / uint32_t(factor * factor));
            }
    return out;
}

Image Shrink(const Image& image, int32_t width, int32_t height)
{
    // For each output column (row), the source columns it covers and how much
    // of each.
    struct Tap {
        int32_t source;
        double weight;
    };
    auto taps = [](int32_t from, int32_t to) {
        std::vector<std::vector<Tap>> out(static_cast<size_t>(to));
        const double scale = double(from) / double(to);
        for (int32_t i = 0; i < to; ++i) {
            const double lo = i * scale, hi = (i + 1) * scale;
            for (int32_t s = int32_t(lo); s < from && s < hi; ++s) {
                const double w = std::min(hi, double(s + 1)) - std::max(lo, double(s));
                if (w > 0)
                    out[size_t(i)].push_back({s, w});
            }
        }
        return out;
    };
    const auto xs = taps(image.width, width), ys = taps(image.height, height);
    const bool alpha = image.channels == 4;
    Image out(width, height, image.channels);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            double sum[4] = {0, 0, 0, 0}, area = 0;
            for (const Tap& ty : ys[size_t(y)])
                for (const Tap& tx : xs[size_t(x)]) {
                    const uint8_t* p = image.At(tx.source, ty.source);
                    const double w = tx.weight * ty.weight;
                    const double a = alpha ? p[3] / 255.0 : 1.0;
                    for (int32_t c = 0; c < image.channels; ++c)
                        sum[c] += w * (alpha && c < 3 ? p[c] * a : p[c]);
                    area += w;
                }
            uint8_t* o = out.At(x, y);
            const double coverage = alpha ? sum[3] / 255.0 : area;
            for (int32_t c = 0; c < image.channels; ++c) {
                const double v = alpha && c < 3 ? (coverage > 0 ? sum[c] / coverage : 0) : sum[c] / area;
                o[c] = uint8_t(std::clamp(std::lround(v), 0l, 255l));
            }
        }
    return out;
}

Image ToRgb(const Image& image)
{
    Image out(image.width, image.height, 3);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            uint8_t* q = out.At(x, y);
            for (int c = 0; c < 3; ++c)
                q[c] = image.channels >= 3 ? p[c] : p[0];
        }
    return out;
}

}  // namespace bake
