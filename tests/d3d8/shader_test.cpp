// Each shader instruction through a tiny program whose result lands in an
// A8R8G8B8 target, compared with the value computed here.
#include "d3d8_fixture.h"
#include "platform/d3d8/shader_gen.h"

#include <cmath>
#include <span>

namespace {

struct Vec {
    float x, y, z, w;
};

class ShaderTest : public D3D8Test {
protected:
    void SetUp() override
    {
        D3D8Test::SetUp();
        if (!dev)
            return;
        ASSERT_EQ(dev->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target),
                  D3D_OK);
        ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
        ASSERT_EQ(dev->SetRenderTarget(surface, nullptr), D3D_OK);
        const Vec consts[] = {
            {0.1f, 0.2f, 0.3f, 0.4f},       // c10
            {0.2f, 0.2f, 0.2f, 0.2f},       // c11
            {0.9f, 0.8f, 0.7f, 0.6f},       // c12
            {4.0f, 0.5f, 2.0f, 8.0f},       // c13
            {-1.0f, -1.5f, 0.0f, 0.0f},     // c14
            {1.5f, 0.75f, 0.3f, 0.6f},      // c15
            {0.5f, 0.25f, 0.0f, 2.0f},      // c16
            {1.25f, -0.25f, 0.0f, 0.0f},    // c17
            {2.7f, -1.0f, 0.0f, 0.0f},      // c18
            {-0.1f, -0.2f, -0.3f, -0.4f},   // c19
            {0.1f, 0.0f, 0.2f, 0.0f},       // c20..c23: a matrix
            {0.0f, 0.3f, 0.0f, 0.1f},
            {0.2f, 0.1f, 0.4f, 0.0f},
            {0.05f, 0.05f, 0.05f, 0.5f},
        };
        dev->SetVertexShaderConstant(10, consts, 14);
    }
    void TearDown() override
    {
        if (surface)
            surface->Release();
        if (target)
            target->Release();
        D3D8Test::TearDown();
    }

    uint32_t Draw(DWORD vs, DWORD ps = 0)
    {
        EXPECT_EQ(dev->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(dev->SetPixelShader(ps), D3D_OK);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
        Upload({V(-1, 1, 0.5f), V(1, 1, 0.5f), V(-1, -1, 0.5f), V(1, -1, 0.5f)});
        dev->BeginScene();
        EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        dev->EndScene();
        VantorImage img;
        EXPECT_EQ(VantorReadSurface(surface, &img), D3D_OK);
        return img.pixels.empty() ? 0 : img.At(1, 1);
    }

    // r0 of a vertex program, shown through oD0 (saturated).
    uint32_t RunVs(const std::string& body)
    {
        const DWORD vs = MakeVs("vs.1.1\nmov oPos, v0\n" + body + "mov oD0, r0\n");
        const uint32_t c = Draw(vs);
        dev->SetVertexShader(passVs);
        dev->DeleteVertexShader(vs);
        return c;
    }

    static uint32_t Pack(Vec v)
    {
        auto q = [](float f) { return static_cast<uint32_t>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f)); };
        return q(v.w) << 24 | q(v.x) << 16 | q(v.y) << 8 | q(v.z);
    }

    IDirect3DTexture8* target = nullptr;
    IDirect3DSurface8* surface = nullptr;
};

TEST_F(ShaderTest, EveryVertexInstructionComputesItsPublishedResult)
{
    const float l15 = std::log2(1.5f);
    struct Case {
        const char* body;
        Vec expected;
    };
    const Case cases[] = {
        {"mov r0, c10\n", {0.1f, 0.2f, 0.3f, 0.4f}},
        {"add r0, c10, c11\n", {0.3f, 0.4f, 0.5f, 0.6f}},
        {"sub r0, c12, c10\n", {0.8f, 0.6f, 0.4f, 0.2f}},
        {"mad r0, c10, c11, c10\n", {0.12f, 0.24f, 0.36f, 0.48f}},
        {"mul r0, c10, c12\n", {0.09f, 0.16f, 0.21f, 0.24f}},
        {"rcp r0, c13.x\n", {0.25f, 0.25f, 0.25f, 0.25f}},
        {"rsq r0, c13.w\n", {0.35355f, 0.35355f, 0.35355f, 0.35355f}},
        {"dp3 r0, c10, c12\n", {0.46f, 0.46f, 0.46f, 0.46f}},
        {"dp4 r0, c10, c12\n", {0.70f, 0.70f, 0.70f, 0.70f}},
        {"min r0, c10, c11\n", {0.1f, 0.2f, 0.2f, 0.2f}},
        {"max r0, c10, c11\n", {0.2f, 0.2f, 0.3f, 0.4f}},
        {"slt r0, c10, c11\n", {1, 0, 0, 0}},
        {"sge r0, c10, c11\n", {0, 1, 1, 1}},
        {"exp r0, c14.x\n", {0.5f, 0.5f, 0.5f, 0.5f}},
        {"expp r0, c14.y\n", {0.25f, 0.5f, 0.35355f, 1}},
        {"log r0, c15.x\n", {l15, l15, l15, l15}},
        {"logp r0, c15.x\n", {0, 1, l15, 1}},
        {"lit r0, c16\n", {1, 0.5f, 0.0625f, 1}},
        {"dst r0, c10, c12\n", {1, 0.16f, 0.3f, 0.6f}},
        {"frc r0.xy, c17\nmov r0.zw, c11\n", {0.25f, 0.75f, 0.2f, 0.2f}},
        {"m4x4 r0, c10, c20\n", {0.07f, 0.1f, 0.16f, 0.23f}},
        {"m3x3 r0, c10, c20\nmov r0.w, c11\n", {0.07f, 0.06f, 0.16f, 0.2f}},
        {"m3x2 r0.xy, c10, c20\nmov r0.zw, c11\n", {0.07f, 0.06f, 0.2f, 0.2f}},
        {"m4x3 r0.xyz, c10, c20\nmov r0.w, c11\n", {0.07f, 0.1f, 0.16f, 0.2f}},
        {"m3x4 r0, c10, c20\n", {0.07f, 0.06f, 0.16f, 0.03f}},
        {"mov r0, -c19.wzyx\n", {0.4f, 0.3f, 0.2f, 0.1f}},
        {"mov r0, c11\nmov r0.yw, c12\n", {0.2f, 0.8f, 0.2f, 0.6f}},
        {"mov a0.x, c18.x\nmov r0, c[a0.x + 18]\n", {0.1f, 0.0f, 0.2f, 0.0f}},      // floor(2.7) + 18 = c20
        {"mov a0.x, c18.y\nmov r0, c[a0.x + 11]\n", {0.1f, 0.2f, 0.3f, 0.4f}},      // -1 + 11 = c10
        {"mov a0.x, c18.y\nmov r0, c[a0.x + 0]\nadd r0, r0, c11\n", {0.2f, 0.2f, 0.2f, 0.2f}},  // out of range reads 0
        {"mov a0.x, c18.x\nm4x4 r0, c10, c[a0.x + 18]\n",
         {0.07f, 0.1f, 0.16f, 0.1f * 0.05f + 0.2f * 0.05f + 0.3f * 0.05f + 0.4f * 0.5f}},
    };
    for (const Case& c : cases)
        EXPECT_ARGB_NEAR(RunVs(c.body), Pack(c.expected), 1) << c.body;
}

TEST_F(ShaderTest, VertexShaderDefsAndDeclarationConstants)
{
    EXPECT_ARGB_NEAR(RunVs("def c30, 0.5, 0.25, 0.125, 1.0\nmov r0, c30\n"), Pack({0.5f, 0.25f, 0.125f, 1}), 1);
    // A declaration's constant load takes effect when the shader is selected.
    const float k[4] = {0.75f, 0.5f, 0.25f, 1.0f};
    DWORD bits[4];
    std::memcpy(bits, k, sizeof k);
    const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_CONST(40, 1), bits[0], bits[1],
                          bits[2], bits[3], D3DVSD_END()};
    const DWORD vs = MakeVs("vs.1.1\nmov oPos, v0\nmov oD0, c40\n", decl);
    EXPECT_ARGB_NEAR(Draw(vs), Pack({0.75f, 0.5f, 0.25f, 1}), 1);
    dev->SetVertexShader(passVs);
    dev->DeleteVertexShader(vs);
}

TEST_F(ShaderTest, PixelInstructionsAndModifiers)
{
    // oD0 = c10, oD1 = c12, oT0 = c15, oT1 = c19 (negative) for every pixel.
    const DWORD vs = MakeVs("vs.1.1\nmov oPos, v0\nmov oD0, c10\nmov oD1, c12\nmov oT0, c15\nmov oT1, c19\n");
    const float pc[] = {0.5f, 0.5f, 0.5f, 0.5f, 0.25f, 0.5f, 0.75f, 1.0f};
    dev->SetPixelShaderConstant(0, pc, 2);
    const Vec d0 = {0.1f, 0.2f, 0.3f, 0.4f}, d1 = {0.9f, 0.8f, 0.7f, 0.6f};
    struct Case {
        const char* body;
        Vec expected;
    };
    auto each = [](Vec a, Vec b, float (*f)(float, float)) { return Vec{f(a.x, b.x), f(a.y, b.y), f(a.z, b.z), f(a.w, b.w)}; };
    const Case cases[] = {
        {"mov r0, v0\n", d0},
        {"add r0, v0, v1\n", each(d0, d1, [](float a, float b) { return a + b; })},
        {"sub r0, v1, v0\n", each(d1, d0, [](float a, float b) { return a - b; })},
        {"mul r0, v0, v1\n", each(d0, d1, [](float a, float b) { return a * b; })},
        {"mad r0, v0, v1, c0\n", each(d0, d1, [](float a, float b) { return a * b + 0.5f; })},
        {"dp3 r0, v0, v1\n", {0.46f, 0.46f, 0.46f, 0.46f}},
        {"lrp r0, c1, v0, v1\n", {0.25f * 0.1f + 0.75f * 0.9f, 0.5f * 0.2f + 0.5f * 0.8f, 0.75f * 0.3f + 0.25f * 0.7f, 0.4f}},
        {"mov r0, c1\ncnd r0, r0.a, v0, v1\n", d0},
        {"mov r0, c0\ncnd r0, r0.a, v0, v1\n", d1},  // 0.5 is not above 0.5
        {"mul_x2 r0, v0, v1\n", each(d0, d1, [](float a, float b) { return 2 * a * b; })},
        {"mul_x4 r0, v0, v1\n", each(d0, d1, [](float a, float b) { return 4 * a * b; })},
        {"add_d2 r0, v0, v1\n", each(d0, d1, [](float a, float b) { return (a + b) / 2; })},
        {"mov r0, 1-v0\n", each(d0, d0, [](float a, float) { return 1 - a; })},
        {"add r0, v1_bias, c0\n", d1},
        {"mul r0, v1_bx2, c0\n", each(d1, d1, [](float a, float) { return (2 * a - 1) * 0.5f; })},
        {"add r0, -v0, v1\n", each(d1, d0, [](float a, float b) { return a - b; })},
        {"add r0, -v0_bx2, c0\n", each(d0, d0, [](float a, float) { return 0.5f - (2 * a - 1); })},
        // Registers hold [-1, 1]: 2 * (v1 + v1) clamps to 1 before the subtraction.
        {"add_x2 r1, v1, v1\nsub r0, r1, c0\n", {0.5f, 0.5f, 0.5f, 0.5f}},
        {"mov_sat r0, -v0\nadd r0, r0, c0\n", {0.5f, 0.5f, 0.5f, 0.5f}},
        {"texcoord t0\nmov r0, t0\n", {1.0f, 0.75f, 0.3f, 1.0f}},
        {"texcoord t1\nmov r0, t1\n", {0, 0, 0, 1}},
        // Co-issued pair: both read r0 as it was before the pair.
        {"mov r0, c1\nmov r0.rgb, v0\n+ mov r0.a, r0.b\n", {0.1f, 0.2f, 0.3f, 0.75f}},
        {"def c0, 0.125, 0.25, 0.375, 1.0\nmov r0, c0\n", {0.125f, 0.25f, 0.375f, 1.0f}},
    };
    for (const Case& c : cases) {
        const DWORD ps = MakePs(std::string("ps.1.1\n") + c.body);
        EXPECT_ARGB_NEAR(Draw(vs, ps), Pack(c.expected), 1) << c.body;
        dev->SetPixelShader(0);
        dev->DeletePixelShader(ps);
    }
    // tex samples stage n with texture set n.
    IDirect3DTexture8* tex = MakeTexture(2, 1, D3DFMT_A8R8G8B8, {0x80402010, 0xFF00FF00});
    dev->SetTexture(0, tex);
    const DWORD ps = MakePs("ps.1.1\ntex t0\nmul r0, t0, v1\n");
    const DWORD vsTex = MakeVs("vs.1.1\nmov oPos, v0\nmov oD1, c12\nmov oT0, c16\n");  // u = 0.5 - on the left texel
    const float u[4] = {0.25f, 0.5f, 0, 1};
    dev->SetVertexShaderConstant(16, u, 1);
    EXPECT_ARGB_NEAR(Draw(vsTex, ps), Pack({0x40 / 255.0f * 0.9f, 0x20 / 255.0f * 0.8f, 0x10 / 255.0f * 0.7f, 0x80 / 255.0f * 0.6f}), 1);
    dev->SetTexture(0, nullptr);
}

TEST_F(ShaderTest, EngineProgramsComputeWhatTheyAreMeantTo)
{
    // "light": colour = v2 * 0.2 * dot(c20, normalize4(n)) + 0.8, fog from |clip z|.
    const DWORD light = MakeVs(
        "vs.1.1\n"
        "m4x4 oPos, v0, c4\n"
        "dp4 r0.x, v1, v1\n"
        "rsq r0.x, r0.x\n"
        "mul r1, v1, r0.x\n"
        "dp3 r2.x, r1, c20\n"
        "mul r2.x, r2.x, c0.w\n"
        "mad oD0, v2, r2.x, c0.z\n"
        "mov oT0, v3\n");
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    dev->SetVertexShaderConstant(4, &id, 4);
    const float c0[4] = {0, 2.0f, 0.8f, 0.2f};
    dev->SetVertexShaderConstant(0, c0, 1);
    const float l[4] = {-0.4082483f, -0.4082483f, 0.8164966f, 0};
    dev->SetVertexShaderConstant(20, l, 1);
    std::vector<TestVertex> q = {V(-1, 1, 0.5f, 0x80402010), V(1, 1, 0.5f, 0x80402010), V(-1, -1, 0.5f, 0x80402010),
                                 V(1, -1, 0.5f, 0x80402010)};
    for (TestVertex& v : q) {
        v.nx = 0;
        v.ny = 0;
        v.nz = 1;  // |(0,0,1,1)| = sqrt 2
    }
    dev->SetVertexShader(light);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    Upload(q);
    dev->BeginScene();
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    dev->EndScene();
    VantorImage img;
    ASSERT_EQ(VantorReadSurface(surface, &img), D3D_OK);
    const float k = 0.2f * 0.8164966f / std::sqrt(2.0f);
    EXPECT_ARGB_NEAR(img.At(1, 1), Pack({0x40 / 255.0f * k + 0.8f, 0x20 / 255.0f * k + 0.8f, 0x10 / 255.0f * k + 0.8f,
                                         0x80 / 255.0f * k + 0.8f}),
                     1);
    dev->SetVertexShader(passVs);
}

TEST_F(ShaderTest, MalformedAndUnsupportedTokenStreamsAreRejectedAtCreation)
{
    DWORD h = 0;
    const std::vector<DWORD> good = AssembleOrDie(kPassVs);
    // Declarations.
    const DWORD noEnd[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3)};
    (void)noEnd;  // an unterminated declaration cannot be read safely; not passed
    const DWORD badType[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, 9), D3DVSD_END()};
    const DWORD dupReg[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(0, D3DVSDT_FLOAT2),
                            D3DVSD_END()};
    const DWORD tess[] = {D3DVSD_STREAM_TESS(), D3DVSD_END()};
    const DWORD dataFirst[] = {D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    const DWORD constPast[] = {D3DVSD_CONST(95, 2), 0, 0, 0, 0, 0, 0, 0, 0, D3DVSD_END()};
    for (const DWORD* decl : {badType, dupReg, tess, dataFirst, constPast}) {
        EXPECT_EQ(dev->CreateVertexShader(decl, good.data(), &h, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(h, 0u);
    }
    EXPECT_EQ(dev->CreateVertexShader(kTestDecl, nullptr, &h, 0), D3DERR_INVALIDCALL);  // fixed-function vertices
    EXPECT_EQ(dev->CreateVertexShader(nullptr, good.data(), &h, 0), D3DERR_INVALIDCALL);

    // Function streams.
    const std::vector<std::vector<DWORD>> badVs = {
        {0xFFFE0200, 0x0000FFFF},                                 // vs.2.0
        {0xFFFF0101, 0x0000FFFF},                                 // a pixel shader
        {0xFFFE0101, 0x00000001, 0xC00F0000},                     // truncated, no end
        {0xFFFE0101, 0x00000001, 0x800F000C, 0x90E40000, 0xFFFF}, // r12
        {0xFFFE0101, 0x00000001, 0x800F0000, 0xA0E40060, 0xFFFF}, // c96
        {0xFFFE0101, 0x00000001, 0x900F0000, 0x90E40000, 0xFFFF}, // write to v0
        {0xFFFE0101, 0x00000042, 0xB00F0000, 0xFFFF},             // tex in a vertex shader
        {0xFFFE0101, 0x00000001, 0x800F0000, 0x96E40000, 0xFFFF}, // pixel source modifier
        {0xFFFE0101, 0x00000001, 0x810F0000, 0x90E40000, 0xFFFF}, // result shift
        {0xFFFE0101, 0x00000001, 0x00000000, 0x90E40000, 0xFFFF}, // destination without bit 31
        {0xFFFE0101, 0x0000FFFE | (100u << 16), 0xFFFF},          // comment running past the end
        {0xFFFE0101, 0x00000001, 0x800F0000, 0x90E42000, 0xFFFF}, // relative address on an input
    };
    for (const auto& t : badVs) {
        std::vector<DWORD> padded = t;
        padded.resize(256, 0x0000FFFF);  // keep the reader inside memory even when the stream is cut short
        if (t.size() == 3)
            std::fill(padded.begin() + 3, padded.end(), 0x80000000u);
        EXPECT_EQ(dev->CreateVertexShader(kTestDecl, padded.data(), &h, 0), D3DERR_INVALIDCALL) << std::hex << t[1];
    }
    const std::vector<std::vector<DWORD>> badPs = {
        {0xFFFF0104, 0x0000FFFF},                                             // ps.1.4
        {0xFFFF0101, 0x00000043, 0xB00F0001, 0xB0E40000, 0xFFFF},             // texbem: unsupported
        {0xFFFF0101, 0x00000001, 0x800F0000, 0xA0E40008, 0xFFFF},             // c8
        {0xFFFF0101, 0x00000001, 0x800F0000, 0x9EE40000, 0xFFFF},             // _dz modifier (ps.1.4)
        {0xFFFF0101, 0x00000001, 0x800F0000, 0x90E40000, 0x00000042, 0xB00F0000, 0xFFFF},  // tex after arithmetic
        {0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000042, 0xB00F0000, 0xFFFF},  // t0 sampled twice
        {0xFFFF0101, 0x00000009, 0x800F0000, 0x90E40000, 0x90E40000, 0xFFFF},  // dp4 is ps.1.2
    };
    for (const auto& t : badPs)
        EXPECT_EQ(dev->CreatePixelShader(t.data(), &h), D3DERR_INVALIDCALL) << std::hex << t[1];
    EXPECT_EQ(dev->CreatePixelShader(nullptr, &h), D3DERR_INVALIDCALL);
    // The device still draws after all that.
    EXPECT_EQ(Draw(passVs) >> 24, 0xFFu);
}

}  // namespace

#include <fstream>
#include <sstream>

namespace {

std::string ReadAsset(const std::string& name)
{
    std::ifstream in(std::string(VANTOR_SOURCE_DIR) + "/assets/dx/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The engine's own shader sources, assembled by our assembler and run by our
// runtime: the bump-mapped, shadowed, fogged canyon pass against the CPU.
TEST_F(ShaderTest, EngineShaderSourcesRenderTheBumpPass)
{
    const char* const names[] = {"basic.vsh", "bump.vsh", "light.vsh", "basic.psh", "bump.psh"};
    std::string text[5];
    for (int i = 0; i < 5; ++i) {
        text[i] = ReadAsset(names[i]);
        if (text[i].empty()) {
            GTEST_SKIP() << "assets/dx/" << names[i] << " not present";
        }
    }
    DWORD vs[3], ps[2];
    for (int i = 0; i < 3; ++i)
        vs[i] = MakeVs(text[i]);
    for (int i = 0; i < 2; ++i)
        ps[i] = MakePs(text[3 + i]);

    IDirect3DTexture8* colour = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF8040C0});
    IDirect3DTexture8* normal = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF8080FF});
    IDirect3DTexture8* shadow = nullptr;
    ASSERT_EQ(dev->CreateTexture(1, 1, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &shadow), D3D_OK);
    owned.push_back(shadow);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(shadow->LockRect(0, &lr, nullptr, 0), D3D_OK);
    *static_cast<uint8_t*>(lr.pBits) = 0x60;
    shadow->UnlockRect(0);
    dev->SetTexture(0, colour);
    dev->SetTexture(1, shadow);
    dev->SetTexture(2, normal);

    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    dev->SetVertexShaderConstant(4, &id, 4);
    const float c1[4] = {1.0f, 0.5f, 1.3f, 2.0f};  // steep fog: 1.3 - 0.5 * 2 = 0.3 at z = 0.5
    dev->SetVertexShaderConstant(1, c1, 1);
    const float light[4] = {-0.4082483f, -0.4082483f, 0.8164966f, 0};
    dev->SetVertexShaderConstant(20, light, 1);
    const float pc[8] = {0.2f, 0.2f, 0.2f, 0, -0.2f, -0.2f, -0.2f, 0};
    dev->SetPixelShaderConstant(0, pc, 2);
    dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev->SetRenderState(D3DRS_FOGCOLOR, 0x00CFCFCF);

    std::vector<TestVertex> q = {V(-1, 1, 0.5f), V(1, 1, 0.5f), V(-1, -1, 0.5f), V(1, -1, 0.5f)};
    for (TestVertex& v : q) {
        v.nz = 1;
        v.tu[0] = 1;  // tangent along u
        v.tv[1] = 1;  // tangent along v
    }
    dev->SetVertexShader(vs[1]);
    dev->SetPixelShader(ps[1]);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    Upload(q);
    dev->BeginScene();
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    dev->EndScene();
    VantorImage img;
    ASSERT_EQ(VantorReadSurface(surface, &img), D3D_OK);

    // The same arithmetic on the CPU.
    const double n = 128.0 / 255.0, nz = 1.0;
    const double lx = -0.4082483, ly = -0.4082483, lz = 0.8164966;
    const double d0[3] = {0.5 * lx + 0.5, 0.5 * ly + 0.5, 0.5 * lz + 0.5};
    const double dot = (2 * n - 1) * (2 * d0[0] - 1) + (2 * n - 1) * (2 * d0[1] - 1) + (2 * nz - 1) * (2 * d0[2] - 1);
    const double t2 = std::clamp(dot, 0.0, 1.0);
    const double t1 = std::clamp(2 * (0x60 / 255.0 - 0.2), 0.0, 1.0);
    const double k = std::clamp(t2 * t1 + 0.2, 0.0, 1.0);
    const double fog = 0.3;
    auto ch = [&](int c) { return static_cast<uint32_t>(std::lround((c / 255.0 * k * fog + (0xCF / 255.0) * (1 - fog)) * 255)); };
    const uint32_t alpha = static_cast<uint32_t>(std::lround(std::clamp(t2 * 1.0 + 0.0, 0.0, 1.0) * 255));
    EXPECT_ARGB_NEAR(img.At(1, 1), alpha << 24 | ch(0x80) << 16 | ch(0x40) << 8 | ch(0xC0), 2);

    // basic.vsh + basic.psh: texture times vertex colour, same fog.
    dev->SetVertexShader(vs[0]);
    dev->SetPixelShader(ps[0]);
    for (TestVertex& v : q)
        v.color = 0xFF808080;
    Upload(q);
    dev->BeginScene();
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    dev->EndScene();
    ASSERT_EQ(VantorReadSurface(surface, &img), D3D_OK);
    const double g = 128.0 / 255.0;
    auto ch2 = [&](int c) { return static_cast<uint32_t>(std::lround((c / 255.0 * g * fog + (0xCF / 255.0) * (1 - fog)) * 255)); };
    EXPECT_ARGB_NEAR(img.At(1, 1), 0xFF000000u | ch2(0x80) << 16 | ch2(0x40) << 8 | ch2(0xC0), 2);

    dev->SetRenderState(D3DRS_FOGENABLE, FALSE);
    dev->SetPixelShader(0);
    dev->SetVertexShader(passVs);
    for (int i = 0; i < 3; ++i)
        dev->SetTexture(static_cast<DWORD>(i), nullptr);
    for (DWORD h : vs)
        EXPECT_EQ(dev->DeleteVertexShader(h), D3D_OK);
    for (DWORD h : ps)
        EXPECT_EQ(dev->DeletePixelShader(h), D3D_OK);
}

}  // namespace

namespace {

// ps.1.1 "mov r0, v0" and "tex t0", vs.1.1 "mov r0, v0" and "m4x4 r0, v0, c0".
constexpr DWORD kPsMov[] = {0x00000001, 0x800F0000, 0x90E40000};
constexpr DWORD kPsTex[] = {0x00000042, 0xB00F0000};
constexpr DWORD kVsMov[] = {0x00000001, 0x800F0000, 0x90E40000};
constexpr DWORD kVsM4x4[] = {0x00000014, 0x800F0000, 0x90E40000, 0xA0E40000};

std::vector<DWORD> Stream(DWORD version, std::initializer_list<std::pair<std::span<const DWORD>, int>> parts,
                          bool end = true)
{
    std::vector<DWORD> t = {version};
    for (const auto& [ins, times] : parts)
        for (int i = 0; i < times; ++i)
            t.insert(t.end(), ins.begin(), ins.end());
    if (end)
        t.push_back(0x0000FFFF);
    return t;
}

bool Ps(const std::vector<DWORD>& t)
{
    std::string body, why;
    return TranslatePixelShader(t.data(), t.size(), &body, &why);
}

bool Vs(const std::vector<DWORD>& t)
{
    static const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    VertexDecl d;
    std::string glsl, why;
    return ParseDeclaration(decl, 3, &d, &why) && TranslateVertexShader(t.data(), t.size(), d, true, &glsl, &why);
}

}  // namespace

TEST(ShaderTokenReader, ReadsNoFurtherThanTheTokensGiven)
{
    // Exact-size buffers: under AddressSanitizer a read past the end fails.
    EXPECT_FALSE(Ps(Stream(0xFFFF0101, {{kPsMov, 1}}, false)));
    EXPECT_FALSE(Vs(Stream(0xFFFE0101, {{kVsMov, 1}}, false)));
    const std::vector<DWORD> comment = {0xFFFE0101, 0x0000FFFE | (2u << 16), 0, 0};  // comment, then nothing
    EXPECT_FALSE(Vs(comment));
    std::vector<DWORD> cut = Stream(0xFFFF0101, {{kPsMov, 1}});
    cut.resize(3);  // inside the instruction
    EXPECT_FALSE(Ps(cut));
    EXPECT_FALSE(Ps({}));
    const DWORD declNoEnd[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3)};
    VertexDecl d;
    std::string why;
    EXPECT_FALSE(ParseDeclaration(declNoEnd, 2, &d, &why));
    const DWORD constCut[] = {D3DVSD_CONST(0, 1), 0, 0};
    EXPECT_FALSE(ParseDeclaration(constCut, 3, &d, &why));
}

TEST(ShaderTokenReader, PublishedInstructionLimits)
{
    constexpr DWORD ps = 0xFFFF0101, vs = 0xFFFE0101;
    EXPECT_TRUE(Ps(Stream(ps, {{kPsTex, 1}, {kPsMov, 8}})));
    EXPECT_FALSE(Ps(Stream(ps, {{kPsTex, 1}, {kPsMov, 9}})));
    // mov r0.rgb, v0 + mov r1.a, v0: a co-issued pair shares one slot.
    std::vector<DWORD> paired = Stream(ps, {{kPsMov, 7}}, false);
    paired.insert(paired.end(), {0x00000001, 0x80070000, 0x90E40000, 0x40000001, 0x80080001, 0x90E40000, 0xFFFF});
    EXPECT_TRUE(Ps(paired));
    const std::vector<DWORD> fiveTex = {ps, 0x42, 0xB00F0000, 0x42, 0xB00F0001, 0x42, 0xB00F0002,
                                        0x42, 0xB00F0003, 0x42, 0xB00F0003, 0xFFFF};
    EXPECT_FALSE(Ps(fiveTex));
    EXPECT_TRUE(Vs(Stream(vs, {{kVsMov, 128}})));
    EXPECT_FALSE(Vs(Stream(vs, {{kVsMov, 129}})));
    EXPECT_TRUE(Vs(Stream(vs, {{kVsM4x4, 32}})));  // four slots each
    EXPECT_FALSE(Vs(Stream(vs, {{kVsM4x4, 32}, {kVsMov, 1}})));
}

TEST_F(ShaderTest, OverlongShadersAreRefusedAtCreation)
{
    DWORD h = 0;
    std::string text = "ps.1.1\ntex t0\n";
    for (int i = 0; i < 10000; ++i)
        text += "mov r0, t0\n";
    LPD3DXBUFFER code = nullptr;
    ASSERT_EQ(D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), 0, nullptr, &code, nullptr),
              D3DXERR_INVALIDDATA);
    const std::vector<DWORD> tokens = Stream(0xFFFF0101, {{kPsTex, 1}, {kPsMov, 10000}});
    EXPECT_EQ(dev->CreatePixelShader(tokens.data(), &h), D3DERR_INVALIDCALL);
    const std::vector<DWORD> vsTokens = Stream(0xFFFE0101, {{kVsMov, 5000}});
    EXPECT_EQ(dev->CreateVertexShader(kTestDecl, vsTokens.data(), &h, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(h, 0u);
}
