// The shader assembler's text input; what it accepts goes on to the
// runtime's translation, as the engine's shader loading does.
#include <cstdint>
#include <string>

#include "gfxutil/d3dx8.h"
#include "platform/d3d8/shader_gen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LPD3DXBUFFER code = nullptr, errors = nullptr, constants = nullptr;
    const HRESULT hr = D3DXAssembleShader(data, static_cast<UINT>(size), 0, &constants, &code, &errors);
    if (SUCCEEDED(hr) && code) {
        const auto* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        const size_t count = code->GetBufferSize() / sizeof(DWORD);
        std::string text, why;
        if ((tokens[0] & 0xFFFF0000u) == 0xFFFF0000u) {
            TranslatePixelShader(tokens, count, &text, &why);
        } else {
            static const DWORD kDecl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                          D3DVSD_REG(3, D3DVSDT_FLOAT3), D3DVSD_REG(7, D3DVSDT_FLOAT2), D3DVSD_END()};
            VertexDecl decl;
            if (ParseDeclaration(kDecl, sizeof kDecl / sizeof kDecl[0], &decl, &why))
                TranslateVertexShader(tokens, count, decl, true, &text, &why);
        }
    } else if (SUCCEEDED(hr) != (code != nullptr)) {
        __builtin_trap();
    }
    for (LPD3DXBUFFER b : {code, errors, constants})
        if (b)
            b->Release();
    return 0;
}
