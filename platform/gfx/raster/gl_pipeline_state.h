#pragma once
// The device's render states in OpenGL's terms, and applying them. A
// PipelineState is worked out from the state numbers alone (an effect pass
// set its states on the device when it began), so the translation can be
// checked without a context; Apply then changes only what differs from the
// last one.
#include <array>
#include <cstdint>

namespace gfx::raster {

struct StencilFace {
    uint32_t func = 0, fail = 0, depthFail = 0, pass = 0;
    bool operator==(const StencilFace&) const = default;
};

struct PipelineState {
    bool depthTest = false;
    bool depthWrite = true;
    uint32_t depthFunc = 0;
    uint32_t cullFace = 0;        // 0 none, else GL_FRONT or GL_BACK
    uint32_t polygonMode = 0;
    bool blend = false;
    uint32_t srcColour = 0, dstColour = 0, colourOp = 0, srcAlpha = 0, dstAlpha = 0, alphaOp = 0;
    std::array<float, 4> blendColour{};
    std::array<uint32_t, 4> writeMask{}; // per target, bits red 1, green 2, blue 4, alpha 8
    bool stencil = false;
    StencilFace front, back;
    uint32_t stencilRef = 0, stencilMask = 0xFFFFFFFFu, stencilWriteMask = 0xFFFFFFFFu;
    float depthBiasSlope = 0.0f, depthBias = 0.0f; // depth bias in depth units
    bool alphaTest = false;
    uint32_t alphaRef = 0, alphaFunc = 8;
    bool srgbWrite = false; // colours written to 8-bit targets are encoded as sRGB
    bool operator==(const PipelineState&) const = default;
};

// `states`: the device's render-state values by number. Depth and stencil
// tests need a buffer.
PipelineState PipelineFromStates(const uint32_t* states, bool hasDepth, bool hasStencil);

// Sets what differs from `current` (which becomes `wanted`); `known` false sets everything.
void ApplyPipeline(const PipelineState& wanted, PipelineState& current, bool& known, uint32_t depthBits);

} // namespace gfx::raster
