// The runtime's translation of vertex- and pixel-shader token streams, given
// the raw tokens and their number.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d8/shader_gen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that a read past the last token is caught.
    std::vector<DWORD> tokens(size / sizeof(DWORD));
    if (!tokens.empty())
        std::memcpy(tokens.data(), data, tokens.size() * sizeof(DWORD));
    std::string text, why;
    const bool ps = TranslatePixelShader(tokens.data(), tokens.size(), &text, &why);
    if (ps) {
        FinishFragment(text, true, D3DCMP_GREATER);
        TexCoordUsageOf(text);
    }
    static const DWORD kDecl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(3, D3DVSDT_FLOAT3),
                                  D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_REG(7, D3DVSDT_FLOAT2), D3DVSD_END()};
    VertexDecl decl;
    if (ParseDeclaration(kDecl, sizeof kDecl / sizeof kDecl[0], &decl, &why) &&
        TranslateVertexShader(tokens.data(), tokens.size(), decl, false, &text, &why)) {
        TexCoordUsage all;
        for (int i = 0; i < 8; ++i)
            all.components[i] = 4;
        SpecialiseVertexShader(text, all);
    }
    return 0;
}
