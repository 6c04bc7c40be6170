#include "platform/gfx/device/render_state.h"

#include <bit>

namespace gfx {

namespace {

constexpr uint32_t FloatBits(float value) { return std::bit_cast<uint32_t>(value); }

constexpr uint32_t kKeep = 1;
constexpr uint32_t kMaterialSource = 0;
constexpr uint32_t kColor1Source = 1;
constexpr uint32_t kColor2Source = 2;
constexpr uint32_t kFillSolid = 3;
constexpr uint32_t kShadeGouraud = 2;
constexpr uint32_t kBlendOpAdd = 1;
constexpr uint32_t kDegreeLinear = 1;
constexpr uint32_t kDegreeCubic = 3;

struct Initial {
    uint32_t state;
    uint32_t value;
};

// Every render state with its value on a new device (ZENABLE handled apart).
constexpr Initial kInitialStates[] = {
    {kRsFillMode, kFillSolid},
    {kRsShadeMode, kShadeGouraud},
    {kRsZWriteEnable, 1},
    {kRsAlphaTestEnable, 0},
    {kRsLastPixel, 1},
    {kRsSrcBlend, kBlendOne},
    {kRsDestBlend, kBlendZero},
    {kRsCullMode, kCullCounterClockwise},
    {kRsZFunc, kCompareLessEqual},
    {kRsAlphaRef, 0},
    {kRsAlphaFunc, kCompareAlways},
    {kRsDitherEnable, 0},
    {kRsAlphaBlendEnable, 0},
    {kRsFogEnable, 0},
    {kRsSpecularEnable, 0},
    {kRsFogColor, 0},
    {kRsFogTableMode, 0},
    {kRsFogStart, FloatBits(0.0f)},
    {kRsFogEnd, FloatBits(1.0f)},
    {kRsFogDensity, FloatBits(1.0f)},
    {kRsRangeFogEnable, 0},
    {kRsStencilEnable, 0},
    {kRsStencilFail, kKeep},
    {kRsStencilZFail, kKeep},
    {kRsStencilPass, kKeep},
    {kRsStencilFunc, kCompareAlways},
    {kRsStencilRef, 0},
    {kRsStencilMask, 0xFFFFFFFFu},
    {kRsStencilWriteMask, 0xFFFFFFFFu},
    {kRsTextureFactor, 0xFFFFFFFFu},
    {kRsWrap0 + 0, 0}, {kRsWrap0 + 1, 0}, {kRsWrap0 + 2, 0}, {kRsWrap0 + 3, 0},
    {kRsWrap0 + 4, 0}, {kRsWrap0 + 5, 0}, {kRsWrap0 + 6, 0}, {kRsWrap0 + 7, 0},
    {kRsClipping, 1},
    {kRsLighting, 1},
    {kRsAmbient, 0},
    {kRsFogVertexMode, 0},
    {kRsColorVertex, 1},
    {kRsLocalViewer, 1},
    {kRsNormalizeNormals, 0},
    {kRsDiffuseMaterialSource, kColor1Source},
    {kRsSpecularMaterialSource, kColor2Source},
    {kRsAmbientMaterialSource, kMaterialSource},
    {kRsEmissiveMaterialSource, kMaterialSource},
    {kRsVertexBlend, 0},
    {kRsClipPlaneEnable, 0},
    {kRsPointSize, FloatBits(1.0f)},
    {kRsPointSizeMin, FloatBits(1.0f)},
    {kRsPointSpriteEnable, 0},
    {kRsPointScaleEnable, 0},
    {kRsPointScaleA, FloatBits(1.0f)},
    {kRsPointScaleB, FloatBits(0.0f)},
    {kRsPointScaleC, FloatBits(0.0f)},
    {kRsMultisampleAntialias, 1},
    {kRsMultisampleMask, 0xFFFFFFFFu},
    {kRsPatchEdgeStyle, 0},
    {kRsDebugMonitorToken, 0},
    {kRsPointSizeMax, FloatBits(64.0f)},
    {kRsIndexedVertexBlendEnable, 0},
    {kRsColorWriteEnable, kColorWriteAll},
    {kRsTweenFactor, FloatBits(0.0f)},
    {kRsBlendOp, kBlendOpAdd},
    {kRsPositionDegree, kDegreeCubic},
    {kRsNormalDegree, kDegreeLinear},
    {kRsScissorTestEnable, 0},
    {kRsSlopeScaleDepthBias, 0},
    {kRsAntialiasedLineEnable, 0},
    {kRsMinTessellationLevel, FloatBits(1.0f)},
    {kRsMaxTessellationLevel, FloatBits(1.0f)},
    {kRsAdaptiveTessX, FloatBits(0.0f)},
    {kRsAdaptiveTessY, FloatBits(0.0f)},
    {kRsAdaptiveTessZ, FloatBits(1.0f)},
    {kRsAdaptiveTessW, FloatBits(0.0f)},
    {kRsEnableAdaptiveTessellation, 0},
    {kRsTwoSidedStencilMode, 0},
    {kRsCcwStencilFail, kKeep},
    {kRsCcwStencilZFail, kKeep},
    {kRsCcwStencilPass, kKeep},
    {kRsCcwStencilFunc, kCompareAlways},
    {kRsColorWriteEnable1, kColorWriteAll},
    {kRsColorWriteEnable2, kColorWriteAll},
    {kRsColorWriteEnable3, kColorWriteAll},
    {kRsBlendFactor, 0xFFFFFFFFu},
    {kRsSrgbWriteEnable, 0},
    {kRsDepthBias, 0},
    {kRsWrap8 + 0, 0}, {kRsWrap8 + 1, 0}, {kRsWrap8 + 2, 0}, {kRsWrap8 + 3, 0},
    {kRsWrap8 + 4, 0}, {kRsWrap8 + 5, 0}, {kRsWrap8 + 6, 0}, {kRsWrap8 + 7, 0},
    {kRsSeparateAlphaBlendEnable, 0},
    {kRsSrcBlendAlpha, kBlendOne},
    {kRsDestBlendAlpha, kBlendZero},
    {kRsBlendOpAlpha, kBlendOpAdd},
};

const Initial* Find(uint32_t state)
{
    for (const Initial& entry : kInitialStates) {
        if (entry.state == state) return &entry;
    }
    return nullptr;
}

} // namespace

bool IsRenderState(uint32_t state)
{
    return state == kRsZEnable || Find(state) != nullptr;
}

uint32_t InitialRenderState(uint32_t state, bool autoDepthStencil)
{
    if (state == kRsZEnable) return autoDepthStencil ? kZBufferTrue : kZBufferFalse;
    const Initial* entry = Find(state);
    return entry ? entry->value : 0;
}

} // namespace gfx
