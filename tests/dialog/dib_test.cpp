// BMP decoding and stretching, with damaged files.
#include <gtest/gtest.h>

#include "platform/x11/dib.h"
#include "test_support.h"

namespace {

using namespace testsupport;

TEST(Dib, DecodesBottomUpAndTopDownPalettised)
{
    for (bool topDown : {false, true}) {
        const auto file = MakeBmp8(160, 120, {kRed, kGreen, kBlue, kWhite},
                                   [](int x, int y) { return static_cast<uint8_t>((x >= 80) + 2 * (y >= 60)); }, topDown);
        const auto pic = dib::Decode(file);
        ASSERT_TRUE(pic) << topDown;
        EXPECT_EQ(pic->width, 160);
        EXPECT_EQ(pic->height, 120);
        EXPECT_EQ(pic->At(0, 0), kRed);
        EXPECT_EQ(pic->At(159, 0), kGreen);
        EXPECT_EQ(pic->At(0, 119), kBlue);
        EXPECT_EQ(pic->At(159, 119), kWhite);
    }
}

TEST(Dib, DecodesTrueColourWithRowPadding)
{
    // Width 3: 9 bytes of pixels padded to 12 per row.
    const auto file = MakeBmp24(3, 2, [](int x, int y) { return static_cast<uint32_t>(0x102030 * (x + 1) + y); });
    const auto pic = dib::Decode(file);
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->At(2, 0), 0x102030u * 3);
    EXPECT_EQ(pic->At(1, 1), 0x102030u * 2 + 1);
}

TEST(Dib, PaletteIndexBeyondTheColoursUsedIsBlack)
{
    const auto file = MakeBmp8(4, 1, {kWhite}, [](int x, int) { return static_cast<uint8_t>(x == 3 ? 200 : 0); });
    const auto pic = dib::Decode(file);
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->At(0, 0), kWhite);
    EXPECT_EQ(pic->At(3, 0), 0u);
}

TEST(Dib, RejectsDamagedFiles)
{
    const auto good = QuadrantPicture();
    ASSERT_TRUE(dib::Decode(good));
    EXPECT_FALSE(dib::Decode({}));
    EXPECT_FALSE(dib::Decode(std::span(good).first(good.size() - 1))); // pixels cut short
    EXPECT_FALSE(dib::Decode(std::span(good).first(60)));             // palette cut short

    auto patched = [&](size_t at, uint8_t value) {
        auto f = good;
        f[at] = value;
        return f;
    };
    EXPECT_FALSE(dib::Decode(patched(0, 'X')));  // magic
    EXPECT_FALSE(dib::Decode(patched(30, 1)));   // RLE compression
    EXPECT_FALSE(dib::Decode(patched(28, 7)));   // bit count
    EXPECT_FALSE(dib::Decode(patched(17, 0x7f))); // header larger than the file
    EXPECT_FALSE(dib::Decode(patched(13, 0x7f))); // pixel offset far beyond the end
    auto huge = good;
    huge[21] = 0x7f; // width of about two billion
    EXPECT_FALSE(dib::Decode(huge));
    auto empty = good;
    empty[18] = empty[19] = 0; // width 0
    EXPECT_FALSE(dib::Decode(empty));
}

TEST(Dib, StretchFitsTheWholePictureExactly)
{
    const auto pic = dib::Decode(QuadrantPicture());
    ASSERT_TRUE(pic);
    const dib::Picture small = dib::Stretch(*pic, 152, 112);
    ASSERT_EQ(small.width, 152);
    ASSERT_EQ(small.height, 112);
    EXPECT_EQ(small.At(0, 0), kRed);
    EXPECT_EQ(small.At(151, 0), kGreen);
    EXPECT_EQ(small.At(0, 111), kBlue);
    EXPECT_EQ(small.At(151, 111), kWhite);
    // The quadrant borders scale with the picture.
    EXPECT_EQ(small.At(75, 55), kRed);
    EXPECT_EQ(small.At(76, 56), kWhite);

    const dib::Picture big = dib::Stretch(*pic, 320, 240);
    EXPECT_EQ(big.At(159, 119), kRed);
    EXPECT_EQ(big.At(160, 120), kWhite);
    EXPECT_TRUE(dib::Stretch(*pic, 0, 10).pixels.empty());
    EXPECT_TRUE(dib::Stretch(dib::Picture{}, 10, 10).pixels.empty());
}

} // namespace
