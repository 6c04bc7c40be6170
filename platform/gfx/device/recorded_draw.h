#pragma once
// What the device keeps of one validated draw call while calls are recorded:
// its figures, what was bound (targets, viewport, streams, declaration,
// indices), the render states and a copy of the effect pass that was bound.
#include <array>
#include <cstdint>

#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/effect_binding.h"
#include "platform/gfx/device/render_state.h"

namespace gfx {

class Surface;
class VertexBuffer;
class IndexBuffer;
class VertexDeclaration;

inline constexpr uint32_t kMaxRenderTargets = 4;
inline constexpr uint32_t kRecordedStreams = 2;

struct StreamRecord {
    const VertexBuffer* buffer = nullptr;
    uint32_t offset = 0;
    uint32_t stride = 0;
    uint32_t frequency = 1;
};

struct RecordedDraw {
    uint32_t primitiveType = 0;
    int32_t baseVertexIndex = 0;
    uint32_t minVertexIndex = 0;
    uint32_t numVertices = 0;
    uint32_t startIndex = 0;
    uint32_t primitiveCount = 0;
    uint32_t instanceCount = 1; // from stream 0's frequency when it draws indexed instances
    // The declaration reads a stream that has no buffer bound: accepted, as the
    // engine's first non-instanced draws do this, but visible to tests.
    bool unboundStreamRead = false;
    std::array<const Surface*, kMaxRenderTargets> renderTargets{};
    const Surface* depthStencil = nullptr;
    Viewport viewport;
    std::array<StreamRecord, kRecordedStreams> streams{};
    const VertexDeclaration* declaration = nullptr;
    const IndexBuffer* indices = nullptr;
    std::array<uint32_t, kRenderStateLimit> renderStates{};
    EffectBinding effect;
    uint64_t frame = 0; // frames presented before this draw
};

} // namespace gfx
