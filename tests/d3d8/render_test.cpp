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
