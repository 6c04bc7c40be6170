#pragma once
// The render device's frame state: the active camera's matrices, the clip
// plane and the render states set through the device, the draw counter, the
// primitive types of draw items, and the instancing stream state.
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/result.h"

// The pseudo render state whose value is a pointer to a world-space clip plane
// (four floats) or null; it goes through SetRenderStateCached like any state.
inline constexpr uint32_t kClipPlaneState = 505;

// The active camera's matrices as ApplyCamera hands them over: pointers into
// the camera, not copies, not owned. Null until a camera is applied.
struct CameraMatrices {
    const float4x4* view = nullptr;
    const float4x4* projection = nullptr;
    const float4x4* cameraWorld = nullptr; // its fourth row is the camera position
    const float4x4* viewProj = nullptr;
    const float4x4* invViewProj = nullptr;
};

// Stream 1 while instancing: the per-instance buffer and the frequencies last
// given to streams 0 and 1.
struct InstanceStreamState {
    gfx::VertexBuffer* instanceStream = nullptr; // not owned; null while instancing is off
    uint32_t instanceStreamOffset = 0;
    uint32_t stream0Frequency = 1;
    uint32_t stream1Frequency = 1;
};

class RenderDevice;

class alignas(16) FrameState {
public:
    explicit FrameState(RenderDevice& owner);
    FrameState(const FrameState&) = delete;
    FrameState& operator=(const FrameState&) = delete;

    // ---- The active camera ----

    // ApplyCamera hands its matrices over here.
    void SetCamera(const CameraMatrices& matrices) { camera = matrices; }
    const CameraMatrices& Camera() const { return camera; }
    // Every matrix pointer into [begin, end) - a camera going away - becomes null.
    void ForgetCameraIn(const void* begin, const void* end);

    // ---- Render states ----

    // Sets a render state on the device; kClipPlaneState takes a clip-plane
    // pointer (or null) and switches user clip plane 1 on (or off). The outcome
    // is in lastResult; a failure prints "SetRenderState failed.".
    void SetRenderStateCached(uint32_t state, uintptr_t value);
    // The plane last handed to the device, in clip space, and the transpose of
    // the inverse view-projection it was carried by.
    const float4& ClipPlane() const { return clipPlane; }
    const float4x4& ClipMatrix() const { return clipMatrix; }

    // ---- Drawing ----

    // Device primitive type of a draw-item primitive kind (2 lines, 3
    // triangles); 0 for the unused kinds 0 and 1. Only the low two bits count.
    uint32_t PrimitiveType(uint32_t kind) const { return primitiveTypes[kind & 3]; }
    // Successful draw calls of the current frame.
    uint32_t DrawCalls() const { return drawCalls; }
    void CountDrawCall() { ++drawCalls; }
    // A frame starts counting from 0.
    void ResetDrawCalls() { drawCalls = 0; }

    // ---- Instancing ----

    bool AllowInstancing() const { return allowInstancing; }
    // What InitDirectDraw read from allowInstancing, changed.
    void SetAllowInstancing(bool allow) { allowInstancing = allow; }
    const InstanceStreamState& Instancing() const { return instancing; }
    // The next indexed draws draw `count` instances whose data is read from
    // `buffer` at `offset`, `stride` bytes each: both stream frequencies (set
    // only when they change) and stream 1 (always). A null buffer is reported
    // ("SetInstancing: NULL buffer!") and bound all the same. The result is
    // that of binding stream 1.
    gfx::Result SetInstancing(uint32_t count, gfx::VertexBuffer* buffer, uint32_t stride, uint32_t offset);
    // Both stream frequencies back to 1 and no instance stream; nothing when
    // instancing is already off.
    void SetInstancingOff();

private:
    RenderDevice& owner_;
    // Device primitive type per draw-item primitive kind.
    uint32_t primitiveTypes[4] = {0, 0, 0, 0};
    InstanceStreamState instancing;
    float4 clipPlane;    // the plane last handed to the device, in clip space
    float4x4 clipMatrix; // scratch: the transpose of *invViewProj
    CameraMatrices camera;
    uint32_t drawCalls = 0;
    bool allowInstancing = true;
};
