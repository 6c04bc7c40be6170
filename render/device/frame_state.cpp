#include "render/device/frame_state.h"

#include <iostream>

#include "kernel/error_stream.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/render_state.h"
#include "render/device/render_device.h"

namespace {
// Stream-source frequency flags: stream 0 repeats its indexed data `count`
// times, stream 1 steps once per instance.
constexpr uint32_t kIndexedData = 0x40000000u;
constexpr uint32_t kInstanceData = 0x80000000u;
} // namespace

FrameState::FrameState(RenderDevice& owner) : owner_(owner)
{
    primitiveTypes[2] = gfx::kPrimitiveLineList;
    primitiveTypes[3] = gfx::kPrimitiveTriangleList;
    clipMatrix.SetIdentity();
}

void FrameState::ForgetCameraIn(const void* begin, const void* end)
{
    const float4x4** pointers[] = {&camera.view, &camera.projection, &camera.cameraWorld, &camera.viewProj,
                                   &camera.invViewProj};
    for (const float4x4** pointer : pointers) {
        const void* target = *pointer;
        if (target >= begin && target < end)
            *pointer = nullptr;
    }
}

void FrameState::SetRenderStateCached(uint32_t state, uintptr_t value)
{
    gfx::Device* device = owner_.Device();
    gfx::Result result = gfx::kInvalidCall;
    if (!device) {
        // No device: the call fails.
    } else if (state == kClipPlaneState && value == 0) {
        result = device->SetRenderState(gfx::kRsClipPlaneEnable, 0);
    } else if (state == kClipPlaneState) {
        const float* plane = reinterpret_cast<const float*>(value);
        clipPlane = {plane[0], plane[1], plane[2], plane[3]};
        // Carries the world-space plane into clip space. Without an applied
        // camera there is no matrix: the plane goes as it is.
        const float4x4 m = camera.invViewProj ? *camera.invViewProj : IdentityMatrix();
        clipMatrix = Transpose(m);
        const float4 p = clipPlane;
        float out[4];
        for (int j = 0; j < 4; ++j)
            out[j] = m(j, 0) * p.x + m(j, 1) * p.y + m(j, 2) * p.z + m(j, 3) * p.w;
        clipPlane = {out[0], out[1], out[2], out[3]};
        device->SetClipPlane(1, out);
        result = device->SetRenderState(gfx::kRsClipPlaneEnable, gfx::kClipPlane0 << 1);
    } else {
        result = device->SetRenderState(state, static_cast<uint32_t>(value));
    }
    if (owner_.KeepResult(result) != gfx::kOk)
        std::cout << "SetRenderState failed.\n";
}

gfx::Result FrameState::SetInstancing(uint32_t count, gfx::VertexBuffer* buffer, uint32_t stride, uint32_t offset)
{
    if (!buffer) {
        errorTwoLines = false;
        GetErrorStream() << "SetInstancing: NULL buffer!\n";
    }
    gfx::Device* device = owner_.Device();
    if (!device)
        return owner_.KeepResult(gfx::kInvalidCall);
    const uint32_t indexed = kIndexedData | count;
    if (indexed != instancing.stream0Frequency) {
        device->SetStreamSourceFreq(0, indexed);
        instancing.stream0Frequency = indexed;
    }
    const uint32_t instanced = kInstanceData | 1u;
    if (instanced != instancing.stream1Frequency) {
        device->SetStreamSourceFreq(1, instanced);
        instancing.stream1Frequency = instanced;
    }
    const gfx::Result result = owner_.KeepResult(device->SetStreamSource(1, buffer, offset, stride));
    instancing.instanceStreamOffset = offset;
    instancing.instanceStream = buffer;
    return result;
}

void FrameState::SetInstancingOff()
{
    // The frequencies too: a null instance buffer still switched them on.
    if (!instancing.instanceStream && instancing.stream0Frequency == 1 && instancing.stream1Frequency == 1)
        return;
    if (gfx::Device* device = owner_.Device()) {
        device->SetStreamSourceFreq(0, 1);
        device->SetStreamSourceFreq(1, 1);
    }
    instancing.stream0Frequency = 1;
    instancing.stream1Frequency = 1;
    instancing.instanceStream = nullptr;
}
