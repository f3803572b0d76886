// Per-frame work allocates nothing: sampling, cross-fades and skinning run
// many times a frame on preallocated records. Counts every global operator
// new of this test binary while the calls under test run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "fake_d3d.h"
#include "model/camera_path.h"
#include "model/skinned_model.h"

namespace {
int g_allocations = 0;
bool g_counting = false;
}  // namespace

void* operator new(std::size_t size)
{
    if (g_counting)
        ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (g_counting)
        ++g_allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

struct CountAllocations {
    CountAllocations()
    {
        g_allocations = 0;
        g_counting = true;
    }
    ~CountAllocations() { g_counting = false; }
};

const char* const kModel =
    "bones { 0 Root -1 1 Arm 0 2 Ptero -1 3 PteroCamera -1 }\n"
    "animation {\n"
    "frame 0 { 0 0 0 0 0 0 10 0 0 0 0 1 5 5 5 0 0 0 1 2 3 0 0 0 }\n"
    "frame 1 { 0 0 1 0 0 0 10 0 0 0 1 0 6 5 5 0 0 0 2 2 3 0 0 0 }\n"
    "frame 2 { 0 0 2 0 0 0 10 0 0 1 0 0 7 5 5 0 0 0 3 2 3 0 0 0 }\n"
    "}\n"
    "shaders { 0 a.png 1 b.png }\n"
    "vertices { 1 2 3 0 0 1 0 0 0 4 5 6 0 1 0 0 0 1 7 8 9 1 0 0 0 0 -1 }\n"
    "faces { 0 1 2 0 2 1 0 1 }\n";

TEST(PerFrameWork, SamplingBlendingSkinningAndCameraDoNotAllocate)
{
    fake::Render render;
    render.device.record = false;
    CSkinnedModel model;
    ASSERT_TRUE(model.ParseText(kModel));
    ASSERT_TRUE(model.Build(render));
    CSkeleton& sk = model.GetSkeleton();
    std::vector<BonePose> poses;
    sk.Sample(0.5f, 1.0f);
    sk.CapturePose(poses);  // sizes the list once
    render.device.vertexBuffers[0]->lockFlags.reserve(8);  // the fake's own log

    CountAllocations counting;
    sk.Sample(1.7f, 2.8f);
    sk.SampleClip({0, 2, 15, true}, 0.3f);
    sk.CapturePose(poses);
    sk.BlendFromPose(poses, 0.4f);
    model.Draw(vmath::Identity(), true);
    camera::CameraInputs in;
    in.subFrame = 2;
    in.subFrameCount = 4;
    const camera::CameraFrame frame = camera::UpdateCamera(sk, in);
    camera::PlaceFlock(sk, 12.0, [](int32_t, const vmath::Mat4&) {});
    EXPECT_EQ(g_allocations, 0);
    EXPECT_TRUE(std::isfinite(frame.pose.eye.x));
}

}  // namespace
