#include "render/frame/scene_renderer.h"

#include <algorithm>
#include <iostream>

#include "kernel/error_stream.h"
#include "kernel/math/quat.h"
#include "kernel/rs_hash.h"
#include "kernel/settings.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/device/render_device.h"
#include "render/effects/effect.h"
#include "render/frame/render_queue.h"

SceneRenderer* currentSceneRenderer = nullptr;

namespace {
// Numbered by its capacity, so an overflow reads "staticVector 8 overflow.".
FrameLightNodes frameLightNodes(8);
} // namespace

FrameLightNodes& GetFrameLightNodes()
{
    return frameLightNodes;
}

void ResetFrameLists()
{
    if (currentSceneRenderer)
        currentSceneRenderer->ResetFrameLists();
    else
        frameLightNodes.count = 0;
}

SceneRenderer::SceneRenderer()
{
    scratchMatrix.SetIdentity();
    adaptationIncrements = GetSettings().GetFloat("Graphics", "HDRadaptationIncrements");
    currentSceneRenderer = this;
    frameRendererHdr = &hdrEnabled;

    instancingDecl.CreateUnique();
    instancingDecl.SetState(resource_state::kLoaded);

    transform.SetPosition({0.0f, 0.0f, 0.0f, 1.0f});
    transform.SetRotation(QuatFromAxisAngle({0.0f, 0.0f, 1.0f}, 0.0f));
    transform.SetScale({1.0f, 1.0f, 1.0f, 1.0f});

    const uint32_t size = InstancingBufferSize();
    AllocMatrixArray(instanceMatrices, size);
    if (!instanceMatrices.matrices)
        instanceMatrices.count = 0;
    // Batching keeps one record per run; a queue of the same capacity has at most half as many.
    runs_.reserve(size / 2 + 1);

    lights.reserve(8);
    depthId = RSHash("depth");
}

SceneRenderer::~SceneRenderer()
{
    if (RendererExists()) {
        RenderDevice* renderer = GetRenderer();
        for (gfx::VertexBuffer*& buffer : instancingBuffers) {
            renderer->Resources().ReleaseVertexBuffer(buffer);
            buffer = nullptr;
        }
    }
    instancingDecl.ReleaseResource();
    if (currentSceneRenderer == this)
        currentSceneRenderer = nullptr;
    if (frameRendererHdr == &hdrEnabled)
        frameRendererHdr = nullptr;
}

void SceneRenderer::CreateInstancingPool()
{
    instancingReady = 1;
    const uint32_t size = InstancingBufferSize();
    const uint32_t stride = instancingDecl.GetStreamStride(1);
    // Without room for an instance there is no pool: everything draws singly.
    if (size == 0 || stride == 0)
        return;
    const float megabytes = static_cast<float>(stride * size) * (1.0f / 1024.0f) * (1.0f / 1024.0f);
    std::cout << "Allocating instancing buffers for " << megabytes << " MB\n";
    RenderDevice* renderer = GetRenderer();
    for (gfx::VertexBuffer*& buffer : instancingBuffers) {
        if (!renderer->Resources().CreateVertexBuffer(&buffer, size, stride, gfx::kUsageDynamic)) {
            // A pool short of a buffer is no pool: batches would have nowhere to go.
            for (gfx::VertexBuffer*& made : instancingBuffers) {
                renderer->Resources().ReleaseVertexBuffer(made);
                made = nullptr;
            }
            return;
        }
    }
    instancingBufferBytes = stride * size;
}

void SceneRenderer::RemoveInstanceArray(RenderQueue* queue)
{
    const auto at = std::find(queues.begin(), queues.end(), queue);
    if (at != queues.end())
        queues.erase(at);
}

bool SceneRenderer::NextInstancingBuffer(uint32_t bytes, InstancingReservation& out)
{
    if (!instancingBuffers[0] || bytes > instancingBufferBytes)
        return false;
    auto lock = [this](uint32_t index) {
        void* memory = nullptr;
        if (instancingBuffers[index]->Lock(0, 0, &memory, gfx::kLockDiscard) != gfx::kOk || !memory)
            return false;
        instancingData = static_cast<uint8_t*>(memory);
        instancingLocked = 1;
        return true;
    };
    if (!instancingLocked && currentInstancingBuffer == 0 && instancingBufferUsed == 0 && !lock(0))
        return false;
    if (instancingLocked && instancingBufferBytes - instancingBufferUsed > bytes) {
        out = {instancingBuffers[currentInstancingBuffer], instancingBufferUsed, instancingData + instancingBufferUsed};
        instancingBufferUsed += bytes;
        return true;
    }
    if (currentInstancingBuffer + 1 >= kInstancingBufferCount) {
        errorTwoLines = false;
        GetErrorStream() << "Out of instancing buffers.\n";
        return false;
    }
    if (instancingLocked) {
        instancingBuffers[currentInstancingBuffer]->Unlock();
        instancingLocked = 0;
    }
    ++currentInstancingBuffer;
    instancingBufferUsed = 0;
    if (!lock(currentInstancingBuffer))
        return false;
    out = {instancingBuffers[currentInstancingBuffer], 0, instancingData};
    instancingBufferUsed = bytes;
    return true;
}

void SceneRenderer::RewindInstancingBuffers()
{
    if (instancingLocked) {
        instancingBuffers[currentInstancingBuffer]->Unlock();
        instancingLocked = 0;
    }
    instancingData = nullptr;
    currentInstancingBuffer = 0;
    instancingBufferUsed = 0;
}

void SceneRenderer::ResetFrameLists()
{
    frameLightNodes.count = 0;
    // The storage stays for the next frame: a frame allocates nothing.
    lights.clear();
}
