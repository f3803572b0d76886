// Generators of the baker: random numbers and noise, encoders, textures,
// the font and the sounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "bake/font.h"
#include "bake/image_io.h"
#include "bake/noise.h"
#include "bake/sounds.h"
#include "bake/textures.h"
#include "bake/wav.h"

namespace bake {
namespace {

uint32_t U32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
uint32_t U16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }

TEST(BakeNoise, SeededSequencesRepeatAndStayInRange)
{
    Rng a(42), b(42), c(43);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const double x = a.Uniform();
        EXPECT_EQ(x, b.Uniform());
        differs |= x != c.Uniform();
        EXPECT_GE(x, 0.0);
        EXPECT_LT(x, 1.0);
        const int32_t k = a.Int(-3, 3);
        b.Int(-3, 3);
        EXPECT_GE(k, -3);
        EXPECT_LE(k, 3);
    }
    EXPECT_TRUE(differs);
}

TEST(BakeNoise, PeriodicNoiseAndFbmRepeatAtTheirPeriod)
{
    for (float x : {0.1f, 1.7f, 3.3f})
        for (float y : {0.4f, 2.9f}) {
            EXPECT_NEAR(PeriodicNoise(x, y, 4, 4, 7), PeriodicNoise(x + 4, y + 8, 4, 4, 7), 1e-5f);
            EXPECT_NEAR(Fbm(x, y, 4, 4, 0.5f, 9), Fbm(x + 4, y - 4, 4, 4, 0.5f, 9), 1e-5f);
            EXPECT_NEAR(Cellular(x, y, 4, 3), Cellular(x + 4, y, 4, 3), 1e-5f);
        }
    // Not constant: noise that never moves would hide a broken lattice.
    std::set<int> buckets;
    for (int i = 0; i < 64; ++i)
        buckets.insert(int(std::floor(PeriodicNoise(float(i) * 0.37f, 0.5f, 0, 0, 1) * 4)));
    EXPECT_GE(buckets.size(), 3u);
}

TEST(BakeImages, FixedLayoutFormatsHaveTheirHeaders)
{
    Image grey(3, 2, 1);
    grey.At(0, 0)[0] = 10;
    grey.At(2, 1)[0] = 200;
    const Bytes tga = EncodeTga(grey);
    ASSERT_EQ(tga.size(), 18u + 6u);
    EXPECT_EQ(tga[2], 3);     // grey, uncompressed
    EXPECT_EQ(tga[16], 8);    // bits
    EXPECT_EQ(tga[17] & 0x20, 0x20);  // first row is the top
    EXPECT_EQ(tga[18], 10);
    EXPECT_EQ(tga[23], 200);

    Image rgba(2, 1, 4);
    rgba.At(1, 0)[0] = 1, rgba.At(1, 0)[1] = 2, rgba.At(1, 0)[2] = 3, rgba.At(1, 0)[3] = 4;
    const Bytes tga32 = EncodeTga(rgba);
    EXPECT_EQ(tga32[2], 2);
    EXPECT_EQ(tga32[16], 32);
    EXPECT_EQ(tga32[17] & 0x0F, 8);  // alpha bits
    EXPECT_EQ((std::vector<uint8_t>(tga32.begin() + 22, tga32.end())), (std::vector<uint8_t>{3, 2, 1, 4}));

    // 8-bit BMP: bottom-up rows padded to four bytes, palette in BGR0.
    IndexedImage ix;
    ix.width = 5;
    ix.height = 2;
    ix.indices = {1, 1, 1, 1, 1, 0, 0, 0, 0, 2};
    ix.palette = {0, 0, 0, 255, 0, 0, 0, 0, 255};
    const Bytes bmp = EncodeBmp8(ix);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(U16(bmp, 28), 8u);
    EXPECT_EQ(U32(bmp, 46), 3u);
    const uint32_t offset = U32(bmp, 10);
    EXPECT_EQ(offset, 14u + 40u + 12u);
    EXPECT_EQ(bmp.size(), offset + 2 * 8u);
    EXPECT_EQ(bmp[54 + 4], 0);    // palette entry 1 blue
    EXPECT_EQ(bmp[54 + 6], 255);  // palette entry 1 red
    EXPECT_EQ(bmp[offset + 4], 2);      // bottom row first
    EXPECT_EQ(bmp[offset + 8], 1);      // then the top row

    Image rgb(3, 1, 3);
    rgb.Set(2, 0, 1, 0.5f, 0);
    const Bytes bmp24 = EncodeBmp24(rgb);
    EXPECT_EQ(U16(bmp24, 28), 24u);
    EXPECT_EQ(bmp24.size(), 54u + 12u);  // 9 bytes padded to 12
    EXPECT_EQ(bmp24[54 + 6], 0);    // blue
    EXPECT_EQ(bmp24[54 + 8], 255);  // red
}

TEST(BakeImages, PngAndJpegRoundTripAndQuantiseKeepsFewColours)
{
    Image img(16, 8, 3);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x)
            img.Set(x, y, x < 8 ? 1.0f : 0.0f, y < 4 ? 0.5f : 0.0f, 0.25f);
    Image back;
    ASSERT_TRUE(DecodePng(EncodePng(img), back));
    ASSERT_EQ(back.width, 16);
    EXPECT_EQ(back.At(3, 2)[0], 255);
    EXPECT_EQ(back.At(12, 6)[1], 0);
    ASSERT_TRUE(DecodeJpeg(EncodeJpeg(img, 95), back));
    EXPECT_EQ(back.height, 8);
    EXPECT_NEAR(back.At(2, 1)[0], 255, 8);

    const IndexedImage q = Quantize(img);
    EXPECT_LE(q.palette.size(), 256u * 3);
    // Four distinct colours survive exactly.
    for (int32_t y : {1, 6})
        for (int32_t x : {2, 13}) {
            const uint8_t* want = img.At(x, y);
            const uint8_t* got = &q.palette[size_t(q.indices[size_t(y) * 16 + size_t(x)]) * 3];
            EXPECT_EQ(std::vector<uint8_t>(got, got + 3), std::vector<uint8_t>(want, want + 3));
        }
    Image indexedBack;
    ASSERT_TRUE(DecodePng(EncodePngIndexed(q), indexedBack));
    EXPECT_EQ(indexedBack.At(13, 6)[2], img.At(13, 6)[2]);
}

// Largest difference between neighbouring texels across the wrap edge,
// against the largest inside the picture.
void ExpectTiles(const Image& img, const char* name)
{
    double inner = 0, edge = 0;
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
            for (int32_t c = 0; c < std::min(img.channels, 3); ++c) {
                const double right = std::fabs(double(img.At(x, y)[c]) - img.At((x + 1) % img.width, y)[c]);
                const double down = std::fabs(double(img.At(x, y)[c]) - img.At(x, (y + 1) % img.height)[c]);
                if (x + 1 == img.width)
                    edge = std::max(edge, right);
                else
                    inner = std::max(inner, right);
                if (y + 1 == img.height)
                    edge = std::max(edge, down);
                else
                    inner = std::max(inner, down);
            }
    EXPECT_LE(edge, inner) << name << " has a seam at its edges";
    EXPECT_GT(inner, 4) << name << " is flat";
}

TEST(BakeTextures, TileableTexturesHaveNoSeams)
{
    ExpectTiles(MakeRockTexture(), "rock");
    ExpectTiles(MakeStrataTexture(), "strata");
    ExpectTiles(MakeGroundTexture(), "ground");
    ExpectTiles(MakeBumpTexture(), "bump");
    ExpectTiles(MakeSkyTexture(), "sky");
    ExpectTiles(MakeCloudTexture(), "clouds");
}

TEST(BakeTextures, SizesFlareBackgroundsAndNormalMap)
{
    EXPECT_EQ(MakeLoadingBase().width, 256);
    EXPECT_EQ(MakeLoadingLight().height, 64);
    for (const Image& flare : {MakeFlareGlow(), MakeFlareRing(), MakeFlareDisc(), MakeFlareHexagon(), MakeFlareStreaks()}) {
        // Drawn additively: corners must be black, the element itself bright.
        EXPECT_EQ(flare.At(0, 0)[0], 0);
        EXPECT_EQ(flare.At(flare.width - 1, flare.height - 1)[1], 0);
        EXPECT_GT(*std::max_element(flare.pixels.begin(), flare.pixels.end()), 200);
    }
    // Normals point out of the surface: blue well above the middle.
    const Image bump = MakeBumpTexture();
    double blue = 0;
    for (int32_t y = 0; y < bump.height; ++y)
        for (int32_t x = 0; x < bump.width; ++x)
            blue += bump.At(x, y)[2];
    EXPECT_GT(blue / (bump.width * bump.height), 200);
    const Image white = MakeDefaultTexture();
    EXPECT_TRUE(std::all_of(white.pixels.begin(), white.pixels.end(), [](uint8_t v) { return v == 255; }));
    const Image clouds = MakeCloudTexture();
    int clear = 0, cloudy = 0;
    for (int32_t i = 0; i < clouds.width * clouds.height; ++i) {
        const uint8_t a = clouds.pixels[size_t(i) * 4 + 3];
        clear += a < 40;
        cloudy += a > 160;
    }
    EXPECT_GT(clear, 1000);
    EXPECT_GT(cloudy, 1000);
}

TEST(BakeFont, GlyphsSitInsideTheSampledPartOfTheirCells)
{
    IndexedImage font;
    ASSERT_TRUE(MakeFontTexture(DefaultFontFile(), font));
    ASSERT_EQ(font.width, 256);
    ASSERT_EQ(font.palette.size(), 256u * 3);
    auto lit = [&](int code) {
        int n = 0;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
                n += font.indices[size_t((code / 16) * 16 + y) * 256 + size_t((code % 16) * 16 + x)] > 64;
        return n;
    };
    EXPECT_EQ(lit(' '), 0);
    EXPECT_EQ(lit(7), 0);
    for (int code : {'0', '9', '.', 'A', 'g', '~'})
        EXPECT_GT(lit(code), 3) << char(code);
    // The text output samples from 0.01 of the atlas (2.56 texels) inside
    // the cell's corner to its far corner: nothing may be drawn before it.
    for (int code = 32; code < 127; ++code)
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x) {
                const bool inside = x >= 3 && y >= 3;
                if (!inside) {
                    EXPECT_EQ(font.indices[size_t((code / 16) * 16 + y) * 256 + size_t((code % 16) * 16 + x)], 0)
                        << "glyph " << code << " at " << x << "," << y;
                }
            }
    EXPECT_FALSE(MakeFontTexture("/nonexistent/font.ttf", font));
}

TEST(BakeSounds, WavFilesHaveTheCanonicalLayout)
{
    const std::vector<float> s = {0.0f, 1.0f, -1.0f, 0.5f, 2.0f};
    const Bytes wav = EncodeWav8(s, 1);
    ASSERT_EQ(wav.size(), 44u + 5u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    EXPECT_EQ(U32(wav, 4), 36u + 5u);
    EXPECT_EQ(U16(wav, 22), 1u);
    EXPECT_EQ(U32(wav, 24), 11025u);
    EXPECT_EQ(U16(wav, 34), 8u);
    EXPECT_EQ(U32(wav, 40), 5u);
    EXPECT_NEAR(wav[44], 128, 1);
    EXPECT_EQ(wav[45], 255);
    EXPECT_EQ(wav[46], 1);
    EXPECT_EQ(wav[48], 255);  // clipped
    std::vector<float> back;
    uint32_t rate = 0;
    ASSERT_TRUE(DecodeWav8(wav, back, rate));
    EXPECT_EQ(rate, 11025u);
    EXPECT_NEAR(back[3], 0.5f, 0.02f);
    Bytes truncated(wav.begin(), wav.end() - 1);
    EXPECT_FALSE(DecodeWav8(truncated, back, rate));
}

// The jump across a loop's seam is no bigger than ordinary steps inside it.
void ExpectSeamless(const std::vector<float>& s, const char* name)
{
    std::vector<float> steps;
    for (size_t i = 0; i + 1 < s.size(); ++i)
        steps.push_back(std::fabs(s[i + 1] - s[i]));
    std::sort(steps.begin(), steps.end());
    const float p99 = steps[steps.size() * 99 / 100];
    EXPECT_LE(std::fabs(s.front() - s.back()), p99) << name;
}

void ExpectWithinAndAudible(const std::vector<float>& s, const char* name)
{
    float peak = 0;
    double energy = 0;
    for (float v : s) {
        peak = std::max(peak, std::fabs(v));
        energy += double(v) * v;
    }
    // The floors keep each sound well clear of the 8-bit files' own noise
    // (about 0.003 RMS); the mix's balance sets the levels above them.
    EXPECT_LE(peak, 1.0f) << name;
    EXPECT_GE(peak, 0.2f) << name;
    EXPECT_GT(std::sqrt(energy / double(s.size())), 0.03) << name;
}

TEST(BakeSounds, LoopsAreSeamlessAndOneShotsStartAndEndQuietly)
{
    const std::vector<float> wind = MakeWindLoop(), heli = MakeHelicopterLoop();
    ExpectSeamless(wind, "wind");
    ExpectSeamless(heli, "helicopter");
    ExpectWithinAndAudible(wind, "wind");
    ExpectWithinAndAudible(heli, "helicopter");
    EXPECT_GE(wind.size(), size_t(kSampleRate) * 2);
    std::vector<std::vector<float>> shots = {MakeWingFlap(), MakeCry(0), MakeCry(1), MakeCry(2), MakeCall(0), MakeCall(1)};
    for (size_t i = 0; i < shots.size(); ++i) {
        const auto& s = shots[i];
        ExpectWithinAndAudible(s, "one-shot");
        EXPECT_LT(std::fabs(s.front()), 0.02f) << i;
        EXPECT_LT(std::fabs(s.back()), 0.02f) << i;
        EXPECT_LT(s.size(), size_t(kSampleRate) * 2) << i;
    }
    // The three cries are different sounds, not one sound three times.
    EXPECT_NE(shots[1].size(), shots[2].size());
    EXPECT_NE(shots[2].size(), shots[3].size());
}

TEST(BakeSounds, HelicopterLoopHoldsWholeBladePasses)
{
    // The rotor's beat must line up with the loop: the loudness envelope of
    // the loop's first blade pass matches that of its last.
    const std::vector<float> heli = MakeHelicopterLoop();
    const size_t pass = 552;
    ASSERT_EQ(heli.size() % pass, 0u);
    auto energy = [&](size_t from) {
        double e = 0;
        for (size_t i = from; i < from + pass / 4; ++i)
            e += double(heli[i]) * heli[i];
        return e;
    };
    const double firstQuarter = energy(pass * 8), lastQuarter = energy(pass * 8 + pass * 3 / 4);
    EXPECT_GT(firstQuarter, 2 * lastQuarter);  // slap at the start of each pass
}

}  // namespace
}  // namespace bake
