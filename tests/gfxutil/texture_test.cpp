// Image decoders (round trips through files built here) and the D3DX
// texture creation on a headless device: mip chain sizes and contents,
// format conversion, and refusal of truncated, corrupt or absurd files.
#include "gfxutil/d3dx8.h"
#include "gfxutil/image.h"
#include "platform/d3d8/d3d8_vantor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <jpeglib.h>
#include <png.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }

// 3x2 test picture, top row first.
const std::vector<uint32_t> kPicture = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF102030, 0xFFFFFFFF, 0xFF000000};

Bytes MakeBmp(int bpp, bool topDown, const std::vector<uint32_t>& px, int w, int h)
{
    std::vector<uint32_t> palette;
    if (bpp == 8)
        for (uint32_t c : px)
            if (std::find(palette.begin(), palette.end(), c) == palette.end())
                palette.push_back(c);
    const int stride = ((w * bpp + 31) / 32) * 4;
    const uint32_t offBits = 14 + 40 + static_cast<uint32_t>(palette.size()) * 4;
    Bytes b = {'B', 'M'};
    Put32(b, offBits + static_cast<uint32_t>(stride * h));
    Put32(b, 0);
    Put32(b, offBits);
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(w));
    Put32(b, static_cast<uint32_t>(topDown ? -h : h));
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(bpp));
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(stride * h));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, static_cast<uint32_t>(palette.size()));
    Put32(b, 0);
    for (uint32_t c : palette)
        Put32(b, c & 0x00FFFFFF);
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        Bytes line;
        for (int x = 0; x < w; ++x) {
            const uint32_t c = px[static_cast<size_t>(y * w + x)];
            if (bpp == 8) {
                line.push_back(static_cast<uint8_t>(std::find(palette.begin(), palette.end(), c) - palette.begin()));
            } else {
                line.push_back(c & 0xFF);
                line.push_back((c >> 8) & 0xFF);
                line.push_back((c >> 16) & 0xFF);
                if (bpp == 32)
                    line.push_back(0x7F);  // unused byte in BI_RGB: not alpha
            }
        }
        line.resize(static_cast<size_t>(stride), 0);
        b.insert(b.end(), line.begin(), line.end());
    }
    return b;
}

Bytes TgaHeader(uint8_t type, int w, int h, uint8_t bpp, bool topDown, uint8_t mapType = 0, uint16_t mapLen = 0,
                uint8_t mapBits = 0)
{
    Bytes b = {0, mapType, type};
    Put16(b, 0);
    Put16(b, mapLen);
    b.push_back(mapBits);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, static_cast<uint32_t>(w));
    Put16(b, static_cast<uint32_t>(h));
    b.push_back(bpp);
    b.push_back(static_cast<uint8_t>((topDown ? 0x20 : 0) | (bpp == 32 ? 8 : 0)));
    return b;
}

Bytes MakePng(int w, int h, int colorType, const Bytes& raw, const std::vector<png_color>& palette = {},
              const Bytes& trns = {})
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!trns.empty())
        png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    png_write_info(png, info);
    const size_t stride = raw.size() / static_cast<size_t>(h);
    for (int y = 0; y < h; ++y)
        png_write_row(png, raw.data() + stride * static_cast<size_t>(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes MakeJpeg(int w, int h, bool grey, uint32_t rgb, bool progressive = false)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes row;
    for (int x = 0; x < w; ++x) {
        if (grey) {
            row.push_back(rgb & 0xFF);
        } else {
            row.push_back((rgb >> 16) & 0xFF);
            row.push_back((rgb >> 8) & 0xFF);
            row.push_back(rgb & 0xFF);
        }
    }
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

size_t Find(const Bytes& bytes, const Bytes& what)
{
    const auto it = std::search(bytes.begin(), bytes.end(), what.begin(), what.end());
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

// The process's peak resident memory; 0 where it is not measured.
long PeakResidentKiB()
{
#ifndef _WIN32
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return 0;
#endif
}

DecodedImage Decode(const Bytes& b)
{
    DecodedImage img;
    EXPECT_TRUE(DecodeImage(b.data(), b.size(), &img));
    return img;
}

TEST(ImageDecode, BmpDepthsAndRowOrders)
{
    for (int bpp : {8, 24, 32})
        for (bool topDown : {false, true}) {
            const DecodedImage img = Decode(MakeBmp(bpp, topDown, kPicture, 3, 2));
            EXPECT_EQ(img.width, 3u);
            EXPECT_EQ(img.height, 2u);
            EXPECT_EQ(img.texels, kPicture) << bpp << " top-down " << topDown;
            EXPECT_EQ(img.sourceFormat, bpp == 8 ? D3DFMT_P8 : bpp == 24 ? D3DFMT_R8G8B8 : D3DFMT_X8R8G8B8);
        }
}

TEST(ImageDecode, TgaUncompressedRleGreyAndColourMapped)
{
    // 24-bit, bottom-left origin.
    Bytes t = TgaHeader(2, 3, 2, 24, false);
    for (int y = 1; y >= 0; --y)
        for (int x = 0; x < 3; ++x) {
            const uint32_t c = kPicture[static_cast<size_t>(y * 3 + x)];
            t.insert(t.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
    EXPECT_EQ(Decode(t).texels, kPicture);

    // 32-bit RLE, top-left origin: a run of 2, a raw packet of 3, a run of 1.
    Bytes r = TgaHeader(10, 3, 2, 32, true);
    r.insert(r.end(), {0x81, 0x10, 0x20, 0x30, 0x40});
    r.insert(r.end(), {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    r.insert(r.end(), {0x80, 0xAA, 0xBB, 0xCC, 0xDD});
    const DecodedImage rle = Decode(r);
    const std::vector<uint32_t> expected = {0x40302010, 0x40302010, 0x04030201, 0x08070605, 0x0C0B0A09, 0xDDCCBBAA};
    EXPECT_EQ(rle.texels, expected);
    EXPECT_EQ(rle.sourceFormat, D3DFMT_A8R8G8B8);

    // 8-bit grey RLE and 8-bit colour-mapped.
    Bytes g = TgaHeader(11, 4, 1, 8, true);
    g.insert(g.end(), {0x83, 0x7F});
    const DecodedImage grey = Decode(g);
    EXPECT_EQ(grey.texels, std::vector<uint32_t>(4, 0xFF7F7F7F));
    EXPECT_EQ(grey.sourceFormat, D3DFMT_L8);
    Bytes m = TgaHeader(1, 2, 1, 8, true, 1, 2, 24);
    m.insert(m.end(), {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 1, 0});
    EXPECT_EQ(Decode(m).texels, (std::vector<uint32_t>{0xFF0000FF, 0xFFFF0000}));
}

TEST(ImageDecode, PngRgbaGreyAndPalettisedWithTransparency)
{
    Bytes rgba;
    for (uint32_t c : kPicture)
        rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0x80});
    DecodedImage img = Decode(MakePng(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, rgba));
    for (size_t i = 0; i < kPicture.size(); ++i)
        EXPECT_EQ(img.texels[i], (kPicture[i] & 0x00FFFFFF) | 0x80000000u);
    EXPECT_EQ(img.sourceFormat, D3DFMT_A8R8G8B8);

    img = Decode(MakePng(2, 1, PNG_COLOR_TYPE_GRAY, {0x00, 0xC8}));
    EXPECT_EQ(img.texels, (std::vector<uint32_t>{0xFF000000, 0xFFC8C8C8}));
    EXPECT_EQ(img.sourceFormat, D3DFMT_L8);

    const std::vector<png_color> pal = {{255, 0, 0}, {0, 0, 255}, {1, 2, 3}};
    img = Decode(MakePng(3, 1, PNG_COLOR_TYPE_PALETTE, {2, 0, 1}, pal, {0xFF, 0x40}));
    EXPECT_EQ(img.texels, (std::vector<uint32_t>{0xFF010203, 0xFFFF0000, 0x400000FF}));
    EXPECT_EQ(img.sourceFormat, D3DFMT_P8);
}

TEST(ImageDecode, JpegColourAndGrey)
{
    DecodedImage img = Decode(MakeJpeg(16, 8, false, 0x4080C0));
    ASSERT_EQ(img.width, 16u);
    for (uint32_t t : img.texels) {
        EXPECT_NEAR(static_cast<int>((t >> 16) & 0xFF), 0x40, 3);
        EXPECT_NEAR(static_cast<int>((t >> 8) & 0xFF), 0x80, 3);
        EXPECT_NEAR(static_cast<int>(t & 0xFF), 0xC0, 3);
        EXPECT_EQ(t >> 24, 0xFFu);
    }
    img = Decode(MakeJpeg(8, 8, true, 0x64));
    EXPECT_EQ(img.sourceFormat, D3DFMT_L8);
    EXPECT_NEAR(static_cast<int>(img.texels[0] & 0xFF), 0x64, 2);
}

TEST(ImageDecode, TruncatedCorruptAndAbsurdFilesFail)
{
    Bytes rgba(3 * 2 * 4, 0x55);
    const std::vector<Bytes> files = {MakeBmp(8, false, kPicture, 3, 2), MakeBmp(24, true, kPicture, 3, 2),
                                      MakePng(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, rgba), MakeJpeg(16, 16, false, 0x123456)};
    for (const Bytes& f : files)
        for (size_t n = 0; n < f.size(); ++n) {
            DecodedImage img;
            EXPECT_FALSE(DecodeImage(f.data(), n, &img)) << "prefix " << n << " of " << f.size();
        }
    // TGA: every prefix of an RLE file either fails or, if it still holds
    // the whole image, succeeds; never reads outside.
    Bytes r = TgaHeader(10, 4, 1, 24, true);
    r.insert(r.end(), {0x83, 1, 2, 3});
    for (size_t n = 0; n < r.size(); ++n) {
        DecodedImage img;
        EXPECT_FALSE(DecodeImage(r.data(), n, &img));
    }
    // A run longer than the image.
    Bytes over = TgaHeader(10, 2, 1, 24, true);
    over.insert(over.end(), {0x85, 1, 2, 3});
    DecodedImage img;
    EXPECT_FALSE(DecodeImage(over.data(), over.size(), &img));
    // Palette index outside the palette.
    Bytes badIndex = TgaHeader(1, 1, 1, 8, true, 1, 1, 24);
    badIndex.insert(badIndex.end(), {1, 2, 3, 5});
    EXPECT_FALSE(DecodeImage(badIndex.data(), badIndex.size(), &img));
    // Corrupted PNG data (CRC mismatch).
    Bytes png = files[2];
    png[png.size() / 2] ^= 0xFF;
    EXPECT_FALSE(DecodeImage(png.data(), png.size(), &img));
    // Absurd dimensions are refused before allocating.
    Bytes huge = MakeBmp(24, false, kPicture, 3, 2);
    huge[18] = 0xFF;
    huge[19] = 0xFF;
    huge[20] = 0xFF;
    huge[21] = 0x00;
    EXPECT_FALSE(DecodeImage(huge.data(), huge.size(), &img));
    // Starting a progressive JPEG sets aside 128 bytes for every 8 x 8 block
    // of every component: 1.2 GB for this 20000 x 20000 header of a 16 x 16
    // picture, unless the size is refused before the decoder starts.
    // (A higher peak reached earlier in the process could hide growth but
    // never make some up; under ctest each test has a process of its own.)
    Bytes jpeg = MakeJpeg(16, 16, false, 0x123456, true);
    const size_t sof = Find(jpeg, {0xFF, 0xC2});
    ASSERT_NE(sof, std::string::npos);
    for (size_t at : {sof + 5, sof + 7}) {
        jpeg[at] = 20000 >> 8;
        jpeg[at + 1] = 20000 & 0xFF;
    }
    const long peakBefore = PeakResidentKiB();
    EXPECT_FALSE(DecodeImage(jpeg.data(), jpeg.size(), &img));
    EXPECT_LT(PeakResidentKiB() - peakBefore, 256 * 1024);
    Bytes tgaHuge = TgaHeader(2, 65535, 65535, 24, true);
    tgaHuge.resize(tgaHuge.size() + 64, 0);
    EXPECT_FALSE(DecodeImage(tgaHuge.data(), tgaHuge.size(), &img));
    // Unsupported variants: 16-bit BMP, RLE8 BMP.
    Bytes bmp16 = MakeBmp(24, false, kPicture, 3, 2);
    bmp16[28] = 16;
    EXPECT_FALSE(DecodeImage(bmp16.data(), bmp16.size(), &img));
    Bytes rle8 = MakeBmp(8, false, kPicture, 3, 2);
    rle8[30] = 1;
    EXPECT_FALSE(DecodeImage(rle8.data(), rle8.size(), &img));
    EXPECT_FALSE(DecodeImage(nullptr, 0, &img));
}

TEST(ImageDecode, TriangleFilterHalvesWithOneThreeThreeOneWeights)
{
    // A single row: 4 -> 2 texels, wrapping at the edges.
    const std::vector<uint32_t> row = {0x00000008, 0x00000010, 0x00000040, 0x00000080};
    const std::vector<uint32_t> half = ResampleTriangle(row, 4, 1, 2, 1);
    // x0: (1*0x80 + 3*0x08 + 3*0x10 + 1*0x40) / 8 = 0x21; x1: (1*0x10 + 3*0x40 + 3*0x80 + 1*0x08) / 8 = 0x4B
    EXPECT_EQ(half[0], 0x21u);
    EXPECT_EQ(half[1], 0x4Bu);
}

class TextureLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d) {
            GTEST_SKIP() << "no EGL/OpenGL 3.3 context can be created here";
        }
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        HWND focus = nullptr;
#ifdef _WIN32
        // The system's runtime needs a window even for a device that never
        // presents; ours runs headless.
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        focus = window;
#endif
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, focus, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev),
                  D3D_OK);
    }
    void TearDown() override
    {
        if (dev)
            dev->Release();
        if (d3d)
            d3d->Release();
#ifdef _WIN32
        if (window)
            DestroyWindow(window);
#endif
    }
#ifdef _WIN32
    HWND window = nullptr;
#endif
    IDirect3DTexture8* Load(const Bytes& b, UINT mips, D3DFORMAT fmt, HRESULT expect = D3D_OK)
    {
        IDirect3DTexture8* t = nullptr;
        D3DXIMAGE_INFO info{};
        EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(dev, b.data(), static_cast<UINT>(b.size()), D3DX_DEFAULT,
                                                      D3DX_DEFAULT, mips, 0, fmt, D3DPOOL_MANAGED,
                                                      D3DX_FILTER_TRIANGLE, D3DX_DEFAULT, 0, &info, nullptr, &t),
                  expect);
        return t;
    }
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* dev = nullptr;
};

TEST_F(TextureLoad, FullMipChainWithTriangleFilteredLevels)
{
    const std::vector<uint32_t> px = {0xFF000008, 0xFF000010, 0xFF000040, 0xFF000080,
                                      0xFF000008, 0xFF000010, 0xFF000040, 0xFF000080};
    IDirect3DTexture8* t = Load(MakeBmp(32, false, px, 4, 2), 0, D3DFMT_UNKNOWN);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->GetLevelCount(), 3u);  // 4x2, 2x1, 1x1
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    t->GetLevelDesc(1, &d);
    EXPECT_EQ(d.Width, 2u);
    EXPECT_EQ(d.Height, 1u);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(1, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const uint32_t* l1 = static_cast<const uint32_t*>(lr.pBits);
    EXPECT_EQ(l1[0], 0xFF000021u);
    EXPECT_EQ(l1[1], 0xFF00004Bu);
    t->UnlockRect(1);
    ASSERT_EQ(t->LockRect(2, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<const uint32_t*>(lr.pBits), 0xFF000036u);  // (0x21 + 0x4B) / 2
    t->UnlockRect(2);
    t->Release();
}

TEST_F(TextureLoad, ShadowMapsBecomeOneLevelOfLuminance)
{
    IDirect3DTexture8* t = Load(MakePng(2, 2, PNG_COLOR_TYPE_GRAY, {0x10, 0x20, 0x30, 0xF0}), 1, D3DFMT_L8);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetLevelCount(), 1u);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_L8);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const uint8_t* p = static_cast<const uint8_t*>(lr.pBits);
    EXPECT_EQ(p[0], 0x10);
    EXPECT_EQ(p[1], 0x20);
    EXPECT_EQ(p[lr.Pitch], 0x30);
    EXPECT_EQ(p[lr.Pitch + 1], 0xF0);
    t->UnlockRect(0);
    t->Release();
    // A palettised PNG with transparency keeps its alpha as A8R8G8B8.
    const std::vector<png_color> pal = {{255, 0, 0}, {0, 0, 255}};
    t = Load(MakePng(2, 1, PNG_COLOR_TYPE_PALETTE, {0, 1}, pal, {0xFF, 0x40}), 0, D3DFMT_UNKNOWN);
    ASSERT_NE(t, nullptr);
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<const uint32_t*>(lr.pBits)[1], 0x400000FFu);
    t->UnlockRect(0);
    t->Release();
    // R5G6B5 on request.
    t = Load(MakeBmp(24, false, kPicture, 3, 2), 1, D3DFMT_R5G6B5);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<const uint16_t*>(lr.pBits)[0], 0xF800);
    EXPECT_EQ(static_cast<const uint16_t*>(lr.pBits)[1], 0x07E0);
    t->UnlockRect(0);
    t->Release();
}

TEST_F(TextureLoad, BadFilesAndArgumentsFailWithoutATexture)
{
    const Bytes garbage = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    EXPECT_EQ(Load(garbage, 0, D3DFMT_UNKNOWN, D3DXERR_INVALIDDATA), nullptr);
    Bytes jpeg = MakeJpeg(16, 16, false, 0x808080);
    jpeg.resize(jpeg.size() / 2);
    EXPECT_EQ(Load(jpeg, 0, D3DFMT_UNKNOWN, D3DXERR_INVALIDDATA), nullptr);
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(dev, nullptr, 0, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                                                  D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                  &t),
              D3DERR_INVALIDCALL);
    // A format the device does not offer (ours has no compressed formats;
    // the system's may have them).
    if (FAILED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1))) {
        EXPECT_EQ(D3DXCreateTexture(dev, 16, 16, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
        EXPECT_EQ(t, nullptr);
    }
    ASSERT_EQ(D3DXCreateTexture(dev, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 256u);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);  // nearest format the device offers
    EXPECT_EQ(t->GetLevelCount(), 9u);
    t->Release();
}

TEST_F(TextureLoad, PicturesLargerThanTheDeviceAllowsAreRefusedBeforeDecoding)
{
    // An 8192 x 8192 grey run-length TGA: 1 MB that decodes to 256 MB.
    Bytes tga = {0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(tga, 8192);
    Put16(tga, 8192);
    tga.push_back(8);
    tga.push_back(0x20);
    for (uint32_t i = 0; i < 8192u * 8192u / 128u; ++i) {
        tga.push_back(0xFF);  // a run of 128
        tga.push_back(0x80);
    }
    D3DCAPS8 caps;
    ASSERT_EQ(dev->GetDeviceCaps(&caps), D3D_OK);
    if (caps.MaxTextureWidth >= 8192u)
        GTEST_SKIP() << "this device takes 8192 x 8192 textures";
    EXPECT_EQ(Load(tga, 0, D3DFMT_UNKNOWN, D3DXERR_INVALIDDATA), nullptr);
    EXPECT_NE(VantorTextureError().find("8192 x 8192"), std::string::npos) << VantorTextureError();
    const Bytes png = MakePng(2, 2, PNG_COLOR_TYPE_GRAY, {1, 2, 3, 4});
    Bytes notPng = png;
    notPng.resize(40);
    EXPECT_EQ(Load(notPng, 0, D3DFMT_UNKNOWN, D3DXERR_INVALIDDATA), nullptr);
    EXPECT_EQ(VantorTextureError().rfind("not a PNG image", 0), 0u) << VantorTextureError();
    IDirect3DTexture8* t = Load(png, 0, D3DFMT_UNKNOWN);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(VantorTextureError(), "");
    t->Release();
}

}  // namespace

#include "fake_d3d.h"

namespace {

// A device that promises textures far larger than memory: the loader's
// resampling to the level size it reports cannot be allocated.
class HugeTextureDevice : public fake::Device {
public:
    class HugeTexture : public fake::Texture {
    public:
        HRESULT GetLevelDesc(UINT, D3DSURFACE_DESC* d) override
        {
            *d = {};
            d->Format = D3DFMT_A8R8G8B8;
            d->Width = d->Height = 1u << 18;
            return D3D_OK;
        }
    };
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override
    {
        *caps = {};
        caps->MaxTextureWidth = caps->MaxTextureHeight = 1u << 18;
        return D3D_OK;
    }
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8** out) override
    {
        *out = &texture;
        return D3D_OK;
    }
    HugeTexture texture;
};

TEST(TextureMemory, ExhaustionIsAnErrorCodeAndReleasesTheTexture)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reports a failed allocation instead of throwing";
#else
    HugeTextureDevice device;
    const Bytes bmp = MakeBmp(24, false, kPicture, 3, 2);
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, bmp.data(), static_cast<UINT>(bmp.size()), D3DX_DEFAULT,
                                                  D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                  D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &t),
              E_OUTOFMEMORY);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(device.texture.refs, 0u);
#endif
}

}  // namespace
