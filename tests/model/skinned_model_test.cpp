// The skinned model: reading and its load-time checks, the one-time build
// (bone space, sort, batches, buffers, textures) and CPU skinning per draw,
// against the recording fake device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "fake_d3d.h"
#include "model/render_vertex.h"
#include "model/skinned_model.h"
#include "model_test_util.h"

using vmath::Mat4;
using vmath::Vec3;

namespace {

// Root at the origin; Arm under it at (10, 0, 0), turned 90 degrees about z
// in frame 0 and straight in frame 1.
const char* const kSkeleton = R"(
bones {
0 Root -1
1 Arm 0
}
animation {
frame 0 {
0 0 0 0 0 0
10 0 0 0 0 1.5707963
}
frame 1 {
0 0 0 0 0 0
10 0 0 0 0 0
}
}
)";

std::string Model(const std::string& shaders, const std::string& vertices, const std::string& faces)
{
    return std::string(kSkeleton) + "shaders {\n" + shaders + "}\nvertices {\n" + vertices + "}\nfaces {\n" +
           faces + "}\n";
}

const char* const kShaders = "0 textures/a.png\n1 textures/b.png\n";
// Vertex 0 on Root, 1 and 2 on Arm, 3 on no bone.
const char* const kVertices =
    "1 2 3 0 0 2 0.5 0.25 0\n"
    "10 5 0 1 0 0 0.1 0.9 1\n"
    "10 0 7 0 1 0 0.2 0.8 1\n"
    "4 4 4 0 0 1 0.3 0.7 -1\n";

std::string Track2() { return "bones { 0 T -1 } animation { frame 0 { 0 0 0 0 0 0 } frame 1 { 1 0 0 0 0 0 } }"; }

std::vector<RenderVertex> VertexBufferOf(const fake::Device& device)
{
    const auto& bytes = device.vertexBuffers.back()->bytes;
    std::vector<RenderVertex> out(bytes.size() / sizeof(RenderVertex));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(RenderVertex));
    return out;
}

std::vector<uint16_t> IndexBufferOf(const fake::Device& device)
{
    const auto& bytes = device.indexBuffers.back()->bytes;
    std::vector<uint16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

TEST(SkinnedModelParse, VerticesFlipVAndNormaliseNormals)
{
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
    ASSERT_EQ(model.Vertices().size(), 4u);
    const ModelVertex& v = model.Vertices()[0];
    EXPECT_FLOAT_EQ(v.u, 0.5f);
    EXPECT_FLOAT_EQ(v.v, 0.75f);
    EXPECT_TRUE(VecNear({v.nx, v.ny, v.nz}, {0, 0, 1}, 0));
    EXPECT_EQ(model.Vertices()[3].bone, -1);
    EXPECT_EQ(model.Shaders()[1].path, "textures/b.png");
    EXPECT_EQ(model.GetSkeleton().BoneCount(), 2);
}

TEST(SkinnedModelParse, ZeroLengthNormalStaysZero)
{
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, "0 0 0 0 0 0 0 0 -1\n", "0 0 0 0\n")));
    const ModelVertex& v = model.Vertices()[0];
    EXPECT_EQ(v.nx, 0.0f);
    EXPECT_EQ(v.ny, 0.0f);
    EXPECT_EQ(v.nz, 0.0f);
}

TEST(SkinnedModelParse, ValuesBeyondTheFloatRangeAreRefusedAndHugeNormalsStayUnit)
{
    CSkinnedModel m;
    for (const char* v : {"1e39 0 0 0 0 1 0 0 0\n", "0 -1e39 0 0 0 1 0 0 0\n", "0 0 0 1e39 0 1 0 0 0\n",
                          "0 0 0 0 0 -1e39 0 0 0\n", "0 0 0 0 0 1 1e39 0 0\n"})
        EXPECT_FALSE(m.ParseText(Model(kShaders, v, "0 0 0 0\n"))) << v;
    // Components whose squares overflow a float still give a unit normal.
    ASSERT_TRUE(m.ParseText(Model(kShaders, "0 0 0 2e38 1.5e38 0 0 0 0\n", "0 0 0 0\n")));
    EXPECT_NEAR(m.Vertices()[0].nx, 0.8f, 1e-6f);
    EXPECT_NEAR(m.Vertices()[0].ny, 0.6f, 1e-6f);
}

TEST(SkinnedModelParse, RequiresAllSectionsAndASkeleton)
{
    CSkinnedModel model;
    const std::string noFaces = std::string(kSkeleton) + "shaders { 0 a.png } vertices { 0 0 0 0 0 1 0 0 -1 }";
    EXPECT_FALSE(model.ParseText(noFaces));
    CSkeleton skeleton;
    EXPECT_TRUE(skeleton.LoadFromText(noFaces));  // the same file is a fine skeleton
    EXPECT_FALSE(model.ParseText("shaders { 0 a.png } vertices { 0 0 0 0 0 1 0 0 -1 } faces { 0 0 0 0 }"));
    EXPECT_FALSE(model.ParseText(Model(kShaders, kVertices, "0 1 2")));  // ends inside a record
    // Mesh sections may come before the skeleton's.
    EXPECT_TRUE(model.ParseText("faces { 0 0 0 0 } vertices { 0 0 0 0 0 1 0 0 -1 } shaders { 0 a.png } " +
                                std::string(kSkeleton)));
}

TEST(SkinnedModelParse, RejectsIndicesOutsideTheirTables)
{
    const char* badFaces[] = {"0 1 4 0\n", "-1 1 2 0\n", "0 1 2 2\n", "0 1 2 -1\n"};
    for (const char* faces : badFaces) {
        CSkinnedModel model;
        EXPECT_FALSE(model.ParseText(Model(kShaders, kVertices, faces))) << faces;
    }
    CSkinnedModel model;
    EXPECT_FALSE(model.ParseText(Model(kShaders, "0 0 0 0 0 1 0 0 2\n", "0 0 0 0\n")));  // bone 2 of 2
    EXPECT_TRUE(model.ParseText(Model(kShaders, "0 0 0 0 0 1 0 0 -5\n", "0 0 0 0\n")));  // any negative: no bone
}

TEST(SkinnedModelParse, VertexCountIsLimitedBySixteenBitIndices)
{
    std::string vertices;
    vertices.reserve(CSkinnedModel::kMaxVertices * 20);
    for (size_t i = 0; i < CSkinnedModel::kMaxVertices; ++i)
        vertices += "0 0 0 0 0 1 0 0 -1\n";
    CSkinnedModel model;
    EXPECT_TRUE(model.ParseText(Model(kShaders, vertices, "65535 0 1 0\n")));
    vertices += "0 0 0 0 0 1 0 0 -1\n";
    EXPECT_FALSE(model.ParseText(Model(kShaders, vertices, "65535 0 1 0\n")));
}

TEST(SkinnedModelBuild, EmptyFacesOrMissingTexturesFail)
{
    fake::Render render;
    CSkinnedModel model;
    EXPECT_FALSE(model.LoadFromBytes({}, render));
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "")));
    EXPECT_FALSE(model.Build(render));

    render.missing.insert("textures/b.png");
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
    EXPECT_FALSE(model.Build(render));
    ASSERT_EQ(render.loads.size(), 2u);
    EXPECT_EQ(render.loads[0].path, "textures/a.png");
    EXPECT_EQ(render.loads[0].mipLevels, 0u);
    EXPECT_EQ(render.loads[0].format, D3DFMT_UNKNOWN);
}

TEST(SkinnedModelBuild, BufferFailuresFailTheBuild)
{
    const std::string text = Model(kShaders, kVertices, "0 1 2 0\n");
    {
        fake::Render render;
        render.device.failCreateVertexBuffer = true;
        CSkinnedModel model;
        EXPECT_FALSE(model.LoadFromBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, render));
    }
    {
        fake::Render render;
        render.device.failCreateIndexBuffer = true;
        CSkinnedModel model;
        ASSERT_TRUE(model.ParseText(text));
        EXPECT_FALSE(model.Build(render));
    }
    {
        fake::Render render;
        render.device.failLocks = true;
        CSkinnedModel model;
        ASSERT_TRUE(model.ParseText(text));
        EXPECT_FALSE(model.Build(render));
    }
    {
        fake::Render render;
        render.noDevice = true;
        CSkinnedModel model;
        ASSERT_TRUE(model.ParseText(text));
        EXPECT_FALSE(model.Build(render));
    }
}

TEST(SkinnedModelBuild, SortsFacesIntoBatchesWithVertexRanges)
{
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "1 2 3 1\n0 1 2 0\n0 2 3 1\n1 1 2 0\n")));
    ASSERT_TRUE(model.Build(render));
    ASSERT_EQ(model.Batches().size(), 2u);
    const DrawBatch& b0 = model.Batches()[0];
    EXPECT_EQ(b0.shader, 0);
    EXPECT_EQ(b0.firstFace, 0);
    EXPECT_EQ(b0.lastFace, 1);
    EXPECT_EQ(b0.minVertex, 0);
    EXPECT_EQ(b0.maxVertex, 2);
    const DrawBatch& b1 = model.Batches()[1];
    EXPECT_EQ(b1.shader, 1);
    EXPECT_EQ(b1.firstFace, 2);
    EXPECT_EQ(b1.lastFace, 3);
    EXPECT_EQ(b1.minVertex, 0);
    EXPECT_EQ(b1.maxVertex, 3);

    // Buffers: 68 bytes per vertex, 6 per face, dynamic + write-only,
    // default pool; the index buffer holds the faces in sorted order.
    const auto& device = render.device;
    ASSERT_EQ(device.vertexBuffers.size(), 1u);
    EXPECT_EQ(device.vertexBuffers[0]->bytes.size(), 4u * 68);
    EXPECT_EQ(device.vertexBuffers[0]->usage, DWORD(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(device.vertexBuffers[0]->pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(device.indexBuffers[0]->format, D3DFMT_INDEX16);
    EXPECT_EQ(device.indexBuffers[0]->lockFlags, std::vector<DWORD>{D3DLOCK_DISCARD});
    EXPECT_EQ(IndexBufferOf(device), (std::vector<uint16_t>{0, 1, 2, 1, 1, 2, 1, 2, 3, 0, 2, 3}));
}

TEST(SkinnedModelDraw, BindPoseReproducesFilePositions)
{
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
    ASSERT_TRUE(model.Build(render));
    // In bone space the Arm's vertices no longer sit at their file positions.
    EXPECT_FALSE(VecNear({model.Vertices()[1].x, model.Vertices()[1].y, model.Vertices()[1].z}, {10, 5, 0}));

    model.GetSkeleton().Sample(0, 1);  // frame 0 is the bind pose
    model.Draw(vmath::Identity(), false);
    const auto vb = VertexBufferOf(render.device);
    ASSERT_EQ(vb.size(), 4u);
    EXPECT_TRUE(VecNear({vb[0].x, vb[0].y, vb[0].z}, {1, 2, 3}));
    EXPECT_TRUE(VecNear({vb[1].x, vb[1].y, vb[1].z}, {10, 5, 0}));
    EXPECT_TRUE(VecNear({vb[2].x, vb[2].y, vb[2].z}, {10, 0, 7}));
    EXPECT_TRUE(VecNear({vb[1].nx, vb[1].ny, vb[1].nz}, {1, 0, 0}));
    EXPECT_TRUE(VecNear({vb[2].nx, vb[2].ny, vb[2].nz}, {0, 1, 0}));
    EXPECT_EQ(vb[0].color, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(vb[1].u, 0.1f);
    EXPECT_FLOAT_EQ(vb[1].v, 1 - 0.9f);
}

TEST(SkinnedModelDraw, PoseAndWorldMoveCarriedVerticesOnly)
{
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
    ASSERT_TRUE(model.Build(render));
    // Frame 1 straightens the Arm, which frame 0 (the bind pose) turned by
    // 90 degrees about z.
    CSkeleton& sk = model.GetSkeleton();
    sk.SampleClip({1, 1, 1, false}, 0);
    const Mat4 world = vmath::Translation(100, 0, 0);
    model.Draw(world, false);
    const auto vb = VertexBufferOf(render.device);
    const Vec3 expected =
        vmath::TransformPoint(vmath::TransformPoint({10, 5, 0}, sk.GetBindInverse(1)),
                              vmath::Multiply(sk.GetBoneMatrix(1), world));
    EXPECT_TRUE(VecNear({vb[1].x, vb[1].y, vb[1].z}, expected));
    // The Arm is straight in frame 1: the vertex 5 off the joint lies on x.
    EXPECT_TRUE(VecNear(expected, {115, 0, 0}));
    // No bone: the world matrix alone, whatever the pose.
    EXPECT_TRUE(VecNear({vb[3].x, vb[3].y, vb[3].z}, {104, 4, 4}));
    // Normals ignore the translation.
    EXPECT_TRUE(VecNear({vb[3].nx, vb[3].ny, vb[3].nz}, {0, 0, 1}));
}

TEST(SkinnedModelDraw, SetsStatesAndDrawsOneCallPerBatch)
{
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "1 2 3 1\n0 1 2 0\n0 2 3 1\n1 1 2 0\n")));
    ASSERT_TRUE(model.Build(render));
    render.device.calls.clear();
    model.Draw(vmath::Identity(), true);
    const std::vector<std::string> expected = {
        "SetStreamSource(0,vb0,68)",
        "SetIndices(ib0,0)",
        "SetRenderState(19,2)",  // SRCBLEND = ONE
        "SetRenderState(20,1)",  // DESTBLEND = ZERO
        "SetRenderState(7,1)",   // ZENABLE = TRUE
        "SetRenderState(22,2)",  // CULLMODE = CW
        "SetRenderState(28,1)",  // FOGENABLE
        "SetRenderState(34,13619151)",  // FOGCOLOR 0x00CFCFCF
        "SetTextureStageState(1,1,1)",  // stage 1 COLOROP = DISABLE
        "SetTexture(0,textures/a.png)",
        "DrawIndexedPrimitive(4,0,3,0,2)",
        "SetTexture(0,textures/b.png)",
        "DrawIndexedPrimitive(4,0,4,6,2)",
        "SetRenderState(28,0)",
    };
    EXPECT_EQ(render.device.calls, expected);
    EXPECT_EQ(render.device.vertexBuffers[0]->lockFlags, std::vector<DWORD>{D3DLOCK_DISCARD});

    render.device.calls.clear();
    model.Draw(vmath::Identity(), false);
    EXPECT_EQ(std::count(render.device.calls.begin(), render.device.calls.end(), "SetRenderState(28,1)"), 0);
}

TEST(SkinnedModelDraw, SkipsTheFrameWhenTheBufferCannotBeLocked)
{
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
    ASSERT_TRUE(model.Build(render));
    render.device.vertexBuffers[0]->failLock = true;
    render.device.calls.clear();
    model.Draw(vmath::Identity(), true);
    EXPECT_TRUE(render.device.calls.empty());

    CSkinnedModel unbuilt;
    unbuilt.Draw(vmath::Identity(), true);  // nothing to draw, nothing breaks
}

TEST(SkinnedModelDraw, ReleaseBuffersLetsGoOfBothBuffersOnce)
{
    fake::Render render;
    {
        CSkinnedModel model;
        ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
        ASSERT_TRUE(model.Build(render));
        model.ReleaseBuffers();
        EXPECT_EQ(render.device.vertexBuffers[0]->refs, 0u);
        EXPECT_EQ(render.device.indexBuffers[0]->refs, 0u);
        render.device.vertexBuffers[0]->refs = 1;  // a second release would show
        model.Draw(vmath::Identity(), false);
    }
    EXPECT_EQ(render.device.vertexBuffers[0]->refs, 1u);
}

}  // namespace


namespace {

using ModelLoad = ArchiveFixture;

TEST_F(ModelLoad, LoadsByArchivePath)
{
    const std::string text = Model(kShaders, kVertices, "0 1 2 0\n");
    OpenArchive({{"models/ptero.smd", text}, {"models/camera.ani", Track2()}});
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.Load("models/PTERO.smd", render));
    EXPECT_EQ(model.Batches().size(), 1u);
    EXPECT_FALSE(model.Load("models/none.smd", render));
    EXPECT_FALSE(model.Load("models/ptero.smd"));  // no engine to build with

    CSkeleton path;
    ASSERT_TRUE(path.Load("models/camera.ani"));
    EXPECT_EQ(path.FrameCount(), 2);
    EXPECT_FALSE(path.Load("models/camera.anim"));
}

// Every truncation of a valid file ends inside a section (the faces come
// last), so every one of them must fail, and none may read past its end.
TEST(ModelTruncation, EveryPrefixOfAFileFailsCleanly)
{
    const std::string text = Model(kShaders, kVertices, "0 1 2 0\n1 2 3 1\n");
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(text));
    const size_t end = text.rfind('}');
    for (size_t n = 0; n < end; ++n) {
        // A copy of exactly n bytes, so the sanitizers see any read past it.
        const std::vector<uint8_t> prefix(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(model.Parse(prefix)) << n;
    }
}

}  // namespace

namespace {

TEST(SkinnedModelBuild, ANewParseDropsTheOldBuild)
{
    fake::Render render;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(Model(kShaders, kVertices, "0 1 2 0\n")));
    ASSERT_TRUE(model.Build(render));
    // A bad file: vertex bone 7 of 2, which the old skin matrices cannot serve.
    EXPECT_FALSE(model.ParseText(Model(kShaders, "0 0 0 0 0 1 0 0 7\n", "0 0 0 0\n")));
    EXPECT_EQ(render.device.vertexBuffers[0]->refs, 0u);
    EXPECT_FALSE(model.Build(render));
    render.device.calls.clear();
    model.Draw(vmath::Identity(), false);
    EXPECT_TRUE(render.device.calls.empty());
}

}  // namespace
