#include "render/vertex_buffer.h"

#include "platform/gfx/result.h"
#include "render/render_device.h"

VertexBufferData::~VertexBufferData()
{
    if (buffer && RendererExists())
        GetRenderer()->ReleaseVertexBuffer(buffer);
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
    const bool made = GetRenderer()->CreateVertexBuffer(&buffer, count, bytesPerVertex, usage);
    vertexCount = count;
    stride = bytesPerVertex;
    return made;
}

void* VertexBufferData::LockVertexBuffer(uint32_t flags)
{
    void* data = nullptr;
    if (!buffer || buffer->Lock(0, 0, &data, flags) != gfx::kOk)
        return nullptr;
    return data;
}

void VertexBufferData::UnlockVertexBuffer()
{
    if (buffer && buffer->LockCount() > 0)
        buffer->Unlock();
}

bool VertexBufferData::FreeVertexBuffer()
{
    if (buffer) {
        GetRenderer()->ReleaseVertexBuffer(buffer);
        buffer = nullptr;
    }
    return true;
}
