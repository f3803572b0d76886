// The five hand-written shaders, assembled with the project's assembler and
// run on a small interpreter of the Direct3D 8 token stream, against the
// formulas the engine relies on (fog line, light packing, creature light,
// bump combine).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfxutil/d3dx8.h"

namespace {

using Vec4 = std::array<float, 4>;

std::vector<DWORD> Assemble(const std::string& file)
{
    std::ifstream f(std::string(VANTOR_SOURCE_DIR) + "/assets/dx/" + file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(text.data(), UINT(text.size()), 0, nullptr, &code, &errors);
    std::string message = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors)
        errors->Release();
    EXPECT_EQ(hr, D3D_OK) << file << ": " << message;
    std::vector<DWORD> tokens;
    if (code) {
        const DWORD* p = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(p, p + code->GetBufferSize() / 4);
        code->Release();
    }
    return tokens;
}

// Registers by Direct3D 8 type: 0 temp, 1 input, 2 const, 3 texture (pixel)
// or address, 4 rasterizer out, 5 colour out, 6 texcoord out.
struct Machine {
    std::array<std::array<Vec4, 96>, 7> reg{};
    bool pixel = false;
    std::array<Vec4, 4> sampled{};  // what `tex tN` fetches

    Vec4 Read(DWORD token) const
    {
        const DWORD type = (token >> 28) & 7, num = token & 0x7FF;
        const Vec4& r = reg[type][num];
        Vec4 v;
        for (int i = 0; i < 4; ++i)
            v[size_t(i)] = r[(token >> (16 + 2 * i)) & 3];
        const DWORD mod = (token >> 24) & 0xF;
        for (float& x : v) {
            switch (mod) {
            case 1: x = -x; break;                // negate
            case 2: x = x - 0.5f; break;          // _bias
            case 4: x = 2 * x - 1; break;         // _bx2
            case 6: x = 1 - x; break;             // 1 - x
            default: break;
            }
        }
        return v;
    }
    void Write(DWORD token, Vec4 v)
    {
        const DWORD type = (token >> 28) & 7, num = token & 0x7FF, mask = (token >> 16) & 0xF;
        const DWORD shift = (token >> 24) & 0xF;
        const bool sat = (token >> 20) & 1;
        for (int i = 0; i < 4; ++i) {
            if (!(mask & (1u << i)))
                continue;
            float x = v[size_t(i)];
            if (shift == 1)
                x *= 2;
            else if (shift == 2)
                x *= 4;
            else if (shift == 0xF)
                x *= 0.5f;
            if (sat)
                x = std::fmin(1.0f, std::fmax(0.0f, x));
            reg[type][num][size_t(i)] = x;
        }
    }

    void Run(const std::vector<DWORD>& code)
    {
        ASSERT_FALSE(code.empty());
        size_t i = 1;  // version token
        while (i < code.size()) {
            const DWORD op = code[i] & 0xFFFF;
            if (op == 0xFFFF)
                return;
            if (op == 0xFFFE) {
                i += 1 + ((code[i] >> 16) & 0x7FFF);
                continue;
            }
            const DWORD* p = &code[i + 1];
            auto dot = [](Vec4 a, Vec4 b, int n) {
                float s = 0;
                for (int k = 0; k < n; ++k)
                    s += a[size_t(k)] * b[size_t(k)];
                return s;
            };
            auto each = [](Vec4 a, Vec4 b, auto f) {
                Vec4 r;
                for (size_t k = 0; k < 4; ++k)
                    r[k] = f(a[k], b[k]);
                return r;
            };
            switch (op) {
            case D3DSIO_MOV: Write(p[0], Read(p[1])); i += 3; break;
            case D3DSIO_ADD: Write(p[0], each(Read(p[1]), Read(p[2]), [](float a, float b) { return a + b; })); i += 4; break;
            case D3DSIO_MUL: Write(p[0], each(Read(p[1]), Read(p[2]), [](float a, float b) { return a * b; })); i += 4; break;
            case D3DSIO_MAX: Write(p[0], each(Read(p[1]), Read(p[2]), [](float a, float b) { return std::fmax(a, b); })); i += 4; break;
            case D3DSIO_MAD: {
                const Vec4 a = Read(p[1]), b = Read(p[2]), c = Read(p[3]);
                Vec4 r;
                for (size_t k = 0; k < 4; ++k)
                    r[k] = a[k] * b[k] + c[k];
                Write(p[0], r);
                i += 5;
                break;
            }
            case D3DSIO_DP3: { const float d = dot(Read(p[1]), Read(p[2]), 3); Write(p[0], {d, d, d, d}); i += 4; break; }
            case D3DSIO_DP4: { const float d = dot(Read(p[1]), Read(p[2]), 4); Write(p[0], {d, d, d, d}); i += 4; break; }
            case D3DSIO_RSQ: { const float d = 1.0f / std::sqrt(std::fabs(Read(p[1])[3])); Write(p[0], {d, d, d, d}); i += 3; break; }
            case D3DSIO_TEX: {
                const DWORD num = p[0] & 0x7FF;
                reg[3][num] = sampled[num];
                i += 2;
                break;
            }
            default: FAIL() << "opcode " << op << " not modelled";
            }
        }
    }
};

Vec4 Transform(const Vec4& p, const float m[4][4])
{
    Vec4 r{};
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            r[size_t(c)] += p[size_t(k)] * m[k][c];
    return r;
}

// A view x projection-like matrix with a real depth term.
const float kViewProj[4][4] = {{0.8f, 0.1f, 0.3f, -0.2f}, {-0.2f, 1.1f, 0.5f, 0.4f}, {0.1f, -0.3f, -1.0f, -1.0f},
                               {12.0f, -7.0f, 20000.0f, 21000.0f}};

void LoadCommonConstants(Machine& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.reg[2][size_t(4 + r)][size_t(c)] = kViewProj[c][r];  // transposed
    m.reg[2][0] = {0, 2.0f, 0.8f, 0.2f};
    m.reg[2][1] = {1.0f, 0.5f, 1.3f, 1.0f / 30000.0f};
    m.reg[2][20] = {-0.4082483f, -0.4082483f, 0.8164966f, 0};
}

void SetVertex(Machine& m)
{
    m.reg[1][0] = {150.0f, -320.0f, 42.0f, 1};          // position
    m.reg[1][1] = {0.3f, -0.2f, 0.93f, 1};              // normal (w reads as 1)
    m.reg[1][2] = {0.25f, 0.5f, 0.75f, 1.0f};           // colour
    m.reg[1][3] = {3.5f, -1.25f, 0, 1};                 // texture set 0
    m.reg[1][4] = {0.125f, 0.625f, 0, 1};               // texture set 1
    m.reg[1][5] = {0.95f, 0.1f, -0.3f, 1};              // tangent u
    m.reg[1][6] = {-0.1f, 0.98f, 0.2f, 1};              // tangent v
}

void ExpectVec(const Vec4& got, const Vec4& want, int n, const char* what)
{
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(got[size_t(i)], want[size_t(i)], 1e-4f * std::fmax(1.0f, std::fabs(want[size_t(i)]))) << what << "[" << i << "]";
}

void ExpectPositionAndFog(const Machine& m)
{
    const Vec4 clip = Transform(m.reg[1][0], kViewProj);
    ExpectVec(m.reg[4][0], clip, 4, "oPos");
    EXPECT_NEAR(m.reg[4][1][0], 1.3f - std::fabs(clip[2]) / 30000.0f, 1e-5f) << "oFog";
}

TEST(Shaders, BasicVertexShaderPassesThroughWithFog)
{
    Machine m;
    LoadCommonConstants(m);
    SetVertex(m);
    m.Run(Assemble("basic.vsh"));
    ExpectPositionAndFog(m);
    ExpectVec(m.reg[5][0], m.reg[1][2], 4, "oD0");
    ExpectVec(m.reg[6][0], m.reg[1][3], 2, "oT0");
    ExpectVec(m.reg[6][1], m.reg[1][4], 2, "oT1");
    // A point behind the projection centre fogs by |z| just the same.
    m.reg[1][0] = {0, 0, 40000.0f, 1};
    m.Run(Assemble("basic.vsh"));
    ExpectPositionAndFog(m);
}

TEST(Shaders, BumpVertexShaderPacksLightAndNormalInTangentSpace)
{
    Machine m;
    LoadCommonConstants(m);
    SetVertex(m);
    m.Run(Assemble("bump.vsh"));
    ExpectPositionAndFog(m);
    auto d3 = [](Vec4 a, Vec4 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const Vec4 L = m.reg[2][20], N = m.reg[1][1], U = m.reg[1][5], V = m.reg[1][6];
    ExpectVec(m.reg[5][0], {0.5f * d3(U, L) + 0.5f, 0.5f * d3(V, L) + 0.5f, 0.5f * d3(N, L) + 0.5f, 0}, 3, "oD0");
    ExpectVec(m.reg[5][1], {0.5f * d3(U, N) + 0.5f, 0.5f * d3(V, N) + 0.5f, 0.5f * d3(N, N) + 0.5f, 0}, 3, "oD1");
    ExpectVec(m.reg[6][0], m.reg[1][3], 2, "oT0");
    ExpectVec(m.reg[6][2], m.reg[1][3], 2, "oT2");
    ExpectVec(m.reg[6][1], m.reg[1][4], 2, "oT1");
}

TEST(Shaders, LightVertexShaderUsesFourComponentNormalLength)
{
    Machine m;
    LoadCommonConstants(m);
    SetVertex(m);
    m.Run(Assemble("light.vsh"));
    ExpectPositionAndFog(m);
    const Vec4 n = m.reg[1][1];
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] + 1.0f);
    const Vec4 L = m.reg[2][20];
    const float d = (n[0] * L[0] + n[1] * L[1] + n[2] * L[2]) / len;
    Vec4 want;
    for (size_t i = 0; i < 4; ++i)
        want[i] = m.reg[1][2][i] * 0.2f * d + 0.8f;
    ExpectVec(m.reg[5][0], want, 4, "oD0");
    ExpectVec(m.reg[6][0], m.reg[1][3], 2, "oT0");
    ExpectVec(m.reg[6][1], m.reg[1][4], 2, "oT1");
}

TEST(Shaders, BasicPixelShaderModulates)
{
    Machine m;
    m.pixel = true;
    m.sampled[0] = {0.5f, 0.25f, 1.0f, 0.8f};
    m.reg[1][0] = {0.5f, 1.0f, 0.2f, 1.0f};
    m.Run(Assemble("basic.psh"));
    ExpectVec(m.reg[0][0], {0.25f, 0.25f, 0.2f, 0.8f}, 4, "r0");
}

TEST(Shaders, BumpPixelShaderCombinesNormalMapShadowAndAmbient)
{
    auto run = [](Vec4 colour, float shadow, Vec4 normalTexel, Vec4 light) {
        Machine m;
        m.pixel = true;
        m.reg[2][0] = {0.2f, 0.2f, 0.2f, 0};
        m.reg[2][1] = {-0.2f, -0.2f, -0.2f, 0};
        m.sampled[0] = colour;
        m.sampled[1] = {shadow, shadow, shadow, 1};
        m.sampled[2] = normalTexel;
        m.reg[1][0] = light;
        m.Run(Assemble("bump.psh"));
        return m.reg[0][0];
    };
    auto expected = [](Vec4 colour, float shadow, Vec4 nt, Vec4 l) {
        float d = 0;
        for (size_t i = 0; i < 3; ++i)
            d += (2 * nt[i] - 1) * (2 * l[i] - 1);
        d = std::fmin(1.0f, std::fmax(0.0f, d));
        const float s = std::fmin(1.0f, std::fmax(0.0f, 2 * (shadow - 0.2f)));
        const float t1 = std::fmin(1.0f, std::fmax(0.0f, d * s + 0.2f));
        return Vec4{colour[0] * t1, colour[1] * t1, colour[2] * t1, 0};
    };
    const Vec4 colour{0.9f, 0.6f, 0.4f, 1};
    const Vec4 flat{0.5f, 0.5f, 1.0f, 1}, tilted{0.8f, 0.5f, 0.7f, 1};
    const Vec4 light{0.3f, 0.3f, 0.9f, 1};
    for (float shadow : {0.0f, 0.35f, 0.6f, 1.0f})
        for (const Vec4& nt : {flat, tilted}) {
            const Vec4 got = run(colour, shadow, nt, light);
            ExpectVec(got, expected(colour, shadow, nt, light), 3, "r0");
        }
    // Full shadow leaves only the ambient floor.
    const Vec4 dark = run(colour, 0.0f, flat, light);
    EXPECT_NEAR(dark[0], colour[0] * 0.2f, 1e-5f);
}

}  // namespace
