#include "platform/gfx/device/vertex_layout.h"

#include <algorithm>

#include "platform/gfx/device/device.h"

namespace gfx {

uint32_t DeclTypeSize(uint8_t type)
{
    switch (type) {
    case kDeclFloat1: return 4;
    case kDeclFloat2: return 8;
    case kDeclFloat3: return 12;
    case kDeclFloat4: return 16;
    case kDeclColor: case kDeclUByte4: case kDeclShort2: case kDeclUByte4N: case kDeclShort2N:
    case kDeclUShort2N: case kDeclUDec3: case kDeclDec3N: case kDeclFloat16x2:
        return 4;
    case kDeclShort4: case kDeclShort4N: case kDeclUShort4N: case kDeclFloat16x4: return 8;
    default: return 0;
    }
}

uint32_t DeclVertexSize(const VertexElement* elements, uint32_t stream)
{
    if (!elements) return 0;
    uint32_t size = 0;
    for (uint32_t i = 0; i < kMaxDeclElements && !IsDeclEnd(elements[i]); ++i) {
        if (elements[i].stream != stream) continue;
        size = std::max(size, static_cast<uint32_t>(elements[i].offset) + DeclTypeSize(elements[i].type));
    }
    return size;
}

VertexDeclaration::VertexDeclaration(Device* device, std::vector<VertexElement> elements)
    : device_(device), elements_(std::move(elements))
{
    if (device_) device_->AdoptDeclaration(this);
}

VertexDeclaration::~VertexDeclaration()
{
    if (device_) device_->ForgetDeclaration(this);
}

Result VertexDeclaration::GetDeclaration(VertexElement* elements, uint32_t* count) const
{
    if (!count) return kInvalidCall;
    const uint32_t needed = static_cast<uint32_t>(elements_.size()) + 1;
    if (!elements) {
        *count = needed;
        return kOk;
    }
    if (*count < needed) return kInvalidCall;
    std::copy(elements_.begin(), elements_.end(), elements);
    elements[elements_.size()] = kDeclEnd;
    *count = needed;
    return kOk;
}

bool VertexDeclaration::ReadsStream(uint32_t stream) const
{
    return std::any_of(elements_.begin(), elements_.end(),
                       [stream](const VertexElement& element) { return element.stream == stream; });
}

} // namespace gfx
