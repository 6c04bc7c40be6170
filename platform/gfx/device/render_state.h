#pragma once
// Render-state numbers, the values the engine sets, and the value each state
// holds when a device is created. The engine stores state numbers in its passes
// and caches, so they are kept exactly.
#include <cstdint>

namespace gfx {

enum RenderState : uint32_t {
    kRsZEnable = 7,
    kRsFillMode = 8,
    kRsShadeMode = 9,
    kRsZWriteEnable = 14,
    kRsAlphaTestEnable = 15,
    kRsLastPixel = 16,
    kRsSrcBlend = 19,
    kRsDestBlend = 20,
    kRsCullMode = 22,
    kRsZFunc = 23,
    kRsAlphaRef = 24,
    kRsAlphaFunc = 25,
    kRsDitherEnable = 26,
    kRsAlphaBlendEnable = 27,
    kRsFogEnable = 28,
    kRsSpecularEnable = 29,
    kRsFogColor = 34,
    kRsFogTableMode = 35,
    kRsFogStart = 36,
    kRsFogEnd = 37,
    kRsFogDensity = 38,
    kRsRangeFogEnable = 48,
    kRsStencilEnable = 52,
    kRsStencilFail = 53,
    kRsStencilZFail = 54,
    kRsStencilPass = 55,
    kRsStencilFunc = 56,
    kRsStencilRef = 57,
    kRsStencilMask = 58,
    kRsStencilWriteMask = 59,
    kRsTextureFactor = 60,
    kRsWrap0 = 128, // kRsWrap0 + 1 ... + 7 follow
    kRsClipping = 136,
    kRsLighting = 137,
    kRsAmbient = 139,
    kRsFogVertexMode = 140,
    kRsColorVertex = 141,
    kRsLocalViewer = 142,
    kRsNormalizeNormals = 143,
    kRsDiffuseMaterialSource = 145,
    kRsSpecularMaterialSource = 146,
    kRsAmbientMaterialSource = 147,
    kRsEmissiveMaterialSource = 148,
    kRsVertexBlend = 151,
    kRsClipPlaneEnable = 152,
    kRsPointSize = 154,
    kRsPointSizeMin = 155,
    kRsPointSpriteEnable = 156,
    kRsPointScaleEnable = 157,
    kRsPointScaleA = 158,
    kRsPointScaleB = 159,
    kRsPointScaleC = 160,
    kRsMultisampleAntialias = 161,
    kRsMultisampleMask = 162,
    kRsPatchEdgeStyle = 163,
    kRsDebugMonitorToken = 165,
    kRsPointSizeMax = 166,
    kRsIndexedVertexBlendEnable = 167,
    kRsColorWriteEnable = 168,
    kRsTweenFactor = 170,
    kRsBlendOp = 171,
    kRsPositionDegree = 172,
    kRsNormalDegree = 173,
    kRsScissorTestEnable = 174,
    kRsSlopeScaleDepthBias = 175,
    kRsAntialiasedLineEnable = 176,
    kRsMinTessellationLevel = 178,
    kRsMaxTessellationLevel = 179,
    kRsAdaptiveTessX = 180,
    kRsAdaptiveTessY = 181,
    kRsAdaptiveTessZ = 182,
    kRsAdaptiveTessW = 183,
    kRsEnableAdaptiveTessellation = 184,
    kRsTwoSidedStencilMode = 185,
    kRsCcwStencilFail = 186,
    kRsCcwStencilZFail = 187,
    kRsCcwStencilPass = 188,
    kRsCcwStencilFunc = 189,
    kRsColorWriteEnable1 = 190,
    kRsColorWriteEnable2 = 191,
    kRsColorWriteEnable3 = 192,
    kRsBlendFactor = 193,
    kRsSrgbWriteEnable = 194,
    kRsDepthBias = 195,
    kRsWrap8 = 198, // kRsWrap8 + 1 ... + 7 follow
    kRsSeparateAlphaBlendEnable = 206,
    kRsSrcBlendAlpha = 207,
    kRsDestBlendAlpha = 208,
    kRsBlendOpAlpha = 209,
};

// One past the highest render-state number.
inline constexpr uint32_t kRenderStateLimit = 210;

// Values of the states the engine sets.
inline constexpr uint32_t kZBufferFalse = 0;
inline constexpr uint32_t kZBufferTrue = 1;
inline constexpr uint32_t kBlendZero = 1;
inline constexpr uint32_t kBlendOne = 2;
inline constexpr uint32_t kBlendSrcAlpha = 5;
inline constexpr uint32_t kBlendInvSrcAlpha = 6;
inline constexpr uint32_t kCullNone = 1;
inline constexpr uint32_t kCullClockwise = 2;
inline constexpr uint32_t kCullCounterClockwise = 3;
inline constexpr uint32_t kCompareNever = 1;
inline constexpr uint32_t kCompareLess = 2;
inline constexpr uint32_t kCompareEqual = 3;
inline constexpr uint32_t kCompareLessEqual = 4;
inline constexpr uint32_t kCompareGreater = 5;
inline constexpr uint32_t kCompareNotEqual = 6;
inline constexpr uint32_t kCompareGreaterEqual = 7;
inline constexpr uint32_t kCompareAlways = 8;
inline constexpr uint32_t kColorWriteRed = 1;
inline constexpr uint32_t kColorWriteGreen = 2;
inline constexpr uint32_t kColorWriteBlue = 4;
inline constexpr uint32_t kColorWriteAlpha = 8;
inline constexpr uint32_t kColorWriteAll = 0xF;
inline constexpr uint32_t kClipPlane0 = 1; // bit n enables user clip plane n

// True for a number that names a render state.
bool IsRenderState(uint32_t state);

// The value a state holds on a freshly created device. ZENABLE depends on
// whether the device made its own depth buffer; the engine's device does not.
uint32_t InitialRenderState(uint32_t state, bool autoDepthStencil = false);

} // namespace gfx
