#pragma once
// Vertex elements (8 bytes each, as resource files store them), their types and
// usages, the per-stream vertex size of an element list, the vertex
// declaration object made from one, and the flags of a flexible vertex format
// (the older way of naming a layout, which a device keeps as set).
#include <cstdint>
#include <vector>

#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/result.h"

namespace gfx {

class Device;

struct VertexElement {
    uint16_t stream = 0;
    uint16_t offset = 0;
    uint8_t type = 0;
    uint8_t method = 0;
    uint8_t usage = 0;
    uint8_t usageIndex = 0;
};
static_assert(sizeof(VertexElement) == 8, "vertex elements are stored as 8 bytes");

enum DeclType : uint8_t {
    kDeclFloat1 = 0,
    kDeclFloat2 = 1,
    kDeclFloat3 = 2,
    kDeclFloat4 = 3,
    kDeclColor = 4,
    kDeclUByte4 = 5,
    kDeclShort2 = 6,
    kDeclShort4 = 7,
    kDeclUByte4N = 8,
    kDeclShort2N = 9,
    kDeclShort4N = 10,
    kDeclUShort2N = 11,
    kDeclUShort4N = 12,
    kDeclUDec3 = 13,
    kDeclDec3N = 14,
    kDeclFloat16x2 = 15,
    kDeclFloat16x4 = 16,
    kDeclUnused = 17,
};

inline constexpr uint8_t kDeclMethodDefault = 0;

enum DeclUsage : uint8_t {
    kDeclUsagePosition = 0,
    kDeclUsageBlendWeight = 1,
    kDeclUsageBlendIndices = 2,
    kDeclUsageNormal = 3,
    kDeclUsagePointSize = 4,
    kDeclUsageTexcoord = 5,
    kDeclUsageTangent = 6,
    kDeclUsageBinormal = 7,
    kDeclUsageTessFactor = 8,
    kDeclUsagePositionT = 9,
    kDeclUsageColor = 10,
    kDeclUsageFog = 11,
    kDeclUsageDepth = 12,
    kDeclUsageSample = 13,
};

inline constexpr uint16_t kDeclEndStream = 0xFF;
// The terminator of every element list.
inline constexpr VertexElement kDeclEnd{kDeclEndStream, 0, kDeclUnused, 0, 0, 0};
// Elements of one declaration, terminator excluded.
inline constexpr uint32_t kMaxDeclElements = 64;

inline constexpr bool IsDeclEnd(const VertexElement& element) { return element.stream == kDeclEndStream; }

// Flexible vertex format flags: one position kind, then what follows it.
inline constexpr uint32_t kFvfXyz = 0x002;
inline constexpr uint32_t kFvfXyzRhw = 0x004;
inline constexpr uint32_t kFvfXyzB1 = 0x006; // a position and 1 to 5 blend weights
inline constexpr uint32_t kFvfXyzB2 = 0x008;
inline constexpr uint32_t kFvfXyzB3 = 0x00A;
inline constexpr uint32_t kFvfXyzB4 = 0x00C;
inline constexpr uint32_t kFvfXyzB5 = 0x00E;
inline constexpr uint32_t kFvfXyzW = 0x4002;
inline constexpr uint32_t kFvfNormal = 0x010;
inline constexpr uint32_t kFvfPSize = 0x020;
inline constexpr uint32_t kFvfDiffuse = 0x040;
inline constexpr uint32_t kFvfSpecular = 0x080;
inline constexpr uint32_t kFvfTexCountShift = 8; // TEX0 to TEX8: the count of coordinate sets, here
inline constexpr uint32_t kFvfLastBetaUByte4 = 0x1000;
inline constexpr uint32_t kFvfLastBetaColor = 0x8000;

// Bytes of one element of `type`; 0 for an unknown type.
uint32_t DeclTypeSize(uint8_t type);

// The vertex size of `stream`: the end of its furthest element, up to the
// terminator (at most kMaxDeclElements elements are read). 0 when none.
uint32_t DeclVertexSize(const VertexElement* elements, uint32_t stream);

class VertexDeclaration : public RefCounted {
public:
    // Copies the elements with their terminator into `elements` (room for
    // `*count` entries); `elements` null asks only for the count.
    Result GetDeclaration(VertexElement* elements, uint32_t* count) const;
    const std::vector<VertexElement>& Elements() const { return elements_; } // terminator excluded
    // True when some element reads from `stream`.
    bool ReadsStream(uint32_t stream) const;
    Device* GetDevice() const { return device_; }

private:
    friend class Device;
    VertexDeclaration(Device* device, std::vector<VertexElement> elements);
    ~VertexDeclaration() override;
    void Orphan() { device_ = nullptr; }

    Device* device_;
    std::vector<VertexElement> elements_;
};

} // namespace gfx
