#pragma once
// SceneRenderer: the frame renderer the application owns. It brackets each
// frame (BeginFrame: scene begun, draw counter reset, HDR exposure adapted;
// EndFrame: scene ended, image presented, a lost device tolerated silently)
// and draws the render queues for each pass: DrawInstanced merges runs of
// adjacent equal entries into instanced batches written into a pool of six
// dynamic vertex buffers, and DrawBatch draws an entry or a batch, switching
// effect, variant, technique and pass only on a change, with the per-object
// constants (ApplyObjectParameters) and the frame's light constants. It keeps
// the render-state cache and cached device setters, the shared light list the
// traversal fills, and the fog multiplier the weather sets.
//
// The most recently constructed one is currentSceneRenderer. Render thread
// only. Sources: scene_renderer.cpp (construction, pool, frame lists),
// object_parameters.cpp, instanced_drawing.cpp, frame.cpp.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kernel/math/float4x4.h"
#include "kernel/static_vector.h"
#include "platform/gfx/device/buffer.h"
#include "render/device/render_state_cache.h"
#include "render/resources/vertex_declaration.h"
#include "scene/matrix_array.h"
#include "scene/transform.h"

namespace gfx {
class RuntimeEffect;
}

class Effect;
class SceneNode;
struct DrawRecord;
struct LightRecord;
struct RenderQueue;

inline constexpr uint32_t kInstancingBufferCount = 6;
// One 4x4 matrix per instance.
inline constexpr uint32_t kInstanceStride = 64;

// Where one batch's instance data goes in the pool.
struct InstancingReservation {
    gfx::VertexBuffer* buffer = nullptr;
    uint32_t offset = 0;
    uint8_t* data = nullptr;
};

class alignas(16) SceneRenderer {
public:
    // Reads HDRadaptationIncrements and instancingBufferSize of section
    // Graphics; becomes currentSceneRenderer. The pool is made by the first
    // DrawInstanced.
    SceneRenderer();
    // Releases the pool; no longer current.
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // ---- Frame begin and end (frame.cpp) ----
    void BeginFrame();
    void EndFrame();

    // ---- Drawing (instanced_drawing.cpp) ----

    // Draws every queue for the pass `passName` (also the technique drawn)
    // with depth and colour writing switched as given. Leaves no buffer
    // locked, no effect begun and instancing off.
    void DrawInstanced(const std::string& passName, uint8_t colourWrite, uint8_t depthWrite);
    // Draws one entry, or the batch the entry heads.
    void DrawBatch(DrawRecord* item, const float4x4* world, std::vector<LightRecord*>* lights,
                   const std::string& passName);

    // ---- Per-object constants (object_parameters.cpp) ----

    // The item's effect gets the groups "" and then `passName` of its
    // parameters, with the automatic matrices of `world` and the active
    // camera, and "PosCam" with each group.
    void ApplyObjectParameters(DrawRecord* item, const float4x4* world, const std::string& passName);

    // ---- Pool and frame lists (scene_renderer.cpp) ----

    // Reserves `bytes` in the pool: in the current buffer while more than
    // that is left, else at the start of the next one. False when the pool
    // does not exist, the request is larger than a buffer, a lock fails, or
    // the six buffers are used up ("Out of instancing buffers.").
    bool NextInstancingBuffer(uint32_t bytes, InstancingReservation& out);
    // Back to the start of buffer 0; a locked buffer is unlocked first.
    void RewindInstancingBuffers();
    // Empties the shared light list and the frame light-node list, once per
    // frame before the first template gathers.
    void ResetFrameLists();
    // Takes the first occurrence of `queue` out of the drawn queues; nothing
    // when it is not there.
    void RemoveInstanceArray(RenderQueue* queue);

    // The pool: buffers, bytes each, cursor, locked memory.
    gfx::VertexBuffer* instancingBuffers[kInstancingBufferCount] = {};
    uint32_t instancingBufferBytes = 0;
    uint32_t currentInstancingBuffer = 0;
    uint32_t instancingBufferUsed = 0;
    uint8_t* instancingData = nullptr;
    uint8_t instancingLocked = 0;

    // Staging of the instance matrices of the run being batched.
    MatrixArray instanceMatrices;
    uint32_t stagedMatrices = 0;

    // Its world matrix is that of batches whose record has kDrawRecordRendererWorld.
    Transform transform;
    uint8_t instancingReady = 0;
    uint8_t hdrEnabled = 0;
    uint8_t effectDirty = 0; // the next DrawBatch selects the technique again
    gfx::VertexBuffer* currentVertexBuffer = nullptr; // bound to stream 0; not owned
    uint32_t vertexCount = 0;
    uint32_t primitiveCount = 0;
    uint8_t primitiveKind = 0;
    uint8_t passCount = 0;
    float4x4 scratchMatrix;
    Effect* currentEffect = nullptr; // whose technique is begun; not owned
    std::string techniqueName;
    uint32_t techniqueId = 0;
    RenderStateToggle colourWriteSetter{gfx::kRsColorWriteEnable};
    VertexDeclSetter declarationSetter;
    IndicesSetter indexSetter;
    uint32_t depthId;
    std::vector<LightRecord*> lights; // the frame's lights; not owned
    float fogMult = 5.275f;
    std::vector<RenderQueue*> queues; // drawn in order; not owned
    RenderStateCache renderStates;
    const float* averageLighting = nullptr; // the measured luminance; not owned
    float adaptedLuminance = 1.0f;
    float exposure = 1.0f;
    float adaptationIncrements = 0.0f;
    VertexDeclResource instancingDecl;

private:
    struct BatchRun {
        uint32_t start = 0; // the queue entry that heads the run
        int32_t count = 0;
        gfx::VertexBuffer* buffer = nullptr;
        uint32_t offset = 0;
    };

    void CreateInstancingPool();
    // Writes the runs of `queue` into the pool (the runs_ list).
    void BatchQueue(RenderQueue& queue);
    // The staged matrices of the run headed by `item` at `start` into the pool.
    void FlushRun(DrawRecord* item, uint32_t start);
    void StageMatrix(const float4x4* world, const DrawRecord& item, int32_t index);
    // Ends the pass and technique begun on the current effect, if any.
    void EndCurrentEffect();
    // Every pass of the current effect draws the figures in progress.
    void DrawPasses(Effect& effect, gfx::RuntimeEffect& compiled);

    void ReportMissingTechnique(Effect& effect, const std::string& passName);

    std::vector<BatchRun> runs_;
    bool stagingOverflowed_ = false;
    // (compiled effect, technique id) pairs already reported as missing.
    std::vector<std::pair<const void*, uint32_t>> missingTechniques_;
    // The compiled effect a pass is begun on (the current variant may change under it).
    gfx::RuntimeEffect* begunEffect_ = nullptr;
    bool techniqueMissing_ = false;
};

// The most recently constructed SceneRenderer that still exists, or null.
extern SceneRenderer* currentSceneRenderer;

// The light nodes the traversal met in this frame, each once.
using FrameLightNodes = staticVector<SceneNode*, 8>;
FrameLightNodes& GetFrameLightNodes();

// The scene renderer's ResetFrameLists, when there is one.
void ResetFrameLists();
