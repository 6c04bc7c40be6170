#pragma once
// Plain values of device calls: rectangles, boxes, viewports, lock results,
// primitive types, clear flags, copy filters, stream frequencies and queries.
#include <cstdint>

#include "platform/window/rect.h"

namespace gfx {

// The windows' rectangle: device calls take the same one.
using platform::Rect;

struct Box {
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t right = 0;
    uint32_t bottom = 0;
    uint32_t front = 0;
    uint32_t back = 0;
};

struct Viewport {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    float minZ = 0.0f;
    float maxZ = 1.0f;
};

struct LockedRect {
    int32_t pitch = 0; // bytes per row (per row of 4 x 4 blocks for compressed formats)
    void* bits = nullptr;
};

struct LockedBox {
    int32_t rowPitch = 0;
    int32_t slicePitch = 0;
    void* bits = nullptr;
};

enum PrimitiveType : uint32_t {
    kPrimitivePointList = 1,
    kPrimitiveLineList = 2,
    kPrimitiveLineStrip = 3,
    kPrimitiveTriangleList = 4,
    kPrimitiveTriangleStrip = 5,
    kPrimitiveTriangleFan = 6,
};

// Indices a primitive count of this type takes (0 for an unknown type).
inline constexpr uint64_t IndicesForPrimitives(uint32_t type, uint64_t count)
{
    if (count == 0) return 0;
    switch (type) {
    case kPrimitivePointList: return count;
    case kPrimitiveLineList: return count * 2;
    case kPrimitiveLineStrip: return count + 1;
    case kPrimitiveTriangleList: return count * 3;
    case kPrimitiveTriangleStrip: case kPrimitiveTriangleFan: return count + 2;
    default: return 0;
    }
}

inline constexpr uint32_t kClearTarget = 0x1;
inline constexpr uint32_t kClearZBuffer = 0x2;
inline constexpr uint32_t kClearStencil = 0x4;

enum TextureFilter : uint32_t {
    kFilterNone = 0,
    kFilterPoint = 1,
    kFilterLinear = 2,
};

// Stream frequencies: stream 0 draws `n` instances of indexed data, stream 1
// advances once per instance. 1 is the plain, non-instanced setting.
inline constexpr uint32_t kStreamIndexedData = 0x40000000u;
inline constexpr uint32_t kStreamInstanceData = 0x80000000u;

enum QueryType : uint32_t {
    kQueryEvent = 8,
    kQueryOcclusion = 9,
};

inline constexpr uint32_t kIssueEnd = 0x1;
inline constexpr uint32_t kIssueBegin = 0x2;
inline constexpr uint32_t kGetDataFlush = 0x1;

} // namespace gfx
