// The colour formats are stored so that a locked level has exactly the
// Direct3D byte layout (D3DCOLOR is B, G, R, A in memory) and sampling gives
// the Direct3D channel values; X formats and L8 use texture swizzles.
#include "platform/d3d8/formats.h"

bool LookupTextureFormat(D3DFORMAT format, FormatInfo* info)
{
    FormatInfo f;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, true, false};
        break;
    case D3DFMT_X8R8G8B8:
        f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, true, true};
        break;
    case D3DFMT_R5G6B5:
        f = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, true, true};
        break;
    case D3DFMT_X1R5G5B5:
        f = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, false, true};
        break;
    case D3DFMT_A1R5G5B5:
        f = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false, false};
        break;
    case D3DFMT_A4R4G4B4:
        f = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false, false};
        break;
    case D3DFMT_L8:
        f = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, {GL_RED, GL_RED, GL_RED, GL_ONE}, false, true};
        break;
    case D3DFMT_A8:
        f = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}, false, false};
        break;
    case D3DFMT_A8L8:
        f = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2, {GL_RED, GL_RED, GL_RED, GL_GREEN}, false, false};
        break;
    default:
        return false;
    }
    if (info)
        *info = f;
    return true;
}

bool IsDepthFormat(D3DFORMAT format)
{
    return DepthInternalFormat(format) != 0;
}

GLenum DepthInternalFormat(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
        return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8:
    case D3DFMT_D32:
        return GL_DEPTH_COMPONENT24;
    case D3DFMT_D24S8:
    case D3DFMT_D15S1:
    case D3DFMT_D24X4S4:
        return GL_DEPTH24_STENCIL8;
    default:
        return 0;
    }
}
