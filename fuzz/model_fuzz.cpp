// The text model readers: the skeleton (also the camera path's reader) and
// the skinned model, built on the recording device, posed and drawn.
#include <cstdint>
#include <span>

#include "fake_d3d.h"
#include "model/skeleton.h"
#include "model/skinned_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    CSkeleton path;
    if (path.LoadFromBytes(bytes)) {
        for (float t : {0.0f, 0.37f, 1e6f, -5.0f})
            path.Sample(t, 30.0f);
        path.SampleClip({0, path.FrameCount() - 1, 24.0f, true}, 1.5f);
        path.GetKeyPosition(0, path.FrameCount() - 1);
    }

    fake::Render render;
    render.device.record = false;
    CSkinnedModel model;
    if (model.Parse(bytes) && model.Build(render)) {
        CSkeleton& skeleton = model.GetSkeleton();
        skeleton.Sample(0.5f, 15.0f);
        std::vector<BonePose> poses;
        skeleton.CapturePose(poses);
        skeleton.SampleClip({0, 3, 10.0f, false}, 0.25f);
        skeleton.BlendFromPose(poses, 0.5f);
        model.Draw(vmath::Identity(), true);
    }
    return 0;
}
