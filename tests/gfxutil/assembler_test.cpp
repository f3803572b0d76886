// The shader assembler's token streams against encodings derived by hand
// from the published Direct3D 8 token format, and its rejection of bad text.
#include "gfxutil/d3dx8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Result {
    HRESULT hr;
    std::vector<DWORD> tokens;
    std::string errors;
};

Result Assemble(const std::string& text)
{
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    Result r;
    r.hr = D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), 0, nullptr, &code, &errors);
    if (code) {
        const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
        r.tokens.assign(p, p + code->GetBufferSize() / 4);
        code->Release();
    }
    if (errors) {
        r.errors = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    return r;
}

TEST(Assembler, VertexShaderEncodings)
{
    const Result r = Assemble(
        "vs.1.1 ; basic\n"
        "dp4 oPos.x, v0, c4\n"
        "mov oD0, v2\n"
        "mov oT1.xy, v4\n"
        "// relative addressing and a swizzle with negation\n"
        "mov a0.x, v0.x\n"
        "add r0, -r1.yzwx, c[a0.x + 5]\n"
        "mov oFog.x, c[ 7 ].z\n"
        "m4x4 r11, v15, c[a0.x]\n");
    ASSERT_EQ(r.hr, D3D_OK) << r.errors;
    const std::vector<DWORD> expected = {
        0xFFFE0101,
        0x00000009, 0xC0010000, 0x90E40000, 0xA0E40004,
        0x00000001, 0xD00F0000, 0x90E40002,
        0x00000001, 0xE0030001, 0x90E40004,
        0x00000001, 0xB0010000, 0x90000000,
        0x00000002, 0x800F0000, 0x81390001, 0xA0E42005,
        0x00000001, 0xC0010001, 0xA0AA0007,
        0x00000014, 0x800F000B, 0x90E4000F, 0xA0E42000,
        0x0000FFFF};
    EXPECT_EQ(r.tokens, expected);
}

TEST(Assembler, PixelShaderEncodingsWithModifiersAndCoIssue)
{
    const Result r = Assemble(
        "ps.1.1\n"
        "def c0, 1.0, 0.5, 0, -2\n"
        "tex t0\n"
        "texcoord t1\n"
        "mul_x2 r0.rgb, t0, v0_bx2\n"
        "+ mov_sat r0.a, 1-t0.a\n"
        "mad_d2 r1, -t1_bias, c1, r0\n"
        "dp3_x4 r0, -t0_bx2, r1\n"
        "cnd r0, r0.a, t0, t1\n");
    ASSERT_EQ(r.hr, D3D_OK) << r.errors;
    const std::vector<DWORD> expected = {
        0xFFFF0101,
        0x00000051, 0xA00F0000, 0x3F800000, 0x3F000000, 0x00000000, 0xC0000000,
        0x00000042, 0xB00F0000,
        0x00000040, 0xB00F0001,
        0x00000005, 0x81070000, 0xB0E40000, 0x94E40000,
        0x40000001, 0x80180000, 0xB6FF0000,
        0x00000004, 0x8F0F0001, 0xB3E40001, 0xA0E40001, 0x80E40000,
        0x00000008, 0x820F0000, 0xB5E40000, 0x80E40001,
        0x00000050, 0x800F0000, 0x80FF0000, 0xB0E40000, 0xB0E40001,
        0x0000FFFF};
    EXPECT_EQ(r.tokens, expected);
}

TEST(Assembler, VertexDefsAreAlsoReturnedAsConstantDeclarations)
{
    const std::string text = "vs.1.1\ndef c3, 1, 2, 3, 4\nmov oPos, c3\n";
    LPD3DXBUFFER code = nullptr, consts = nullptr;
    ASSERT_EQ(D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), 0, &consts, &code, nullptr), D3D_OK);
    ASSERT_NE(consts, nullptr);
    ASSERT_EQ(consts->GetBufferSize(), 5u * 4);
    const DWORD* c = static_cast<const DWORD*>(consts->GetBufferPointer());
    EXPECT_EQ(c[0], D3DVSD_CONST(3, 1));
    EXPECT_EQ(c[4], 0x40800000u);
    consts->Release();
    code->Release();
}

TEST(Assembler, RejectsBadTextWithTheLineNumber)
{
    struct Case {
        const char* text;
        int line;
    };
    const Case cases[] = {
        {"vs.1.1\nmov oPos, v0\nfoo r0, r1\n", 3},           // unknown instruction
        {"vs.1.1\nmov r12, v0\n", 2},                        // temp out of range
        {"vs.1.1\nmov oPos, c96\n", 2},                      // constant out of range
        {"vs.1.1\nmov oT8, v0\n", 2},                        // texture output out of range
        {"vs.1.1\ntex t0\n", 2},                             // pixel instruction in a vertex shader
        {"vs.1.1\nmov v0, r0\n", 2},                         // write to an input
        {"vs.1.1\nmov r0, oPos\n", 2},                       // read of an output
        {"vs.1.1\nadd r0, r1\n", 2},                         // too few operands
        {"vs.1.1\nmov_sat r0, r1\n", 2},                     // ps modifier in vs
        {"vs.1.1\nmov r0, r1.xq\n", 2},                      // bad swizzle
        {"vs.1.1\nmov r0.yx, r1\n", 2},                      // write mask out of order
        {"ps.1.1\nmov r0, c8\n", 2},
        {"ps.1.1\ntex t4\n", 2},
        {"ps.1.1\ndp4 r0, t0, t1\n", 2},                     // ps.1.2 instruction
        {"ps.1.1\nmov r0, -1-t0\n", 2},
        {"ps.1.1\n\n\nmov r0, t0_foo\n", 4},
        {"ps.1.1\ndef c0, 1, 2, x, 4\n", 2},
        {"mov r0, r1\n", 1},                                 // no version
        {"vs.2.0\n", 1},
        {"", 1},
    };
    for (const Case& c : cases) {
        const Result r = Assemble(c.text);
        EXPECT_TRUE(FAILED(r.hr)) << c.text;
        EXPECT_TRUE(r.tokens.empty()) << c.text;
        EXPECT_EQ(r.errors.rfind("(" + std::to_string(c.line) + "): error:", 0), 0u) << c.text << " -> " << r.errors;
    }
    EXPECT_EQ(D3DXAssembleShader(nullptr, 3, 0, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace

TEST(Assembler, PublishedInstructionLimitsWithTheLineNumber)
{
    auto errorLine = [](const std::string& text) {
        LPD3DXBUFFER code = nullptr, errors = nullptr;
        const HRESULT hr = D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), 0, nullptr, &code, &errors);
        std::string message = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (code)
            code->Release();
        if (errors)
            errors->Release();
        return SUCCEEDED(hr) ? std::string("ok") : message;
    };
    auto repeat = [](const std::string& line, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += line;
        return s;
    };
    EXPECT_EQ(errorLine("ps.1.1\n" + repeat("tex t0\n", 1) + repeat("mov r0, t0\n", 8)), "ok");
    EXPECT_EQ(errorLine("ps.1.1\n" + repeat("mov r0, v0\n", 9)), "(10): error: too many arithmetic instructions for "
                                                                "ps.1.1 (at most 8)\n");
    EXPECT_EQ(errorLine("ps.1.1\n" + repeat("mov r0.rgb, v0\n+mov r0.a, v1\n", 8)), "ok");  // pairs share a slot
    EXPECT_EQ(errorLine("ps.1.1\ntex t0\ntex t1\ntex t2\ntex t3\ntexkill t0\n").substr(0, 4), "(6):");
    EXPECT_EQ(errorLine("vs.1.1\n" + repeat("mov r0, v0\n", 128)), "ok");
    EXPECT_EQ(errorLine("vs.1.1\n" + repeat("mov r0, v0\n", 129)).substr(0, 6), "(130):");
    EXPECT_EQ(errorLine("vs.1.1\n" + repeat("exp r0, v0.x\n", 12) + repeat("m4x4 r0, v0, c0\n", 2)), "ok");
    EXPECT_EQ(errorLine("vs.1.1\n" + repeat("exp r0, v0.x\n", 12) + repeat("m4x4 r0, v0, c0\n", 3)).substr(0, 5),
              "(16):");
}
