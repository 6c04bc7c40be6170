#include "render/resources/vertex_declaration.h"

#include "kernel/global_objects.h"
#include "platform/gfx/device/device.h"
#include "render/device/render_device.h"

namespace {

// The type's default handle, kept for the whole run.
[[maybe_unused]] VertexDeclResource* const vertexDeclType = RegisterGlobalObject(new VertexDeclResource);

} // namespace

VertexDeclData::VertexDeclData()
{
    for (uint16_t row = 0; row < 4; ++row)
        AddVertexElement(1, static_cast<uint16_t>(16 * row), gfx::kDeclFloat4, gfx::kDeclMethodDefault,
                         gfx::kDeclUsageTexcoord, row + 1u);
    elementsAdded = 0;
    strideExtra = 0;
    dirty = 1;
}

VertexDeclData::~VertexDeclData()
{
    gfx::SafeRelease(declaration);
}

VertexDeclData::VertexDeclData(const VertexDeclData& other)
    : dirty(1), elementsAdded(other.elementsAdded), elements(other.elements), usageOffsets(other.usageOffsets),
      strides{other.strides[0], other.strides[1]}, strideExtra(other.strideExtra)
{
}

VertexDeclData& VertexDeclData::operator=(const VertexDeclData& other)
{
    if (this == &other)
        return *this;
    gfx::SafeRelease(declaration);
    elementArray.reset();
    dirty = 1;
    elementsAdded = other.elementsAdded;
    elements = other.elements;
    usageOffsets = other.usageOffsets;
    strides[0] = other.strides[0];
    strides[1] = other.strides[1];
    strideExtra = other.strideExtra;
    return *this;
}

uint32_t& VertexDeclData::AddVertexElement(uint16_t stream, uint16_t offset, uint32_t type, uint32_t method,
                                           uint32_t usage, uint32_t usageIndex)
{
    elements.push_back({stream, offset, static_cast<uint8_t>(type), static_cast<uint8_t>(method),
                        static_cast<uint8_t>(usage), static_cast<uint8_t>(usageIndex)});
    dirty = 1;
    elementsAdded = 1;
    uint32_t& entry = usageOffsets[usage];
    entry = offset;
    return entry;
}

void VertexDeclData::ClearVertexDecl()
{
    std::vector<gfx::VertexElement>().swap(elements);
    dirty = 1;
    usageOffsets.clear();
}

uint16_t VertexDeclData::RebuildVertexDecl()
{
    elementArray = std::make_unique<gfx::VertexElement[]>(elements.size() + 1);
    for (size_t i = 0; i < elements.size(); ++i)
        elementArray[i] = elements[i];
    elementArray[elements.size()] = gfx::kDeclEnd;
    gfx::SafeRelease(declaration);
    for (uint32_t stream = 0; stream < kVertexDeclStreams; ++stream)
        strides[stream] = static_cast<uint16_t>(gfx::DeclVertexSize(elementArray.get(), stream));
    dirty = 0;
    return strides[1];
}

gfx::VertexDeclaration* VertexDeclData::GetVertexDecl()
{
    if (dirty)
        RebuildVertexDecl();
    if (!declaration) {
        gfx::Device* device = GetRenderer()->Device();
        if (device && device->CreateVertexDeclaration(elementArray.get(), &declaration) != gfx::kOk)
            declaration = nullptr;
    }
    return declaration;
}

uint32_t VertexDeclData::GetStreamStride(uint32_t stream)
{
    if (stream >= kVertexDeclStreams)
        return 0;
    if (dirty)
        RebuildVertexDecl();
    return strides[stream] + strideExtra;
}

void VertexDeclData::Unload()
{
    gfx::SafeRelease(declaration);
    elementArray.reset();
}

void VertexDeclResource::DoLoad(const std::string& /*name*/)
{
    SetState(resource_state::kLoaded);
}

bool VertexDeclResource::DoUnload()
{
    if (VertexDeclData* data = GetPayload())
        data->Unload();
    return true;
}

uint32_t& VertexDeclResource::AddVertexElement(uint16_t stream, uint16_t offset, uint32_t type, uint32_t method,
                                               uint32_t usage, uint32_t usageIndex)
{
    if (VertexDeclData* data = GetPayload())
        return data->AddVertexElement(stream, offset, type, method, usage, usageIndex);
    static thread_local uint32_t nowhere = 0;
    nowhere = offset;
    return nowhere;
}

void VertexDeclResource::ClearVertexDecl()
{
    if (VertexDeclData* data = GetPayload())
        data->ClearVertexDecl();
}

uint16_t VertexDeclResource::RebuildVertexDecl()
{
    VertexDeclData* data = GetPayload();
    return data ? data->RebuildVertexDecl() : 0;
}

gfx::VertexDeclaration* VertexDeclResource::GetVertexDecl()
{
    VertexDeclData* data = GetPayload();
    return data ? data->GetVertexDecl() : nullptr;
}

uint32_t VertexDeclResource::GetStreamStride(uint32_t stream)
{
    VertexDeclData* data = GetPayload();
    return data ? data->GetStreamStride(stream) : 0;
}
