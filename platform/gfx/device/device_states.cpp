#include "platform/gfx/device/device_states.h"

namespace gfx {

namespace {

// Texture arguments and operations, as the stages start.
constexpr uint32_t kArgCurrent = 1;
constexpr uint32_t kArgTexture = 2;
constexpr uint32_t kOpDisable = 1;
constexpr uint32_t kOpSelectArg1 = 2;
constexpr uint32_t kOpModulate = 4;

} // namespace

DeviceStates::DeviceStates()
{
    for (auto& sampler : samplers) {
        sampler.fill(0);
        sampler[kSampAddressU] = sampler[kSampAddressV] = sampler[kSampAddressW] = 1; // wrap
        sampler[kSampMagFilter] = sampler[kSampMinFilter] = 1;                       // point
        sampler[kSampMaxAnisotropy] = 1;
        sampler[kSampDMapOffset] = 256;
    }
    for (uint32_t i = 0; i < kMaxTextureStages; ++i) {
        auto& stage = stages[i];
        stage.fill(0);
        stage[kTssColorOp] = i == 0 ? kOpModulate : kOpDisable;
        stage[kTssAlphaOp] = i == 0 ? kOpSelectArg1 : kOpDisable;
        stage[kTssColorArg1] = stage[kTssAlphaArg1] = kArgTexture;
        stage[kTssColorArg2] = stage[kTssAlphaArg2] = kArgCurrent;
        stage[kTssColorArg0] = stage[kTssAlphaArg0] = stage[kTssResultArg] = kArgCurrent;
        stage[kTssTexCoordIndex] = i;
        stage[kTssConstant] = 0xFFFFFFFFu;
    }
}

bool IsSamplerState(uint32_t type)
{
    return type >= kSampAddressU && type < kSamplerStateLimit;
}

bool IsTextureStageState(uint32_t type)
{
    return (type >= kTssColorOp && type <= kTssTexCoordIndex) ||
           (type >= kTssBumpEnvLScale && type <= kTssTextureTransformFlags) ||
           (type >= kTssColorArg0 && type <= kTssResultArg) || type == kTssConstant;
}

bool IsTransform(uint32_t state)
{
    return state == kTransformView || state == kTransformProjection ||
           (state >= kTransformTexture0 && state < kTransformTexture0 + kMaxTextureStages) ||
           (state >= kTransformWorld && state < kTransformLimit);
}

} // namespace gfx
