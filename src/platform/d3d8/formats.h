// Direct3D formats and their OpenGL storage.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/gl.h"

struct FormatInfo {
    GLenum internalFormat = 0;
    GLenum format = 0;  // client format of the locked bytes
    GLenum type = 0;
    UINT bytesPerPixel = 0;
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    bool renderable = false;
    bool opaque = false;  // alpha reads as 1 whatever is stored
};

// False for formats this runtime cannot store as textures.
bool LookupTextureFormat(D3DFORMAT format, FormatInfo* info);
bool IsDepthFormat(D3DFORMAT format);
GLenum DepthInternalFormat(D3DFORMAT format);
