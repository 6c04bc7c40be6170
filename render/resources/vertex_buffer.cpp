#include "render/resources/vertex_buffer.h"

#include "kernel/global_objects.h"
#include "render/device/render_device.h"
#include "render/resources/buffer_lock.h"

namespace {

// The type's default handle, kept for the whole run.
[[maybe_unused]] VertexBufferResource* const vertexBufferType = RegisterGlobalObject(new VertexBufferResource);

} // namespace

VertexBufferData::~VertexBufferData()
{
    if (buffer && RendererExists())
        GetRenderer()->Resources().ReleaseVertexBuffer(buffer);
    else
        gfx::SafeRelease(buffer);
}

VertexBufferData::VertexBufferData(const VertexBufferData& other)
    : stride(other.stride), vertexCount(other.vertexCount)
{
}

VertexBufferData& VertexBufferData::operator=(const VertexBufferData& other)
{
    if (this == &other)
        return *this;
    FreeVertexBuffer();
    stride = other.stride;
    vertexCount = other.vertexCount;
    return *this;
}

bool VertexBufferData::AllocVertexBuffer(uint32_t count, uint32_t bytesPerVertex, uint32_t usage)
{
    FreeVertexBuffer();
    const bool made = GetRenderer()->Resources().CreateVertexBuffer(&buffer, count, bytesPerVertex, usage);
    vertexCount = count;
    stride = bytesPerVertex;
    return made;
}

void* VertexBufferData::LockVertexBuffer(uint32_t flags)
{
    return LockWholeBuffer(buffer, flags);
}

void VertexBufferData::UnlockVertexBuffer()
{
    UnlockBuffer(buffer);
}

bool VertexBufferData::FreeVertexBuffer()
{
    if (buffer) {
        GetRenderer()->Resources().ReleaseVertexBuffer(buffer);
        buffer = nullptr;
    }
    return true;
}

void VertexBufferResource::DoLoad(const std::string& /*name*/) {}

bool VertexBufferResource::DoUnload()
{
    VertexBufferData* data = GetPayload();
    return data ? data->FreeVertexBuffer() : true;
}

bool VertexBufferResource::AllocVertexBuffer(uint32_t count, uint32_t stride, uint32_t usage)
{
    VertexBufferData* data = GetPayload();
    return data ? data->AllocVertexBuffer(count, stride, usage) : false;
}

void* VertexBufferResource::LockVertexBuffer(uint32_t flags)
{
    VertexBufferData* data = GetPayload();
    lockPointer = data ? data->LockVertexBuffer(flags) : nullptr;
    return lockPointer;
}

void VertexBufferResource::UnlockVertexBuffer()
{
    if (VertexBufferData* data = GetPayload())
        data->UnlockVertexBuffer();
}
