// Every image decoder on the same bytes, each on its own (as the texture
// loader would pick it by signature, and as the format without one).
#include <cstdint>

#include "gfxutil/image.h"

namespace {

void Check(bool ok, const DecodedImage& img)
{
    if (ok && (img.texels.size() != static_cast<size_t>(img.width) * img.height || img.width == 0 ||
               img.height == 0 || !ImageSizeAcceptable(img.width, img.height)))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (auto decode : {DecodeBmp, DecodeTga, DecodePng, DecodeJpeg, DecodeImage}) {
        DecodedImage img;
        Check(decode(data, size, &img), img);
    }
    UINT w = 0, h = 0;
    ImageHeaderSize(data, size, &w, &h);
    return 0;
}
