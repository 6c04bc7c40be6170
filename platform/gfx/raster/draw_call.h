#pragma once
// What the device hands its drawing path: plain views of the memory it mirrors
// (textures, surfaces, buffers, each with the version of its CPU bytes) and of
// one draw, clear or copy. The drawing path keeps nothing of these views but the
// identity and version of each resource.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/gfx/device/device_states.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/render_state.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/device/vertex_layout.h"

namespace gfx {
struct PassProgram;
struct EffectBinding;
}

namespace gfx::raster {

inline constexpr uint32_t kMaxTargets = 4;
inline constexpr uint32_t kMaxStreamViews = 16;
inline constexpr uint32_t kMaxTextureUnits = 16;

// A texture or a surface with its own bytes: every level of every face.
struct ImageView {
    const void* key = nullptr;   // the resource; null for none
    uint64_t version = 0;        // changes whenever the CPU bytes change
    const TextureLayout* layout = nullptr;
    uint8_t* bytes = nullptr;
    explicit operator bool() const { return key != nullptr; }
};

// One level (and face) of an image drawn into.
struct TargetView {
    ImageView image;
    uint32_t face = 0;
    uint32_t level = 0;
};

struct BufferView {
    const void* key = nullptr;
    uint64_t version = 0;
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
};

struct StreamView {
    BufferView buffer;
    uint32_t offset = 0;
    uint32_t stride = 0;
    uint32_t frequency = 1;
};

struct DrawView {
    uint32_t primitiveType = 0;
    int32_t baseVertexIndex = 0;
    uint32_t startIndex = 0;
    uint32_t primitiveCount = 0;
    uint32_t instances = 1;
    std::array<TargetView, kMaxTargets> targets{};
    TargetView depth;
    Viewport viewport;
    const uint32_t* renderStates = nullptr; // kRenderStateLimit values
    const DeviceStates* states = nullptr;   // the device's samplers among them
    std::array<StreamView, kMaxStreamViews> streams{};
    const std::vector<VertexElement>* elements = nullptr;
    BufferView indices;
    uint32_t indexSize = 2;
    const PassProgram* program = nullptr;
    const EffectBinding* binding = nullptr;
    std::array<ImageView, kMaxTextureUnits> textures{}; // the device's sampler textures, by unit
};

struct ClearView {
    std::array<TargetView, kMaxTargets> targets{};
    TargetView depth;
    std::vector<Rect> areas; // already limited to the viewport
    bool colour = false;
    bool clearDepth = false;
    bool clearStencil = false;
    uint32_t argb = 0;
    float z = 1.0f;
    uint32_t stencil = 0;
};

} // namespace gfx::raster
