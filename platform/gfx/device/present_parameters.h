#pragma once
// What a device is created from: the presentation parameters, the device type,
// the behaviour flags and the multisampling types.
#include <cstdint>

namespace gfx {

using WindowHandle = void*;

inline constexpr uint32_t kSdkVersion = 32;
inline constexpr uint32_t kDefaultAdapter = 0;

enum DeviceType : uint32_t {
    kDeviceHal = 1,
    kDeviceReference = 2,
};

inline constexpr uint32_t kCreateSoftwareVertexProcessing = 0x20;
inline constexpr uint32_t kCreateHardwareVertexProcessing = 0x40;
inline constexpr uint32_t kCreateMixedVertexProcessing = 0x80;

// Multisample types are sample counts (2 to 16); 1 is the maskable kind with
// quality levels only, 0 none.
inline constexpr uint32_t kMultisampleNone = 0;
inline constexpr uint32_t kMultisampleNonMaskable = 1;
inline constexpr uint32_t kMultisample8Samples = 8;
inline constexpr uint32_t kMultisampleMaxSamples = 16;

enum SwapEffect : uint32_t {
    kSwapDiscard = 1,
    kSwapFlip = 2,
    kSwapCopy = 3,
};

inline constexpr uint32_t kPresentIntervalDefault = 0;
inline constexpr uint32_t kPresentIntervalOne = 1;
inline constexpr uint32_t kPresentIntervalImmediate = 0x80000000u;

inline constexpr uint32_t kMaxBackBufferCount = 3;
// The largest back-buffer width or height a device is made with.
inline constexpr uint32_t kMaxBackBufferSide = 16384;

struct PresentParameters {
    uint32_t backBufferWidth = 0;
    uint32_t backBufferHeight = 0;
    uint32_t backBufferFormat = 0;
    uint32_t backBufferCount = 0;
    uint32_t multiSampleType = 0;
    uint32_t multiSampleQuality = 0;
    uint32_t swapEffect = 0;
    WindowHandle deviceWindow = nullptr;
    bool windowed = true;
    bool enableAutoDepthStencil = false;
    uint32_t autoDepthStencilFormat = 0;
    uint32_t flags = 0;
    uint32_t fullScreenRefreshRate = 0;
    uint32_t presentationInterval = 0;
};

} // namespace gfx
