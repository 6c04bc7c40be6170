#include "platform/gfx/fx/parser/effect_states.h"

#include <cctype>
#include <string>
#include <unordered_map>

#include "platform/gfx/device/device_states.h"
#include "platform/gfx/device/render_state.h"
#include "platform/gfx/device/vertex_layout.h"

namespace gfx {

namespace {

using G = StateGroup;
using T = StateType;
using V = StateValues;

constexpr uint32_t kStages = kMaxTextureStages;
constexpr uint32_t kSamplers = kMaxSamplers;
constexpr uint32_t kLights = 256;
constexpr uint32_t kWorldMatrices = 256;
constexpr uint32_t kVertexFloatRegisters = kVertexFloatConstants;
constexpr uint32_t kPixelFloatRegisters = kPixelFloatConstants;
constexpr uint32_t kIntOrBoolRegisters = kIntConstants;

constexpr StateInfo kStates[] = {
    // Light states
    {"LightType", G::Light, kLightType, kLights, T::Dword, V::LightType},
    {"LightDiffuse", G::Light, kLightDiffuse, kLights, T::Float4, V::None},
    {"LightSpecular", G::Light, kLightSpecular, kLights, T::Float4, V::None},
    {"LightAmbient", G::Light, kLightAmbient, kLights, T::Float4, V::None},
    {"LightPosition", G::Light, kLightPosition, kLights, T::Float3, V::None},
    {"LightDirection", G::Light, kLightDirection, kLights, T::Float3, V::None},
    {"LightRange", G::Light, kLightRange, kLights, T::Float, V::None},
    {"LightFalloff", G::Light, kLightFalloff, kLights, T::Float, V::None},
    {"LightAttenuation0", G::Light, kLightAttenuation0, kLights, T::Float, V::None},
    {"LightAttenuation1", G::Light, kLightAttenuation1, kLights, T::Float, V::None},
    {"LightAttenuation2", G::Light, kLightAttenuation2, kLights, T::Float, V::None},
    {"LightTheta", G::Light, kLightTheta, kLights, T::Float, V::None},
    {"LightPhi", G::Light, kLightPhi, kLights, T::Float, V::None},
    {"LightEnable", G::LightEnable, 0, kLights, T::Bool, V::Bool},
    // Material states
    {"MaterialDiffuse", G::Material, kMaterialDiffuse, 0, T::Float4, V::None},
    {"MaterialAmbient", G::Material, kMaterialAmbient, 0, T::Float4, V::None},
    {"MaterialSpecular", G::Material, kMaterialSpecular, 0, T::Float4, V::None},
    {"MaterialEmissive", G::Material, kMaterialEmissive, 0, T::Float4, V::None},
    {"MaterialPower", G::Material, kMaterialPower, 0, T::Float, V::None},
    // Render states
    {"ZEnable", G::Render, kRsZEnable, 0, T::Dword, V::ZBuffer},
    {"FillMode", G::Render, kRsFillMode, 0, T::Dword, V::Fill},
    {"ShadeMode", G::Render, kRsShadeMode, 0, T::Dword, V::Shade},
    {"ZWriteEnable", G::Render, kRsZWriteEnable, 0, T::Bool, V::Bool},
    {"AlphaTestEnable", G::Render, kRsAlphaTestEnable, 0, T::Bool, V::Bool},
    {"LastPixel", G::Render, kRsLastPixel, 0, T::Bool, V::Bool},
    {"SrcBlend", G::Render, kRsSrcBlend, 0, T::Dword, V::Blend},
    {"DestBlend", G::Render, kRsDestBlend, 0, T::Dword, V::Blend},
    {"CullMode", G::Render, kRsCullMode, 0, T::Dword, V::Cull},
    {"ZFunc", G::Render, kRsZFunc, 0, T::Dword, V::Compare},
    {"AlphaRef", G::Render, kRsAlphaRef, 0, T::Dword, V::None},
    {"AlphaFunc", G::Render, kRsAlphaFunc, 0, T::Dword, V::Compare},
    {"DitherEnable", G::Render, kRsDitherEnable, 0, T::Bool, V::Bool},
    {"AlphaBlendEnable", G::Render, kRsAlphaBlendEnable, 0, T::Bool, V::Bool},
    {"FogEnable", G::Render, kRsFogEnable, 0, T::Bool, V::Bool},
    {"SpecularEnable", G::Render, kRsSpecularEnable, 0, T::Bool, V::Bool},
    {"FogColor", G::Render, kRsFogColor, 0, T::Colour, V::None},
    {"FogTableMode", G::Render, kRsFogTableMode, 0, T::Dword, V::Fog},
    {"FogStart", G::Render, kRsFogStart, 0, T::Float, V::None},
    {"FogEnd", G::Render, kRsFogEnd, 0, T::Float, V::None},
    {"FogDensity", G::Render, kRsFogDensity, 0, T::Float, V::None},
    {"RangeFogEnable", G::Render, kRsRangeFogEnable, 0, T::Bool, V::Bool},
    {"StencilEnable", G::Render, kRsStencilEnable, 0, T::Bool, V::Bool},
    {"StencilFail", G::Render, kRsStencilFail, 0, T::Dword, V::StencilOp},
    {"StencilZFail", G::Render, kRsStencilZFail, 0, T::Dword, V::StencilOp},
    {"StencilPass", G::Render, kRsStencilPass, 0, T::Dword, V::StencilOp},
    {"StencilFunc", G::Render, kRsStencilFunc, 0, T::Dword, V::Compare},
    {"StencilRef", G::Render, kRsStencilRef, 0, T::Int, V::None},
    {"StencilMask", G::Render, kRsStencilMask, 0, T::Dword, V::None},
    {"StencilWriteMask", G::Render, kRsStencilWriteMask, 0, T::Dword, V::None},
    {"TextureFactor", G::Render, kRsTextureFactor, 0, T::Colour, V::None},
    {"Wrap0", G::Render, kRsWrap0 + 0, 0, T::Dword, V::Wrap},
    {"Wrap1", G::Render, kRsWrap0 + 1, 0, T::Dword, V::Wrap},
    {"Wrap2", G::Render, kRsWrap0 + 2, 0, T::Dword, V::Wrap},
    {"Wrap3", G::Render, kRsWrap0 + 3, 0, T::Dword, V::Wrap},
    {"Wrap4", G::Render, kRsWrap0 + 4, 0, T::Dword, V::Wrap},
    {"Wrap5", G::Render, kRsWrap0 + 5, 0, T::Dword, V::Wrap},
    {"Wrap6", G::Render, kRsWrap0 + 6, 0, T::Dword, V::Wrap},
    {"Wrap7", G::Render, kRsWrap0 + 7, 0, T::Dword, V::Wrap},
    {"Wrap8", G::Render, kRsWrap8 + 0, 0, T::Dword, V::Wrap},
    {"Wrap9", G::Render, kRsWrap8 + 1, 0, T::Dword, V::Wrap},
    {"Wrap10", G::Render, kRsWrap8 + 2, 0, T::Dword, V::Wrap},
    {"Wrap11", G::Render, kRsWrap8 + 3, 0, T::Dword, V::Wrap},
    {"Wrap12", G::Render, kRsWrap8 + 4, 0, T::Dword, V::Wrap},
    {"Wrap13", G::Render, kRsWrap8 + 5, 0, T::Dword, V::Wrap},
    {"Wrap14", G::Render, kRsWrap8 + 6, 0, T::Dword, V::Wrap},
    {"Wrap15", G::Render, kRsWrap8 + 7, 0, T::Dword, V::Wrap},
    {"Clipping", G::Render, kRsClipping, 0, T::Bool, V::Bool},
    {"Lighting", G::Render, kRsLighting, 0, T::Bool, V::Bool},
    {"Ambient", G::Render, kRsAmbient, 0, T::Colour, V::None},
    {"FogVertexMode", G::Render, kRsFogVertexMode, 0, T::Dword, V::Fog},
    {"ColorVertex", G::Render, kRsColorVertex, 0, T::Bool, V::Bool},
    {"LocalViewer", G::Render, kRsLocalViewer, 0, T::Bool, V::Bool},
    {"NormalizeNormals", G::Render, kRsNormalizeNormals, 0, T::Bool, V::Bool},
    {"DiffuseMaterialSource", G::Render, kRsDiffuseMaterialSource, 0, T::Dword, V::MaterialSource},
    {"SpecularMaterialSource", G::Render, kRsSpecularMaterialSource, 0, T::Dword, V::MaterialSource},
    {"AmbientMaterialSource", G::Render, kRsAmbientMaterialSource, 0, T::Dword, V::MaterialSource},
    {"EmissiveMaterialSource", G::Render, kRsEmissiveMaterialSource, 0, T::Dword, V::MaterialSource},
    {"VertexBlend", G::Render, kRsVertexBlend, 0, T::Dword, V::VertexBlend},
    {"ClipPlaneEnable", G::Render, kRsClipPlaneEnable, 0, T::Dword, V::None},
    {"PointSize", G::Render, kRsPointSize, 0, T::Float, V::None},
    {"PointSize_Min", G::Render, kRsPointSizeMin, 0, T::Float, V::None},
    {"PointSpriteEnable", G::Render, kRsPointSpriteEnable, 0, T::Bool, V::Bool},
    {"PointScaleEnable", G::Render, kRsPointScaleEnable, 0, T::Bool, V::Bool},
    {"PointScale_A", G::Render, kRsPointScaleA, 0, T::Float, V::None},
    {"PointScale_B", G::Render, kRsPointScaleB, 0, T::Float, V::None},
    {"PointScale_C", G::Render, kRsPointScaleC, 0, T::Float, V::None},
    {"MultiSampleAntialias", G::Render, kRsMultisampleAntialias, 0, T::Bool, V::Bool},
    {"MultiSampleMask", G::Render, kRsMultisampleMask, 0, T::Dword, V::None},
    {"PatchEdgeStyle", G::Render, kRsPatchEdgeStyle, 0, T::Dword, V::PatchEdge},
    {"DebugMonitorToken", G::Render, kRsDebugMonitorToken, 0, T::Dword, V::None},
    {"PointSize_Max", G::Render, kRsPointSizeMax, 0, T::Float, V::None},
    {"IndexedVertexBlendEnable", G::Render, kRsIndexedVertexBlendEnable, 0, T::Bool, V::Bool},
    {"ColorWriteEnable", G::Render, kRsColorWriteEnable, 0, T::Dword, V::ColourWrite},
    {"TweenFactor", G::Render, kRsTweenFactor, 0, T::Float, V::None},
    {"BlendOp", G::Render, kRsBlendOp, 0, T::Dword, V::BlendOp},
    {"PositionDegree", G::Render, kRsPositionDegree, 0, T::Dword, V::Degree},
    {"NormalDegree", G::Render, kRsNormalDegree, 0, T::Dword, V::Degree},
    {"ScissorTestEnable", G::Render, kRsScissorTestEnable, 0, T::Bool, V::Bool},
    {"SlopeScaleDepthBias", G::Render, kRsSlopeScaleDepthBias, 0, T::Float, V::None},
    {"AntialiasedLineEnable", G::Render, kRsAntialiasedLineEnable, 0, T::Bool, V::Bool},
    {"MinTessellationLevel", G::Render, kRsMinTessellationLevel, 0, T::Float, V::None},
    {"MaxTessellationLevel", G::Render, kRsMaxTessellationLevel, 0, T::Float, V::None},
    {"AdaptiveTess_X", G::Render, kRsAdaptiveTessX, 0, T::Float, V::None},
    {"AdaptiveTess_Y", G::Render, kRsAdaptiveTessY, 0, T::Float, V::None},
    {"AdaptiveTess_Z", G::Render, kRsAdaptiveTessZ, 0, T::Float, V::None},
    {"AdaptiveTess_W", G::Render, kRsAdaptiveTessW, 0, T::Float, V::None},
    {"EnableAdaptiveTessellation", G::Render, kRsEnableAdaptiveTessellation, 0, T::Bool, V::Bool},
    {"TwoSidedStencilMode", G::Render, kRsTwoSidedStencilMode, 0, T::Bool, V::Bool},
    {"CCW_StencilFail", G::Render, kRsCcwStencilFail, 0, T::Dword, V::StencilOp},
    {"CCW_StencilZFail", G::Render, kRsCcwStencilZFail, 0, T::Dword, V::StencilOp},
    {"CCW_StencilPass", G::Render, kRsCcwStencilPass, 0, T::Dword, V::StencilOp},
    {"CCW_StencilFunc", G::Render, kRsCcwStencilFunc, 0, T::Dword, V::Compare},
    {"ColorWriteEnable1", G::Render, kRsColorWriteEnable1, 0, T::Dword, V::ColourWrite},
    {"ColorWriteEnable2", G::Render, kRsColorWriteEnable2, 0, T::Dword, V::ColourWrite},
    {"ColorWriteEnable3", G::Render, kRsColorWriteEnable3, 0, T::Dword, V::ColourWrite},
    {"BlendFactor", G::Render, kRsBlendFactor, 0, T::Colour, V::None},
    {"SRGBWriteEnable", G::Render, kRsSrgbWriteEnable, 0, T::Bool, V::Bool},
    {"DepthBias", G::Render, kRsDepthBias, 0, T::Float, V::None},
    {"SeparateAlphaBlendEnable", G::Render, kRsSeparateAlphaBlendEnable, 0, T::Bool, V::Bool},
    {"SrcBlendAlpha", G::Render, kRsSrcBlendAlpha, 0, T::Dword, V::Blend},
    {"DestBlendAlpha", G::Render, kRsDestBlendAlpha, 0, T::Dword, V::Blend},
    {"BlendOpAlpha", G::Render, kRsBlendOpAlpha, 0, T::Dword, V::BlendOp},
    {"PatchSegments", G::PatchSegments, 0, 0, T::Float, V::None},
    // Sampler states
    {"Sampler", G::SamplerObject, 0, kSamplers, T::Sampler, V::None},
    // Sampler stage states
    {"AddressU", G::Sampler, kSampAddressU, kSamplers, T::Dword, V::Address},
    {"AddressV", G::Sampler, kSampAddressV, kSamplers, T::Dword, V::Address},
    {"AddressW", G::Sampler, kSampAddressW, kSamplers, T::Dword, V::Address},
    {"BorderColor", G::Sampler, kSampBorderColor, kSamplers, T::Colour, V::None},
    {"MagFilter", G::Sampler, kSampMagFilter, kSamplers, T::Dword, V::Filter},
    {"MaxAnisotropy", G::Sampler, kSampMaxAnisotropy, kSamplers, T::Dword, V::None},
    {"MaxMipLevel", G::Sampler, kSampMaxMipLevel, kSamplers, T::Int, V::None},
    {"MinFilter", G::Sampler, kSampMinFilter, kSamplers, T::Dword, V::Filter},
    {"MipFilter", G::Sampler, kSampMipFilter, kSamplers, T::Dword, V::Filter},
    {"MipMapLodBias", G::Sampler, kSampMipMapLodBias, kSamplers, T::Float, V::None},
    {"SRGBTexture", G::Sampler, kSampSrgbTexture, kSamplers, T::Bool, V::Bool},
    // Shader states
    {"PixelShader", G::PixelShader, 0, 0, T::Shader, V::None},
    {"VertexShader", G::VertexShader, 0, 0, T::Shader, V::None},
    {"FVF", G::Fvf, 0, 0, T::Dword, V::Fvf},
    // Shader constant states: `index` is the first register
    {"PixelShaderConstant", G::PixelShaderConstant, kConstantFloat, kPixelFloatRegisters, T::Floats, V::None},
    {"PixelShaderConstant1", G::PixelShaderConstant, kConstantFloat, kPixelFloatRegisters, T::Floats, V::None, 1},
    {"PixelShaderConstant2", G::PixelShaderConstant, kConstantFloat, kPixelFloatRegisters, T::Floats, V::None, 2},
    {"PixelShaderConstant3", G::PixelShaderConstant, kConstantFloat, kPixelFloatRegisters, T::Floats, V::None, 3},
    {"PixelShaderConstant4", G::PixelShaderConstant, kConstantFloat, kPixelFloatRegisters, T::Floats, V::None, 4},
    {"PixelShaderConstantB", G::PixelShaderConstant, kConstantBool, kIntOrBoolRegisters, T::Bools, V::None},
    {"PixelShaderConstantI", G::PixelShaderConstant, kConstantInt, kIntOrBoolRegisters, T::Ints, V::None},
    {"PixelShaderConstantF", G::PixelShaderConstant, kConstantFloat, kPixelFloatRegisters, T::Floats, V::None},
    {"VertexShaderConstant", G::VertexShaderConstant, kConstantFloat, kVertexFloatRegisters, T::Floats, V::None},
    {"VertexShaderConstant1", G::VertexShaderConstant, kConstantFloat, kVertexFloatRegisters, T::Floats, V::None, 1},
    {"VertexShaderConstant2", G::VertexShaderConstant, kConstantFloat, kVertexFloatRegisters, T::Floats, V::None, 2},
    {"VertexShaderConstant3", G::VertexShaderConstant, kConstantFloat, kVertexFloatRegisters, T::Floats, V::None, 3},
    {"VertexShaderConstant4", G::VertexShaderConstant, kConstantFloat, kVertexFloatRegisters, T::Floats, V::None, 4},
    {"VertexShaderConstantB", G::VertexShaderConstant, kConstantBool, kIntOrBoolRegisters, T::Bools, V::None},
    {"VertexShaderConstantI", G::VertexShaderConstant, kConstantInt, kIntOrBoolRegisters, T::Ints, V::None},
    {"VertexShaderConstantF", G::VertexShaderConstant, kConstantFloat, kVertexFloatRegisters, T::Floats, V::None},
    // Texture states
    {"Texture", G::Texture, 0, kStages, T::Texture, V::None},
    // Texture stage states
    {"AlphaOp", G::TextureStage, kTssAlphaOp, kStages, T::Dword, V::TextureOp},
    {"AlphaArg0", G::TextureStage, kTssAlphaArg0, kStages, T::Dword, V::TextureArg},
    {"AlphaArg1", G::TextureStage, kTssAlphaArg1, kStages, T::Dword, V::TextureArg},
    {"AlphaArg2", G::TextureStage, kTssAlphaArg2, kStages, T::Dword, V::TextureArg},
    {"ColorArg0", G::TextureStage, kTssColorArg0, kStages, T::Dword, V::TextureArg},
    {"ColorArg1", G::TextureStage, kTssColorArg1, kStages, T::Dword, V::TextureArg},
    {"ColorArg2", G::TextureStage, kTssColorArg2, kStages, T::Dword, V::TextureArg},
    {"ColorOp", G::TextureStage, kTssColorOp, kStages, T::Dword, V::TextureOp},
    {"BumpEnvLScale", G::TextureStage, kTssBumpEnvLScale, kStages, T::Float, V::None},
    {"BumpEnvLOffset", G::TextureStage, kTssBumpEnvLOffset, kStages, T::Float, V::None},
    {"BumpEnvMat00", G::TextureStage, kTssBumpEnvMat00, kStages, T::Float, V::None},
    {"BumpEnvMat01", G::TextureStage, kTssBumpEnvMat01, kStages, T::Float, V::None},
    {"BumpEnvMat10", G::TextureStage, kTssBumpEnvMat10, kStages, T::Float, V::None},
    {"BumpEnvMat11", G::TextureStage, kTssBumpEnvMat11, kStages, T::Float, V::None},
    {"ResultArg", G::TextureStage, kTssResultArg, kStages, T::Dword, V::TextureArg},
    {"TexCoordIndex", G::TextureStage, kTssTexCoordIndex, kStages, T::Dword, V::TexCoordIndex},
    {"TextureTransformFlags", G::TextureStage, kTssTextureTransformFlags, kStages, T::Dword, V::TextureTransform},
    // Transform states
    {"ProjectionTransform", G::Transform, kTransformProjection, 0, T::Matrix, V::None},
    {"TextureTransform", G::Transform, kTransformTexture0, kStages, T::Matrix, V::None},
    {"ViewTransform", G::Transform, kTransformView, 0, T::Matrix, V::None},
    {"WorldTransform", G::Transform, kTransformWorld, kWorldMatrices, T::Matrix, V::None},
};

constexpr NamedValue kBool[] = {{"TRUE", 1}, {"FALSE", 0}};
constexpr NamedValue kZBuffer[] = {{"TRUE", 1}, {"FALSE", 0}, {"USEW", 2}};
constexpr NamedValue kFill[] = {{"POINT", 1}, {"WIREFRAME", 2}, {"SOLID", 3}};
constexpr NamedValue kShade[] = {{"FLAT", 1}, {"GOURAUD", 2}, {"PHONG", 3}};
constexpr NamedValue kBlend[] = {
    {"ZERO", 1},         {"ONE", 2},          {"SRCCOLOR", 3},         {"INVSRCCOLOR", 4},     {"SRCALPHA", 5},
    {"INVSRCALPHA", 6},  {"DESTALPHA", 7},    {"INVDESTALPHA", 8},     {"DESTCOLOR", 9},       {"INVDESTCOLOR", 10},
    {"SRCALPHASAT", 11}, {"BOTHSRCALPHA", 12}, {"BOTHINVSRCALPHA", 13}, {"BLENDFACTOR", 14},   {"INVBLENDFACTOR", 15},
    {"SRCCOLOR2", 16},   {"INVSRCCOLOR2", 17},
};
constexpr NamedValue kBlendOp[] = {{"ADD", 1}, {"SUBTRACT", 2}, {"REVSUBTRACT", 3}, {"MIN", 4}, {"MAX", 5}};
constexpr NamedValue kCull[] = {{"NONE", 1}, {"CW", 2}, {"CCW", 3}};
constexpr NamedValue kCompare[] = {{"NEVER", 1},   {"LESS", 2},     {"EQUAL", 3},        {"LESSEQUAL", 4},
                                   {"GREATER", 5}, {"NOTEQUAL", 6}, {"GREATEREQUAL", 7}, {"ALWAYS", 8}};
constexpr NamedValue kStencilOp[] = {{"KEEP", 1},    {"ZERO", 2},   {"REPLACE", 3}, {"INCRSAT", 4},
                                     {"DECRSAT", 5}, {"INVERT", 6}, {"INCR", 7},    {"DECR", 8}};
constexpr NamedValue kFog[] = {{"NONE", 0}, {"EXP", 1}, {"EXP2", 2}, {"LINEAR", 3}};
constexpr NamedValue kMaterialSource[] = {{"MATERIAL", 0}, {"COLOR1", 1}, {"COLOR2", 2}};
constexpr NamedValue kVertexBlend[] = {{"DISABLE", 0},  {"1WEIGHTS", 1},   {"2WEIGHTS", 2},
                                       {"3WEIGHTS", 3}, {"TWEENING", 255}, {"0WEIGHTS", 256}};
constexpr NamedValue kPatchEdge[] = {{"DISCRETE", 0}, {"CONTINUOUS", 1}};
constexpr NamedValue kDegree[] = {{"LINEAR", 1}, {"QUADRATIC", 2}, {"CUBIC", 3}, {"QUINTIC", 5}};
constexpr NamedValue kColourWrite[] = {{"RED", 1}, {"GREEN", 2}, {"BLUE", 4}, {"ALPHA", 8}};
constexpr NamedValue kWrap[] = {{"COORD0", 1}, {"COORD1", 2}, {"COORD2", 4}, {"COORD3", 8},
                                {"U", 1},      {"V", 2},      {"W", 4}};
constexpr NamedValue kTextureOp[] = {
    {"DISABLE", 1},
    {"SELECTARG1", 2},
    {"SELECTARG2", 3},
    {"MODULATE", 4},
    {"MODULATE2X", 5},
    {"MODULATE4X", 6},
    {"ADD", 7},
    {"ADDSIGNED", 8},
    {"ADDSIGNED2X", 9},
    {"SUBTRACT", 10},
    {"ADDSMOOTH", 11},
    {"BLENDDIFFUSEALPHA", 12},
    {"BLENDTEXTUREALPHA", 13},
    {"BLENDFACTORALPHA", 14},
    {"BLENDTEXTUREALPHAPM", 15},
    {"BLENDCURRENTALPHA", 16},
    {"PREMODULATE", 17},
    {"MODULATEALPHA_ADDCOLOR", 18},
    {"MODULATECOLOR_ADDALPHA", 19},
    {"MODULATEINVALPHA_ADDCOLOR", 20},
    {"MODULATEINVCOLOR_ADDALPHA", 21},
    {"BUMPENVMAP", 22},
    {"BUMPENVMAPLUMINANCE", 23},
    {"DOTPRODUCT3", 24},
    {"MULTIPLYADD", 25},
    {"LERP", 26},
};
constexpr NamedValue kTextureArg[] = {{"DIFFUSE", 0},  {"CURRENT", 1},  {"TEXTURE", 2},     {"TFACTOR", 3},
                                      {"SPECULAR", 4}, {"TEMP", 5},     {"CONSTANT", 6},
                                      {"COMPLEMENT", 0x10}, {"ALPHAREPLICATE", 0x20}};
constexpr NamedValue kTexCoordIndex[] = {{"PASSTHRU", 0},
                                         {"CAMERASPACENORMAL", 0x10000},
                                         {"CAMERASPACEPOSITION", 0x20000},
                                         {"CAMERASPACEREFLECTIONVECTOR", 0x30000},
                                         {"SPHEREMAP", 0x40000}};
constexpr NamedValue kTextureTransform[] = {{"DISABLE", 0}, {"COUNT1", 1}, {"COUNT2", 2},
                                            {"COUNT3", 3},  {"COUNT4", 4}, {"PROJECTED", 256}};
constexpr NamedValue kFilter[] = {{"NONE", 0},          {"POINT", 1},        {"LINEAR", 2},
                                  {"ANISOTROPIC", 3},   {"PYRAMIDALQUAD", 6}, {"GAUSSIANQUAD", 7},
                                  {"CONVOLUTIONMONO", 8}};
constexpr NamedValue kAddress[] = {{"WRAP", 1}, {"MIRROR", 2}, {"CLAMP", 3}, {"BORDER", 4}, {"MIRRORONCE", 5}};
constexpr NamedValue kFvf[] = {
    {"XYZ", kFvfXyz},          {"XYZRHW", kFvfXyzRhw},        {"XYZW", kFvfXyzW},
    {"XYZB1", kFvfXyzB1},      {"XYZB2", kFvfXyzB2},          {"XYZB3", kFvfXyzB3},
    {"XYZB4", kFvfXyzB4},      {"XYZB5", kFvfXyzB5},          {"NORMAL", kFvfNormal},
    {"PSIZE", kFvfPSize},      {"DIFFUSE", kFvfDiffuse},      {"SPECULAR", kFvfSpecular},
    {"TEX0", 0u << kFvfTexCountShift}, {"TEX1", 1u << kFvfTexCountShift}, {"TEX2", 2u << kFvfTexCountShift},
    {"TEX3", 3u << kFvfTexCountShift}, {"TEX4", 4u << kFvfTexCountShift}, {"TEX5", 5u << kFvfTexCountShift},
    {"TEX6", 6u << kFvfTexCountShift}, {"TEX7", 7u << kFvfTexCountShift}, {"TEX8", 8u << kFvfTexCountShift},
    {"LASTBETA_UBYTE4", kFvfLastBetaUByte4}, {"LASTBETA_D3DCOLOR", kFvfLastBetaColor},
};
constexpr NamedValue kLightTypes[] = {{"POINT", 1}, {"SPOT", 2}, {"DIRECTIONAL", 3}};

std::string Upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::span<const StateInfo> EffectStates()
{
    return kStates;
}

const StateInfo* FindEffectState(std::string_view name)
{
    static const std::unordered_map<std::string, const StateInfo*> byName = [] {
        std::unordered_map<std::string, const StateInfo*> map;
        for (const StateInfo& s : kStates)
            map.emplace(Upper(s.name), &s);
        return map;
    }();
    const auto found = byName.find(Upper(name));
    return found == byName.end() ? nullptr : found->second;
}

const StateInfo* FindEffectState(StateGroup group, uint32_t number)
{
    // Asked at every pass's begin for each value of parameters: looked up, not searched.
    static const std::unordered_map<uint64_t, const StateInfo*> byNumber = [] {
        std::unordered_map<uint64_t, const StateInfo*> map;
        for (const StateInfo& s : kStates)
            map.emplace(uint64_t(s.group) << 32 | s.number, &s); // the first of a number is kept
        return map;
    }();
    const auto found = byNumber.find(uint64_t(group) << 32 | number);
    return found == byNumber.end() ? nullptr : found->second;
}

std::span<const NamedValue> StateValueNames(StateValues values)
{
    switch (values) {
    case V::None: return {};
    case V::Bool: return kBool;
    case V::ZBuffer: return kZBuffer;
    case V::Fill: return kFill;
    case V::Shade: return kShade;
    case V::Blend: return kBlend;
    case V::BlendOp: return kBlendOp;
    case V::Cull: return kCull;
    case V::Compare: return kCompare;
    case V::StencilOp: return kStencilOp;
    case V::Fog: return kFog;
    case V::MaterialSource: return kMaterialSource;
    case V::VertexBlend: return kVertexBlend;
    case V::PatchEdge: return kPatchEdge;
    case V::Degree: return kDegree;
    case V::ColourWrite: return kColourWrite;
    case V::Wrap: return kWrap;
    case V::TextureOp: return kTextureOp;
    case V::TextureArg: return kTextureArg;
    case V::TexCoordIndex: return kTexCoordIndex;
    case V::TextureTransform: return kTextureTransform;
    case V::Filter: return kFilter;
    case V::Address: return kAddress;
    case V::LightType: return kLightTypes;
    case V::Fvf: return kFvf;
    }
    return {};
}

std::optional<uint32_t> NamedStateValue(StateValues values, std::string_view word)
{
    const std::string upper = Upper(word);
    for (const NamedValue& v : StateValueNames(values))
        if (v.name == upper)
            return v.value;
    return std::nullopt;
}

bool StateValuesCombine(StateValues values)
{
    return values == V::ColourWrite || values == V::Wrap || values == V::TextureArg || values == V::TexCoordIndex ||
           values == V::TextureTransform || values == V::Fvf;
}

} // namespace gfx
