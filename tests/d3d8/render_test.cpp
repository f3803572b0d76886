// Rendering through the runtime, read back and compared with values
// computed on the CPU.
#include "d3d8_fixture.h"

namespace {

TEST_F(D3D8Test, ClearFillsTheViewportOnly)
{
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Center(), 0xFF336699u);
    D3DVIEWPORT8 vp = {0, 0, 32, 16, 0.0f, 1.0f};
    ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    const VantorImage img = Read();
    EXPECT_EQ(img.At(0, 0), 0xFF000000u);      // top-left is inside the viewport
    EXPECT_EQ(img.At(31, 15), 0xFF000000u);
    EXPECT_EQ(img.At(32, 15), 0xFF336699u);
    EXPECT_EQ(img.At(31, 16), 0xFF336699u);
    const D3DRECT r = {40, 40, 44, 44};
    vp = {0, 0, kW, kH, 0, 1};
    dev->SetViewport(&vp);
    ASSERT_EQ(dev->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    const VantorImage img2 = Read();
    EXPECT_EQ(img2.At(40, 40), 0xFFFFFFFFu);
    EXPECT_EQ(img2.At(44, 44), 0xFF336699u);
    EXPECT_EQ(dev->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // D16 has no stencil
}

TEST_F(D3D8Test, DrawsLandInTheViewportRowsAndDepthRange)
{
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    // Rows 8..23, depth squeezed into [0.5, 0.75]: clip z 0.5 lands at 0.625.
    const D3DVIEWPORT8 band = {0, 8, kW, 16, 0.5f, 0.75f};
    ASSERT_EQ(dev->SetViewport(&band), D3D_OK);
    DrawQuad(0xFF00FF00, 0.5f);
    const VantorImage img = Read();
    EXPECT_EQ(img.At(5, 7), 0xFF000000u);
    EXPECT_EQ(img.At(5, 8), 0xFF00FF00u);
    EXPECT_EQ(img.At(5, 23), 0xFF00FF00u);
    EXPECT_EQ(img.At(5, 24), 0xFF000000u);
    VantorDepthImage depth;
    ASSERT_EQ(VantorReadBackBufferDepth(dev, &depth), D3D_OK);
    EXPECT_NEAR(depth.At(5, 8), 0.625f, 1e-4f);
    EXPECT_NEAR(depth.At(5, 23), 0.625f, 1e-4f);
    EXPECT_EQ(depth.At(5, 7), 1.0f);
    EXPECT_EQ(depth.At(5, 60), 1.0f);
    // Pinned at the far end, a draw passes LESSEQUAL only where nothing
    // nearer was drawn (how the sky goes in behind the scene).
    const D3DVIEWPORT8 farEnd = {0, 0, kW, kH, 1.0f, 1.0f};
    ASSERT_EQ(dev->SetViewport(&farEnd), D3D_OK);
    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    DrawQuad(0xFF0000FF, 0.1f);
    const VantorImage after = Read();
    EXPECT_EQ(after.At(5, 12), 0xFF00FF00u);
    EXPECT_EQ(after.At(5, 40), 0xFF0000FFu);
}

TEST_F(D3D8Test, VertexColoursAreBGRAInMemoryAndRowZeroIsTheTop)
{
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // Upper half of clip space (y > 0) red, lower half blue.
    DrawQuad(0xFFFF0000, 0.5f, -1, 0, 1, 1);
    DrawQuad(0xFF0000FF, 0.5f, -1, -1, 1, 0);
    const VantorImage img = Read();
    EXPECT_EQ(img.At(10, 5), 0xFFFF0000u);
    EXPECT_EQ(img.At(10, 60), 0xFF0000FFu);
    // Exact half: Direct3D samples pixel centres on integer coordinates,
    // so row 31 is the last red row and row 32 the first blue one.
    EXPECT_EQ(img.At(10, 31), 0xFFFF0000u);
    EXPECT_EQ(img.At(10, 32), 0xFF0000FFu);
    EXPECT_ARGB_NEAR(img.At(32, 10), 0xFFFF0000u, 0);
}

TEST_F(D3D8Test, CullModesFollowOnScreenWinding)
{
    // Clockwise as seen on screen: top-left, top-right, bottom-left.
    const std::vector<TestVertex> cw = {V(-1, 1, 0.5f, 0xFF00FF00), V(1, 1, 0.5f, 0xFF00FF00),
                                        V(-1, -1, 0.5f, 0xFF00FF00)};
    const std::vector<TestVertex> ccw = {cw[0], cw[2], cw[1]};
    struct Case {
        DWORD cull;
        bool cwDrawn, ccwDrawn;
    };
    for (const Case c : {Case{D3DCULL_NONE, true, true}, Case{D3DCULL_CCW, true, false},
                         Case{D3DCULL_CW, false, true}}) {
        dev->SetRenderState(D3DRS_CULLMODE, c.cull);
        for (int order = 0; order < 2; ++order) {
            dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            Upload(order == 0 ? cw : ccw);
            dev->BeginScene();
            ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
            dev->EndScene();
            const bool drawn = Read().At(5, 5) == 0xFF00FF00u;
            EXPECT_EQ(drawn, order == 0 ? c.cwDrawn : c.ccwDrawn) << "cull " << c.cull << " order " << order;
        }
    }
}

TEST_F(D3D8Test, DepthTestUsesZeroToOneClipDepthAndClipsAtNearAndFar)
{
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.6f, 0);
    DrawQuad(0xFFFF0000, 0.7f);  // behind the cleared depth
    EXPECT_EQ(Center(), 0xFF000000u);
    DrawQuad(0xFF00FF00, 0.5f);  // in front
    EXPECT_EQ(Center(), 0xFF00FF00u);
    DrawQuad(0xFFFF0000, 0.55f);  // behind what was drawn
    EXPECT_EQ(Center(), 0xFF00FF00u);
    // Near plane at z = 0 and far plane at z = w, whatever GL's own range.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    DrawQuad(0xFFFF0000, -0.01f);
    EXPECT_EQ(Center(), 0xFF000000u);
    DrawQuad(0xFFFF0000, 1.01f);
    EXPECT_EQ(Center(), 0xFF000000u);
    DrawQuad(0xFF0000FF, 0.001f);
    EXPECT_EQ(Center(), 0xFF0000FFu);
    // Depth written at 0.25 stops a later draw at 0.3 with LESSEQUAL.
    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    DrawQuad(0xFF0000FF, 0.25f);
    DrawQuad(0xFFFF0000, 0.3f);
    EXPECT_EQ(Center(), 0xFF0000FFu);
    DrawQuad(0xFF00FF00, 0.25f);
    EXPECT_EQ(Center(), 0xFF00FF00u);
    // With ZENABLE off nothing is tested.
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawQuad(0xFFFFFFFF, 0.9f);
    EXPECT_EQ(Center(), 0xFFFFFFFFu);
}

TEST_F(D3D8Test, BlendFactorsTheEngineUses)
{
    const uint32_t dst = 0xFF804020;
    const uint32_t src = 0x40FFC010;  // alpha 0x40
    auto channel = [](uint32_t c, int s) { return static_cast<double>((c >> s) & 0xFF) / 255.0; };
    struct Case {
        DWORD srcBlend, dstBlend;
    };
    for (const Case c : {Case{D3DBLEND_ONE, D3DBLEND_ZERO}, Case{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                         Case{D3DBLEND_ONE, D3DBLEND_ONE}, Case{D3DBLEND_ZERO, D3DBLEND_SRCCOLOR}}) {
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, c.srcBlend);
        dev->SetRenderState(D3DRS_DESTBLEND, c.dstBlend);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, dst, 1.0f, 0);
        DrawQuad(src);
        uint32_t expected = 0xFF000000u;
        for (int s = 0; s < 24; s += 8) {
            const double S = channel(src, s), D = channel(dst, s), As = channel(src, 24);
            double f = 0;
            switch (c.srcBlend * 100 + c.dstBlend) {
            case D3DBLEND_ONE * 100 + D3DBLEND_ZERO: f = S; break;
            case D3DBLEND_SRCALPHA * 100 + D3DBLEND_INVSRCALPHA: f = S * As + D * (1 - As); break;
            case D3DBLEND_ONE * 100 + D3DBLEND_ONE: f = std::min(1.0, S + D); break;
            default: f = D * S; break;
            }
            expected |= static_cast<uint32_t>(f * 255.0 + 0.5) << s;
        }
        const uint32_t got = Center() | 0xFF000000u;  // X8R8G8B8 target
        EXPECT_ARGB_NEAR(got, expected, 1) << c.srcBlend << "/" << c.dstBlend;
    }
    // Disabled blending writes the source.
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    DrawQuad(0xFF102030);
    EXPECT_EQ(Center(), 0xFF102030u);
}

}  // namespace

namespace {

// A 2x2 texture: top-left red, top-right green, bottom-left blue, bottom-right
// white with alpha 0x80.
const std::vector<uint32_t> kQuadTexels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF};

TEST_F(D3D8Test, TextureRowZeroIsTheImageTopAndFormatsConvert)
{
    IDirect3DTexture8* tex = MakeTexture(2, 2, D3DFMT_A8R8G8B8, kQuadTexels);
    ASSERT_NE(tex, nullptr);
    dev->SetTexture(0, tex);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    DrawQuad(0xFFFFFFFF);
    VantorImage img = Read();
    EXPECT_EQ(img.At(10, 10), 0xFFFF0000u);
    EXPECT_EQ(img.At(50, 10), 0xFF00FF00u);
    EXPECT_EQ(img.At(10, 50), 0xFF0000FFu);
    EXPECT_EQ(img.At(50, 50), 0xFFFFFFFFu);  // alpha is not kept by an X8R8G8B8 target

    // X8R8G8B8 reads alpha as 1 whatever the memory holds; R5G6B5 and L8
    // expand to 8 bits per channel.
    IDirect3DTexture8* x8 = MakeTexture(2, 2, D3DFMT_X8R8G8B8, {0x00123456, 0x00123456, 0x00123456, 0x00123456});
    dev->SetTexture(0, x8);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    DrawQuad(0xFFFFFFFF);
    EXPECT_EQ(Center(), 0xFF123456u);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    IDirect3DTexture8* rgb565 = nullptr;
    ASSERT_EQ(dev->CreateTexture(1, 1, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &rgb565), D3D_OK);
    owned.push_back(rgb565);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(rgb565->LockRect(0, &lr, nullptr, 0), D3D_OK);
    *static_cast<uint16_t*>(lr.pBits) = static_cast<uint16_t>((31 << 11) | (32 << 5) | 0);
    ASSERT_EQ(rgb565->UnlockRect(0), D3D_OK);
    dev->SetTexture(0, rgb565);
    DrawQuad(0xFFFFFFFF);
    EXPECT_ARGB_NEAR(Center(), 0xFFFF8200u, 2);

    IDirect3DTexture8* l8 = nullptr;
    ASSERT_EQ(dev->CreateTexture(1, 1, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &l8), D3D_OK);
    owned.push_back(l8);
    ASSERT_EQ(l8->LockRect(0, &lr, nullptr, 0), D3D_OK);
    *static_cast<uint8_t*>(lr.pBits) = 0x40;
    ASSERT_EQ(l8->UnlockRect(0), D3D_OK);
    dev->SetTexture(0, l8);
    DrawQuad(0xFFFFFFFF);
    EXPECT_EQ(Center(), 0xFF404040u);
    dev->SetTexture(0, nullptr);
}

// Fixed-function operations against per-channel arithmetic on the CPU.
TEST_F(D3D8Test, FixedFunctionOperationsMatchTheCpu)
{
    const uint32_t texel = 0x80C04020, diffuse = 0xC0208040;
    IDirect3DTexture8* tex = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {texel});
    dev->SetTexture(0, tex);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    // Read alpha back through a blend with a black destination is not
    // possible on an X8 target, so alpha results go to colour via a second
    // stage that selects current alpha replicated.
    auto f = [](uint32_t c, int s) { return static_cast<double>((c >> s) & 0xFF) / 255.0; };
    struct Case {
        DWORD op;
        double (*fn)(double t, double d, double ta);
    };
    const Case cases[] = {
        {D3DTOP_SELECTARG1, [](double t, double, double) { return t; }},
        {D3DTOP_SELECTARG2, [](double, double d, double) { return d; }},
        {D3DTOP_MODULATE, [](double t, double d, double) { return t * d; }},
        {D3DTOP_MODULATE2X, [](double t, double d, double) { return 2 * t * d; }},
        {D3DTOP_ADD, [](double t, double d, double) { return t + d; }},
        {D3DTOP_ADDSIGNED, [](double t, double d, double) { return t + d - 0.5; }},
        {D3DTOP_SUBTRACT, [](double t, double d, double) { return t - d; }},
        {D3DTOP_BLENDTEXTUREALPHA, [](double t, double d, double ta) { return t * ta + d * (1 - ta); }},
        {D3DTOP_MODULATE4X, [](double t, double d, double) { return 4 * t * d; }},
        {D3DTOP_ADDSMOOTH, [](double t, double d, double) { return t + d - t * d; }},
        {D3DTOP_ADDSIGNED2X, [](double t, double d, double) { return 2 * (t + d - 0.5); }},
        {D3DTOP_BLENDDIFFUSEALPHA, [](double t, double d, double) { return t * (0xC0 / 255.0) + d * (1 - 0xC0 / 255.0); }},
        {D3DTOP_MODULATEALPHA_ADDCOLOR, [](double t, double d, double ta) { return t + ta * d; }},
    };
    for (const Case& c : cases) {
        dev->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        DrawQuad(diffuse);
        uint32_t expected = 0xFF000000u;
        for (int s = 0; s < 24; s += 8) {
            const double v = std::clamp(c.fn(f(texel, s), f(diffuse, s), f(texel, 24)), 0.0, 1.0);
            expected |= static_cast<uint32_t>(v * 255.0 + 0.5) << s;
        }
        EXPECT_ARGB_NEAR(Center(), expected, 1) << "colour op " << c.op;
    }
    // Alpha operations: stage 1 shows the stage-0 alpha as colour.
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT | D3DTA_ALPHAREPLICATE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    for (const Case& c : cases) {
        if (c.op == D3DTOP_BLENDTEXTUREALPHA)
            continue;
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, c.op);
        DrawQuad(diffuse);
        const double a = std::clamp(c.fn(f(texel, 24), f(diffuse, 24), f(texel, 24)), 0.0, 1.0);
        const uint32_t v = static_cast<uint32_t>(a * 255.0 + 0.5);
        EXPECT_ARGB_NEAR(Center(), 0xFF000000u | v << 16 | v << 8 | v, 1) << "alpha op " << c.op;
    }
    // Three-argument operations, the texture factor, and a stage writing
    // the temporary register that a later stage reads.
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0x40204080);
    dev->SetTextureStageState(0, D3DTSS_COLORARG0, D3DTA_TFACTOR);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD);
    DrawQuad(diffuse);
    uint32_t expected = 0xFF000000u;
    for (int s = 0; s < 24; s += 8)
        expected |= static_cast<uint32_t>(std::clamp(f(0x40204080, s) + f(texel, s) * f(diffuse, s), 0.0, 1.0) * 255.0 + 0.5) << s;
    EXPECT_ARGB_NEAR(Center(), expected, 1) << "MULTIPLYADD";
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_LERP);
    DrawQuad(diffuse);
    expected = 0xFF000000u;
    for (int s = 0; s < 24; s += 8) {
        const double k = f(0x40204080, s);
        expected |= static_cast<uint32_t>((k * f(texel, s) + (1 - k) * f(diffuse, s)) * 255.0 + 0.5) << s;
    }
    EXPECT_ARGB_NEAR(Center(), expected, 1) << "LERP";
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);  // still the diffuse colour
    DrawQuad(diffuse);
    expected = 0xFF000000u;
    for (int s = 0; s < 24; s += 8)
        expected |= static_cast<uint32_t>(std::min(1.0, f(texel, s) + f(diffuse, s)) * 255.0 + 0.5) << s;
    EXPECT_ARGB_NEAR(Center(), expected, 1) << "RESULTARG TEMP";
    dev->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_CURRENT);
    dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);

    // Complemented argument and the stage-1 DISABLE that ends the cascade.
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT);
    DrawQuad(diffuse);
    EXPECT_ARGB_NEAR(Center(), 0xFF3FBFDFu, 1);
    // An operation this runtime does not run fails the draw cleanly.
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    Upload({V(-1, 1, 0.5f), V(1, 1, 0.5f), V(-1, -1, 0.5f)});
    dev->BeginScene();
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    dev->EndScene();
    dev->SetTexture(0, nullptr);
}

// The sky pass: stage 0 sky texture modulated by the vertex colour, stage 1
// clouds laid over it by their alpha, read through texture set 1.
TEST_F(D3D8Test, TwoStageSkyBlendReadsTextureSetOne)
{
    IDirect3DTexture8* sky = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF2040C0});
    IDirect3DTexture8* clouds = MakeTexture(2, 1, D3DFMT_A8R8G8B8, {0x40FFFFFF, 0xC0FFFFFF});
    dev->SetTexture(0, sky);
    dev->SetTexture(1, clouds);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
    // Texture set 1 addresses the right-hand cloud texel everywhere.
    std::vector<TestVertex> q = {V(-1, 1, 0.5f), V(1, 1, 0.5f), V(-1, -1, 0.5f), V(1, -1, 0.5f)};
    for (TestVertex& v : q) {
        v.u1 = 0.75f;
        v.v1 = 0.5f;
    }
    Upload(q);
    dev->BeginScene();
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    dev->EndScene();
    const double a = 0xC0 / 255.0;
    auto mix = [&](double cloud, double skyc) { return static_cast<uint32_t>((cloud * a + skyc * (1 - a)) * 255 + 0.5); };
    const uint32_t expected =
        0xFF000000u | mix(1, 0x20 / 255.0) << 16 | mix(1, 0x40 / 255.0) << 8 | mix(1, 0xC0 / 255.0);
    EXPECT_ARGB_NEAR(Center(), expected, 1);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    dev->SetTexture(0, nullptr);
    dev->SetTexture(1, nullptr);
}

TEST_F(D3D8Test, VertexFogMixesTowardTheFogColour)
{
    dev->SetRenderState(D3DRS_FOGCOLOR, 0x00CFCFCF);
    for (float fog : {1.3f, 1.0f, 0.25f, 0.0f, -0.5f}) {
        const float c1[4] = {1.0f, 0.5f, fog, 0.0f};
        dev->SetVertexShaderConstant(1, c1, 1);
        for (BOOL enabled : {FALSE, TRUE}) {
            dev->SetRenderState(D3DRS_FOGENABLE, enabled);
            DrawQuad(0xFF204060);
            const double f = enabled ? std::clamp(static_cast<double>(fog), 0.0, 1.0) : 1.0;
            auto ch = [&](double c) { return static_cast<uint32_t>((c * f + (0xCF / 255.0) * (1 - f)) * 255 + 0.5); };
            const uint32_t expected =
                0xFF000000u | ch(0x20 / 255.0) << 16 | ch(0x40 / 255.0) << 8 | ch(0x60 / 255.0);
            EXPECT_ARGB_NEAR(Center(), expected, 1) << "fog " << fog << " enabled " << enabled;
        }
    }
    dev->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

TEST_F(D3D8Test, RenderTargetTextureSampledWithDirect3DCoordinatesIsUpright)
{
    IDirect3DTexture8* target = nullptr;
    ASSERT_EQ(D3DXCreateTexture(dev, 32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target),
              D3D_OK);
    owned.push_back(target);
    IDirect3DSurface8 *surface = nullptr, *backBuffer = nullptr, *depth = nullptr, *rtDepth = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
    ASSERT_EQ(dev->GetRenderTarget(&backBuffer), D3D_OK);
    ASSERT_EQ(dev->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(dev->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, &rtDepth), D3D_OK);

    ASSERT_EQ(dev->SetRenderTarget(surface, rtDepth), D3D_OK);
    D3DVIEWPORT8 vp;
    ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 32u);  // setting a target resets the viewport to it
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    DrawQuad(0xFFFF0000, 0.5f, -1, 0, 0, 1);  // top-left quarter red
    VantorImage rt;
    ASSERT_EQ(VantorReadSurface(surface, &rt), D3D_OK);
    EXPECT_EQ(rt.At(4, 4), 0xFFFF0000u);
    EXPECT_EQ(rt.At(28, 28), 0xFF0000FFu);

    ASSERT_EQ(dev->SetRenderTarget(backBuffer, depth), D3D_OK);
    dev->SetTexture(0, target);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    DrawQuad(0xFFFFFFFF);  // (u, v) = (0, 0) at the top-left
    const VantorImage img = Read();
    EXPECT_EQ(img.At(8, 8), 0xFFFF0000u);
    EXPECT_EQ(img.At(56, 8), 0xFF0000FFu);
    EXPECT_EQ(img.At(8, 56), 0xFF0000FFu);
    // A depth surface smaller than the target is refused.
    IDirect3DSurface8* small = nullptr;
    ASSERT_EQ(dev->CreateDepthStencilSurface(16, 16, D3DFMT_D16, D3DMULTISAMPLE_NONE, &small), D3D_OK);
    EXPECT_EQ(dev->SetRenderTarget(surface, small), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetRenderTarget(small, nullptr), D3DERR_INVALIDCALL);
    dev->SetTexture(0, nullptr);
    for (IDirect3DSurface8* s : {surface, backBuffer, depth, rtDepth, small})
        s->Release();
}

TEST_F(D3D8Test, PresentAppliesTheGammaRampOnlyToTheCopy)
{
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF8040FF, 1.0f, 0);
    ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    VantorImage shown;
    ASSERT_EQ(VantorReadPresented(dev, &shown), D3D_OK);
    EXPECT_EQ(shown.At(3, 3), 0xFF8040FFu);  // identity ramp by default

    // The brightness ramp of the engine at 1.5: trunc(i * 256 * 1.5), capped.
    D3DGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i) {
        const double v = std::min(65535.0, static_cast<double>(i) * 256.0 * 1.5);
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(v);
    }
    ramp.blue[0xFF] = 0x1234;  // a distinct blue curve
    dev->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
    ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(VantorReadPresented(dev, &shown), D3D_OK);
    EXPECT_EQ(shown.At(3, 3), 0xFF000000u | (ramp.red[0x80] >> 8) << 16 | (ramp.green[0x40] >> 8) << 8 | 0x12u);
    EXPECT_EQ(Center(), 0xFF8040FFu);  // the back buffer itself is untouched
    D3DGAMMARAMP back;
    dev->GetGammaRamp(&back);
    EXPECT_EQ(back.red[200], ramp.red[200]);
}

TEST_F(D3D8Test, StripsFansAndIndexedDrawsWithBaseVertex)
{
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(dev->CreateIndexBuffer(64, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), D3D_OK);
    owned.push_back(ib);
    // Vertices 0-3 (never drawn) then a full-screen quad at 4-7.
    Upload({V(-1, 1, 0.5f, 0xFFFF0000), V(-1, 1, 0.5f, 0xFFFF0000), V(-1, 1, 0.5f, 0xFFFF0000),
            V(-1, 1, 0.5f, 0xFFFF0000), V(-1, 1, 0.5f, 0xFF00FF00), V(1, 1, 0.5f, 0xFF00FF00),
            V(1, -1, 0.5f, 0xFF00FF00), V(-1, -1, 0.5f, 0xFF00FF00)});
    BYTE* p = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    const uint16_t idx[] = {9, 9, 0, 1, 2, 0, 2, 3};
    std::memcpy(p, idx, sizeof idx);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    dev->SetIndices(ib, 4);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    dev->BeginScene();
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 2, 2), D3D_OK);
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 30, 2), D3DERR_INVALIDCALL);  // past the indices
    dev->EndScene();
    VantorImage img = Read();
    EXPECT_EQ(img.At(2, 2), 0xFF00FF00u);
    EXPECT_EQ(img.At(61, 61), 0xFF00FF00u);

    // A fan of the same quad from vertex 4.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    dev->BeginScene();
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLEFAN, 1020, 4), D3DERR_INVALIDCALL);  // past the buffer
    dev->EndScene();
    img = Read();
    EXPECT_EQ(img.At(61, 2), 0xFF00FF00u);
    EXPECT_EQ(img.At(2, 61), 0xFF00FF00u);
    // Drawing outside BeginScene/EndScene is refused.
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2), D3DERR_INVALIDCALL);
    dev->SetIndices(nullptr, 0);
}

}  // namespace

namespace {

TEST_F(D3D8Test, RepeatedStateCostsNoGlCallsAndProgramsAreCachedByState)
{
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    DrawQuad(0x80FF0000);
    VantorD3D8Stats before{}, after{};
    ASSERT_EQ(VantorGetStats(dev, &before), D3D_OK);
    // The same state set again, and a state changed and changed back
    // before the next draw: the draw needs no GL state call and no program.
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    dev->BeginScene();
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    dev->EndScene();
    ASSERT_EQ(VantorGetStats(dev, &after), D3D_OK);
    EXPECT_EQ(after.glStateCalls, before.glStateCalls);
    EXPECT_EQ(after.programsLinked, before.programsLinked);

    // Fog on, off and on again: one new program for the fog variant, then
    // both come from the cache.
    dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
    DrawQuad(0x80FF0000);
    ASSERT_EQ(VantorGetStats(dev, &before), D3D_OK);
    EXPECT_EQ(before.programsLinked, after.programsLinked + 1);
    for (int i = 0; i < 3; ++i) {
        dev->SetRenderState(D3DRS_FOGENABLE, FALSE);
        DrawQuad(0x80FF0000);
        dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
        DrawQuad(0x80FF0000);
    }
    ASSERT_EQ(VantorGetStats(dev, &after), D3D_OK);
    EXPECT_EQ(after.programsLinked, before.programsLinked);
    EXPECT_EQ(after.shadersCompiled, before.shadersCompiled);
    dev->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

}  // namespace
