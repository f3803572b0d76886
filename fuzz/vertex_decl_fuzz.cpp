// The vertex declaration reader, given the raw tokens and their number.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d8/shader_gen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<DWORD> tokens(size / sizeof(DWORD));
    if (!tokens.empty())
        std::memcpy(tokens.data(), data, tokens.size() * sizeof(DWORD));
    VertexDecl decl;
    std::string why;
    if (ParseDeclaration(tokens.data(), tokens.size(), &decl, &why)) {
        for (const VertexElement& e : decl.elements)
            if (e.reg >= 16 || e.type > D3DVSDT_SHORT4)
                __builtin_trap();
        for (const auto& c : decl.constants)
            if (c.first >= kMaxVertexConstants)
                __builtin_trap();
    }
    return 0;
}
