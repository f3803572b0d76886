// The canyon: reading and its load-time checks, shadow-atlas coordinates,
// tangent frame, (shader, shadow) batches, the static vertex buffer, the
// draw, and the progress it reports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "canyon/canyon.h"
#include "archive_fixture.h"
#include "fake_d3d.h"
#include "model/render_vertex.h"

using vmath::Vec3;

namespace {

std::span<const uint8_t> Bytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

// Four vertices of a unit square in z = 0 with texture coordinates matching
// x and y (as written in the file, before the 1 - flip).
const char* const kSquareVertices =
    "vertices {\n"
    "0 0 0 0 0 2 0 0 -1\n"
    "300 0 0 0 0 1 1 0 -1\n"
    "300 300 0 0 0 1 1 1 -1\n"
    "0 300 0 0 0 1 0 1 -1\n"
    "}\n";

std::string Canyon(const std::string& faces, const std::string& extra = "")
{
    return "shaders {\n0 textures/rock.jpg\n1 textures/sand.jpg\n}\nshadows {\n0 shadows/shadow.tga\n}\n"
           "faces {\n" + faces + "}\n" + kSquareVertices + extra;
}

TEST(CanyonParse, ReadsTablesAndFlipsBothTextureCoordinates)
{
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(Canyon("0 1 2 0\n0 2 3 1\n", "shadowfaces {\n10 20 0\n}\n")));
    ASSERT_EQ(canyon.Vertices().size(), 4u);
    const CanyonVertex& v = canyon.Vertices()[1];
    EXPECT_FLOAT_EQ(v.u, 0.0f);  // 1 - 1
    EXPECT_FLOAT_EQ(v.v, 1.0f);  // 1 - 0
    EXPECT_EQ(v.colour, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(canyon.Vertices()[0].normal.z, 1.0f);
    ASSERT_EQ(canyon.Faces().size(), 2u);
    EXPECT_EQ(canyon.Faces()[0].patchX, 10);
    EXPECT_EQ(canyon.Faces()[0].patchY, 20);
    EXPECT_EQ(canyon.Faces()[0].shadow, 0);
    EXPECT_EQ(canyon.Faces()[1].shadow, -1);
    EXPECT_EQ(canyon.Shadows()[0].name, "shadows/shadow.tga");
}

TEST(CanyonParse, IndexTokensOfNameTablesDoNotMatter)
{
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText("SHADERS { 5 first.jpg 0 second.jpg } Faces { 0 0 0 1 } VERTICES { 0 0 0 0 0 1 0 0 "
                                 "x }"));
    EXPECT_EQ(canyon.Shaders()[0].name, "first.jpg");
    EXPECT_EQ(canyon.Shaders()[1].name, "second.jpg");
}

TEST(CanyonParse, ShadowFacesLinesMatchFacesByPosition)
{
    CCanyon canyon;
    // More lines than faces: the extra lines are read and dropped.
    ASSERT_TRUE(canyon.ParseText(Canyon("0 1 2 0\n", "shadowfaces { 1 2 0 3 4 0 5 6 0 }")));
    EXPECT_EQ(canyon.Faces()[0].patchX, 1);
    // Before "faces" the lines find no faces to complete.
    ASSERT_TRUE(canyon.ParseText("shadowfaces { 1 2 0 } " + Canyon("0 1 2 0\n")));
    EXPECT_EQ(canyon.Faces()[0].shadow, -1);
    EXPECT_EQ(canyon.Faces()[0].patchX, 0);
    // Two sections continue the count.
    ASSERT_TRUE(canyon.ParseText(Canyon("0 1 2 0\n0 2 3 0\n", "shadowfaces { 1 1 0 } shadowfaces { 7 7 0 }")));
    EXPECT_EQ(canyon.Faces()[1].patchX, 7);
}

TEST(CanyonParse, SectionsInAnyOrderAndUnknownOnesSkipped)
{
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(std::string(kSquareVertices) + "materials { a b } faces { 0 1 2 0 } shaders { 0 "
                                                                "x.jpg }"));
    EXPECT_EQ(canyon.Faces().size(), 1u);
}

TEST(CanyonParse, MalformedFilesFailCleanly)
{
    const std::string cases[] = {
        "shaders { 0 a.jpg } faces { 0 0 0 0 }",                       // no vertices
        "faces { } vertices { 0 0 0 0 0 1 0 0 0 }",                    // no shaders
        "shaders { 0 a.jpg } vertices { 0 0 0 0 0 1 0 0 0 }",          // no faces
        "shaders 0 a.jpg } faces { } vertices { }",                    // missing "{"
        "shaders { 0 a.jpg } faces { 0 0 0 0 } vertices { 0 0 0 0 0 1 0 0",  // ends inside a line
        "shaders { 0 a.jpg } faces { 0 0 0 0 } vertices { 0 0 0 0 0 1 0 0 0",  // ends inside the section
        "shaders { 0 " + std::string(256, 'a') + " } faces { } vertices { }",  // token too long
        "shaders { 0 a.jpg } faces { 0 0 0 0 } vertices { 0 0 0 0 0 1 0 0 0 } shadowfaces { 1 2",
    };
    for (const std::string& text : cases) {
        CCanyon canyon;
        EXPECT_FALSE(canyon.ParseText(text)) << text;
    }
}

TEST(CanyonParse, RejectsIndicesOutsideTheirTablesAndNonFiniteVectors)
{
    const std::string bad[] = {
        Canyon("0 1 4 0\n"),                              // vertex index past the table
        Canyon("0 -1 2 0\n"),                             // negative vertex index
        Canyon("0 1 2 2\n"),                              // shader past the table
        Canyon("0 1 2 -1\n"),                             // negative shader
        Canyon("0 1 2 0\n", "shadowfaces { 0 0 1 }"),     // shadow past the table
        Canyon("0 1 2 0\n", "shadowfaces { 0 0 -2 }"),    // below "none"
        "shaders { 0 a.jpg } faces { 0 0 0 0 } vertices { 1e39 0 0 0 0 1 0 0 0 }",
        "shaders { 0 a.jpg } faces { 0 0 0 0 } vertices { 0 0 0 0 -1e39 1 0 0 0 }",
    };
    for (const std::string& text : bad) {
        CCanyon canyon;
        EXPECT_FALSE(canyon.ParseText(text)) << text;
    }
    CCanyon canyon;
    EXPECT_TRUE(canyon.ParseText(Canyon("0 1 2 0\n", "shadowfaces { 0 0 -1 }")));
}

TEST(CanyonParse, NormalsOfAnyFiniteLengthBecomeUnitAndZeroOnesComeFromTheirFaces)
{
    // The square's two faces lie in z = 0 and turn counter-clockwise seen
    // from +z; vertex 4 belongs to no face.
    const std::string text =
        "shaders { 0 a.jpg } faces { 0 1 2 0 0 2 3 0 } vertices {\n"
        "0 0 0 0 0 0 0 0 0\n300 0 0 3e30 0 0 0 0 0\n300 300 0 0 1e-40 0 0 0 0\n"
        "0 300 0 0 0 -1e-45 0 0 0\n5 5 5 0 0 0 0 0 0\n}";
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(text));
    const auto& v = canyon.Vertices();
    EXPECT_EQ(v[0].normal.z, 1.0f);
    EXPECT_EQ(v[0].normal.x, 0.0f);
    EXPECT_EQ(v[1].normal.x, 1.0f);
    EXPECT_EQ(v[2].normal.y, 1.0f);
    EXPECT_EQ(v[3].normal.z, -1.0f);
    EXPECT_EQ(v[4].normal.x, 0.0f);  // no face to take a normal from
    EXPECT_EQ(v[4].normal.z, 0.0f);
}

TEST(CanyonShadowCoords, ProjectsOnThePlaneFacingTheNormal)
{
    // A floor (normal z), a wall facing x, a wall facing y, and a wall at 45
    // degrees to x and y (a tie, projected on x, y).
    const std::string text =
        "shaders { 0 a.jpg } faces { 0 1 2 0 3 4 5 0 6 7 8 0 9 10 11 0 } shadowfaces { 10 20 0 0 0 0 0 0 0 0 0 0 } "
        "shadows { 0 s.tga } vertices {\n"
        "100 200 7 0 0 1 0 0 0\n400 200 7 0 0 1 0 0 0\n100 350 7 0 0 1 0 0 0\n"
        "5 0 0 1 0 0 0 0 0\n5 150 0 1 0 0 0 0 0\n5 0 300 1 0 0 0 0 0\n"
        "0 5 0 0 1 0 0 0 0\n0 5 300 0 1 0 0 0 0\n150 5 0 0 1 0 0 0 0\n"
        "0 0 0 1 1 0 0 0 0\n150 -150 0 1 1 0 0 0 0\n0 0 150 1 1 0 0 0 0\n"
        "}";
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(text));
    canyon.ComputeShadowCoords();
    const auto& f = canyon.Faces();
    // Floor, patch (10, 20): u from x, v from y, 150 units per texel.
    EXPECT_FLOAT_EQ(f[0].shadowUV[0][0], 11.5f / 1024);
    EXPECT_FLOAT_EQ(f[0].shadowUV[0][1], 21.5f / 1024);
    EXPECT_FLOAT_EQ(f[0].shadowUV[1][0], 13.5f / 1024);
    EXPECT_FLOAT_EQ(f[0].shadowUV[2][1], 22.5f / 1024);
    // Wall facing x: (y, z).
    EXPECT_FLOAT_EQ(f[1].shadowUV[1][0], 2.5f / 1024);
    EXPECT_FLOAT_EQ(f[1].shadowUV[2][1], 3.5f / 1024);
    // Wall facing y: (x, z).
    EXPECT_FLOAT_EQ(f[2].shadowUV[2][0], 2.5f / 1024);
    EXPECT_FLOAT_EQ(f[2].shadowUV[1][1], 3.5f / 1024);
    // 45 degree wall: |n.x| = |n.y|, so (x, y); z does not enter.
    EXPECT_FLOAT_EQ(f[3].shadowUV[2][0], 1.5f / 1024);
    EXPECT_FLOAT_EQ(f[3].shadowUV[2][1], 2.5f / 1024);
    EXPECT_FLOAT_EQ(f[3].shadowUV[1][0], 2.5f / 1024);
    EXPECT_FLOAT_EQ(f[3].shadowUV[1][1], 1.5f / 1024);
}

TEST(CanyonTangents, FollowTheTextureDirectionsAndStayFinite)
{
    // File u grows along -x and v along -y, so the stored (flipped)
    // coordinates grow along +x and +y.
    const std::string text =
        "shaders { 0 a.jpg } faces { 0 1 2 0 3 4 5 0 } vertices {\n"
        "0 0 0 0 0 1 1 1 0\n10 0 0 0 0 1 0 1 0\n0 10 0 0 0 1 1 0 0\n"
        "0 0 0 0 0 0 0.5 0.5 0\n1 0 0 0 0 0 0.5 0.5 0\n0 1 0 0 0 0 0.5 0.5 0\n}";
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(text));
    canyon.ComputeTangents();
    for (int i = 0; i < 3; ++i) {
        const CanyonVertex& v = canyon.Vertices()[size_t(i)];
        EXPECT_NEAR(v.tangent.x, 1.0f, 1e-6f);
        EXPECT_NEAR(v.tangent.y, 0.0f, 1e-6f);
        EXPECT_NEAR(v.binormal.y, 1.0f, 1e-6f);
        EXPECT_NEAR(v.binormal.x, 0.0f, 1e-6f);
    }
    // All three corners share one texture coordinate: no frame, and no NaN.
    // Their zero normals were taken from the face.
    for (int i = 3; i < 6; ++i) {
        const CanyonVertex& v = canyon.Vertices()[size_t(i)];
        EXPECT_EQ(v.tangent.x, 0.0f);
        EXPECT_EQ(v.binormal.y, 0.0f);
        EXPECT_EQ(v.normal.z, 1.0f);
    }
}

TEST(CanyonBatches, SortByShaderThenShadow)
{
    // Shaders 1, 0, 1, 0, 1 with shadows -1 (no line), 0, 0, -1, -1.
    const std::string text = Canyon("0 1 2 1\n0 1 2 0\n0 2 3 1\n0 2 3 0\n1 2 3 1\n",
                                    "shadowfaces { 0 0 -1 0 0 0 0 0 0 }");
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(text));
    canyon.SortAndBatch();
    EXPECT_EQ(canyon.SortedFaces(), (std::vector<uint32_t>{3, 1, 0, 4, 2}));
    ASSERT_EQ(canyon.Batches().size(), 4u);
    const CanyonBatch expected[] = {{0, 0, 0, -1}, {1, 1, 0, 0}, {2, 3, 1, -1}, {4, 4, 1, 0}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(canyon.Batches()[i].first, expected[i].first) << i;
        EXPECT_EQ(canyon.Batches()[i].last, expected[i].last) << i;
        EXPECT_EQ(canyon.Batches()[i].shader, expected[i].shader) << i;
        EXPECT_EQ(canyon.Batches()[i].shadow, expected[i].shadow) << i;
    }
}

TEST(CanyonLoad, ReportsProgressInOrderEvenWhenTheBuildFails)
{
    fake::Render render;
    std::vector<float> progress;
    CCanyon canyon;
    canyon.SetProgressCallback([&](float f) { progress.push_back(f); });
    const std::string text = Canyon("0 1 2 0\n");
    ASSERT_TRUE(canyon.LoadFromBytes(Bytes(text), render));
    EXPECT_EQ(progress, (std::vector<float>{0.3f, 0.5f, 0.7f, 0.8f, 1.0f}));

    progress.clear();
    render.missing.insert("shadows/shadow.tga");
    EXPECT_FALSE(canyon.LoadFromBytes(Bytes(text), render));
    EXPECT_EQ(progress.back(), 1.0f);

    progress.clear();
    EXPECT_FALSE(canyon.LoadFromBytes(Bytes(std::string("shaders { 0 a }")), render));
    EXPECT_EQ(progress, std::vector<float>{0.3f});
}

TEST(CanyonLoad, BuildFailures)
{
    {
        fake::Render render;
        CCanyon canyon;
        const std::string text = Canyon("");  // no faces
        EXPECT_FALSE(canyon.LoadFromBytes(Bytes(text), render));
    }
    {
        fake::Render render;
        render.missing.insert("textures/sand.jpg");
        CCanyon canyon;
        EXPECT_FALSE(canyon.LoadFromBytes(Bytes(Canyon("0 1 2 0\n")), render));
    }
    {
        fake::Render render;
        render.device.failCreateVertexBuffer = true;
        CCanyon canyon;
        EXPECT_FALSE(canyon.LoadFromBytes(Bytes(Canyon("0 1 2 0\n")), render));
        canyon.Draw(true);  // nothing built, nothing drawn
        EXPECT_EQ(render.device.calls.size(), 1u);
    }
    {
        fake::Render render;
        render.device.failLocks = true;
        CCanyon canyon;
        EXPECT_FALSE(canyon.LoadFromBytes(Bytes(Canyon("0 1 2 0\n")), render));
    }
    CCanyon canyon;
    EXPECT_FALSE(canyon.Load("models/absent.smd"));  // no engine, no archive
}

TEST(CanyonLoad, TexturesLoadWithTheirFormatsAndHashNamesLoadNothing)
{
    fake::Render render;
    CCanyon canyon;
    const std::string text =
        "shaders { 0 #hidden 1 textures/rock.jpg } shadows { 0 shadows/shadow.tga } faces { 0 1 2 0 0 2 3 1 } " +
        std::string(kSquareVertices);
    ASSERT_TRUE(canyon.LoadFromBytes(Bytes(text), render));
    ASSERT_EQ(render.loads.size(), 2u);
    EXPECT_EQ(render.loads[0].path, "textures/rock.jpg");
    EXPECT_EQ(render.loads[0].mipLevels, 0u);
    EXPECT_EQ(render.loads[0].format, D3DFMT_UNKNOWN);
    EXPECT_EQ(render.loads[1].path, "shadows/shadow.tga");
    EXPECT_EQ(render.loads[1].mipLevels, 1u);
    EXPECT_EQ(render.loads[1].format, D3DFMT_L8);
    EXPECT_TRUE(canyon.Shaders()[0].skip);
    EXPECT_EQ(canyon.Shaders()[0].texture, nullptr);
}

TEST(CanyonLoad, VertexBufferHoldsThreeVerticesPerSortedFace)
{
    fake::Render render;
    CCanyon canyon;
    const std::string text = Canyon("0 2 3 1\n0 1 2 0\n", "shadowfaces { 0 0 -1 10 20 0 }");
    ASSERT_TRUE(canyon.LoadFromBytes(Bytes(text), render));
    ASSERT_EQ(render.device.vertexBuffers.size(), 1u);
    const auto& vb = *render.device.vertexBuffers[0];
    EXPECT_EQ(vb.bytes.size(), 2u * 204);
    EXPECT_EQ(vb.usage, DWORD(D3DUSAGE_WRITEONLY));
    EXPECT_EQ(vb.fvf, 0u);
    EXPECT_EQ(vb.pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(vb.lockFlags, std::vector<DWORD>{0});
    EXPECT_EQ(vb.unlocks, 1);

    std::vector<RenderVertex> v(6);
    std::memcpy(v.data(), vb.bytes.data(), vb.bytes.size());
    // Sorted order puts file face 1 (shader 0) first: corners 0, 1, 2.
    EXPECT_FLOAT_EQ(v[1].x, 300.0f);
    EXPECT_FLOAT_EQ(v[1].y, 0.0f);
    EXPECT_FLOAT_EQ(v[1].u, 0.0f);
    EXPECT_FLOAT_EQ(v[1].v, 1.0f);
    EXPECT_FLOAT_EQ(v[1].u2, 13.5f / 1024);  // patch (10, 20), 300 units = 2 texels
    EXPECT_FLOAT_EQ(v[1].v2, 21.5f / 1024);
    EXPECT_FLOAT_EQ(v[0].nz, 1.0f);
    EXPECT_EQ(v[0].color, 0xFFFFFFFFu);
    EXPECT_NEAR(v[0].tx, -1.0f, 1e-6f);  // stored u = 1 - x / 300 grows along -x
    // Then file face 0: corners 0, 2, 3.
    EXPECT_FLOAT_EQ(v[3].x, 0.0f);
    EXPECT_FLOAT_EQ(v[4].y, 300.0f);
    EXPECT_FLOAT_EQ(v[5].x, 0.0f);
    EXPECT_FLOAT_EQ(v[5].y, 300.0f);
}

TEST(CanyonDraw, DrawsEveryVisibleBatchWithItsTextures)
{
    fake::Render render;
    CCanyon canyon;
    const std::string text =
        "shaders { 0 textures/rock.jpg 1 #hidden 2 textures/sand.jpg } shadows { 0 s0.tga 1 s1.tga } "
        "faces { 0 1 2 0 0 2 3 0 0 1 2 1 0 1 2 2 0 2 3 2 } shadowfaces { 0 0 1 0 0 -1 0 0 0 0 0 -1 0 0 -1 } " +
        std::string(kSquareVertices);
    ASSERT_TRUE(canyon.LoadFromBytes(Bytes(text), render));
    render.device.calls.clear();
    canyon.Draw(true);
    const std::vector<std::string> expected = {
        "SetStreamSource(0,vb0,68)",
        "SetIndices(-,0)",
        "SetRenderState(19,2)",
        "SetRenderState(20,1)",
        "SetRenderState(7,1)",
        "SetRenderState(22,2)",
        "SetRenderState(28,1)",
        "SetRenderState(34,13619151)",
        "SetTextureStageState(1,1,4)",  // stage 1 MODULATE
        "SetTexture(0,textures/rock.jpg)",  // shader 0 without shadow: stage 1 untouched
        "DrawPrimitive(4,0,1)",
        "SetTexture(0,textures/rock.jpg)",
        "SetTexture(1,s1.tga)",
        "DrawPrimitive(4,3,1)",
        // shader 1 ("#hidden") is skipped
        "SetTexture(0,textures/sand.jpg)",
        "DrawPrimitive(4,9,2)",
        "SetTextureStageState(1,1,1)",
        "SetRenderState(28,0)",
    };
    EXPECT_EQ(render.device.calls, expected);

    render.device.calls.clear();
    canyon.Draw(false);
    EXPECT_EQ(render.device.calls.size(), expected.size() - 2);
}

TEST(CanyonDraw, SquaresOutsideTheViewAreLeftOutAndNeighboursGoAsOneDraw)
{
    fake::Render render;
    CCanyon canyon;
    // Face 0 in the square at the origin, face 1 about 20,000 units east,
    // face 2 in the square next to the origin's: in the buffer by square,
    // the far one last.
    const std::string text =
        "shaders { 0 textures/rock.jpg } shadows { 0 s0.tga } faces { 0 1 2 0 3 4 5 0 6 7 8 0 } "
        "vertices { 0 0 0 0 0 1 0 0 -1 300 0 0 0 0 1 1 0 -1 300 300 0 0 0 1 1 1 -1 "
        "20000 0 0 0 0 1 0 0 -1 20300 0 0 0 0 1 1 0 -1 20300 300 0 0 0 1 1 1 -1 "
        "5200 0 0 0 0 1 0 0 -1 5500 0 0 0 0 1 1 0 -1 5500 300 0 0 0 1 1 1 -1 }";
    ASSERT_TRUE(canyon.LoadFromBytes(Bytes(text), render));
    EXPECT_EQ(canyon.SortedFaces(), (std::vector<uint32_t>{0, 2, 1}));
    auto draws = [&](const vmath::Mat4* view, const vmath::Vec3* eye = nullptr) {
        render.device.calls.clear();
        canyon.Draw(false, view, eye);
        std::vector<std::string> out;
        for (const std::string& c : render.device.calls)
            if (c.rfind("DrawPrimitive", 0) == 0)
                out.push_back(c);
        return out;
    };
    // Clip x = (x - 3000) / 4000, y = (y - 150) / 1000, z = 0.5, w = 1:
    // the two near squares are in view, the far one is not.
    vmath::Mat4 view;
    view.m[0][0] = 1.0f / 4000;
    view.m[1][1] = 1.0f / 1000;
    view.m[2][2] = 0;
    view.m[3][0] = -0.75f;
    view.m[3][1] = -0.15f;
    view.m[3][2] = 0.5f;
    EXPECT_EQ(draws(&view), (std::vector<std::string>{"DrawPrimitive(4,0,2)"}));
    // Moved east so that only the far square is in view.
    view.m[3][0] = -20150.0f / 4000;
    EXPECT_EQ(draws(&view), (std::vector<std::string>{"DrawPrimitive(4,6,1)"}));
    // Behind the near plane (z < 0): nothing.
    view.m[3][2] = -0.5f;
    EXPECT_TRUE(draws(&view).empty());
    // Without a view everything goes in one draw.
    EXPECT_EQ(draws(nullptr), (std::vector<std::string>{"DrawPrimitive(4,0,3)"}));
    // All three in view, seen from beside the far one: nearest first.
    view.m[0][0] = 1.0f / 40000;
    view.m[3][0] = -0.25f;
    view.m[3][2] = 0.5f;
    const vmath::Vec3 eye{19000, 100, 50};
    EXPECT_EQ(draws(&view, &eye), (std::vector<std::string>{"DrawPrimitive(4,6,1)", "DrawPrimitive(4,3,1)",
                                                            "DrawPrimitive(4,0,1)"}));
}

TEST(CanyonDraw, ReleaseDropsTheBufferOnce)
{
    fake::Render render;
    {
        CCanyon canyon;
        ASSERT_TRUE(canyon.LoadFromBytes(Bytes(Canyon("0 1 2 0\n")), render));
        canyon.Release();
        EXPECT_EQ(render.device.vertexBuffers[0]->refs, 0u);
        render.device.vertexBuffers[0]->refs = 1;
        render.device.calls.clear();
        canyon.Draw(false);
        EXPECT_TRUE(render.device.calls.empty());
    }
    EXPECT_EQ(render.device.vertexBuffers[0]->refs, 1u);
}

}  // namespace


namespace {

using CanyonArchive = ArchiveFixture;

TEST_F(CanyonArchive, LoadsByArchivePath)
{
    OpenArchive({{"models/canyon.smd", Canyon("0 1 2 0\n0 2 3 1\n")}});
    fake::Render render;
    CCanyon canyon;
    ASSERT_TRUE(canyon.Load("models/canyon.smd", render));
    EXPECT_EQ(canyon.Batches().size(), 2u);
    // The grid was built by the load: the floor faces up, so a ray coming
    // down meets its front and one going up meets its back.
    EXPECT_TRUE(canyon.IntersectRay({100, 50, 10}, {0.01f, 0.01f, -1}));
    EXPECT_FALSE(canyon.IntersectRay({100, 50, -10}, {0.01f, 0.01f, 1}));
    EXPECT_FALSE(canyon.Load("models/other.smd", render));
    EXPECT_TRUE(canyon.Faces().empty());
}

TEST(CanyonTruncation, EveryPrefixOfAFileFailsCleanly)
{
    const std::string text = Canyon("0 1 2 0\n0 2 3 1\n", "shadowfaces { 1 2 0 }\n");
    CCanyon canyon;
    ASSERT_TRUE(canyon.ParseText(text));
    // The last required section closes at the vertices' "}".
    const size_t end = text.find("}\nshadowfaces");
    for (size_t n = 0; n < end; ++n) {
        const std::vector<uint8_t> prefix(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(canyon.Parse(prefix)) << n;
    }
}

}  // namespace

namespace {

TEST(CanyonLoad, ANewParseDropsTheOldBuildAndAFailedOneBuildsNothing)
{
    fake::Render render;
    CCanyon canyon;
    ASSERT_TRUE(canyon.LoadFromBytes(Bytes(Canyon("0 1 2 0\n")), render));
    EXPECT_FALSE(canyon.ParseText(Canyon("0 1 9 0\n")));  // vertex 9 of 4
    EXPECT_EQ(render.device.vertexBuffers[0]->refs, 0u);
    // The steps after a failed parse touch nothing.
    canyon.ComputeShadowCoords();
    canyon.ComputeTangents();
    canyon.SortAndBatch();
    canyon.BuildGrid();
    EXPECT_TRUE(canyon.Batches().empty());
    EXPECT_FALSE(canyon.IntersectRay({100, 50, 10}, {0.01f, 0.01f, -1}));
    EXPECT_FALSE(canyon.BuildGpu(render));
}

}  // namespace
