#include "render/resources/index_buffer.h"

#include "kernel/global_objects.h"
#include "render/device/render_device.h"
#include "render/resources/buffer_lock.h"

namespace {

// The type's default handle, kept for the whole run.
[[maybe_unused]] IndexBufferResource* const indexBufferType = RegisterGlobalObject(new IndexBufferResource);

} // namespace

IndexBufferData::~IndexBufferData()
{
    // A block destroyed without its unload (a damaged file read) still gives
    // its buffer back.
    if (buffer && RendererExists())
        GetRenderer()->Resources().ReleaseIndexBuffer(buffer);
    else
        gfx::SafeRelease(buffer);
}

IndexBufferData::IndexBufferData(const IndexBufferData& other)
    : subsetValues(other.subsetValues), indexCount(other.indexCount), primitiveCount(other.primitiveCount),
      indexSize(other.indexSize), indicesPerPrimitive(other.indicesPerPrimitive), subsetScalar(other.subsetScalar)
{
}

IndexBufferData& IndexBufferData::operator=(const IndexBufferData& other)
{
    if (this == &other)
        return *this;
    FreeIndexBuffer();
    subsetValues = other.subsetValues;
    indexCount = other.indexCount;
    primitiveCount = other.primitiveCount;
    indexSize = other.indexSize;
    indicesPerPrimitive = other.indicesPerPrimitive;
    subsetScalar = other.subsetScalar;
    return *this;
}

bool IndexBufferData::AllocIndexBuffer(uint32_t count, uint32_t vertexCount, uint32_t usage)
{
    FreeIndexBuffer();
    indexSize = vertexCount <= kMaxVerticesFor16BitIndices ? 2 : 4;
    GetRenderer()->Resources().CreateIndexBuffer(&buffer, count, indexSize, usage);
    indexCount = count;
    // Guards a zero read from a damaged file; 0 primitives draw nothing.
    primitiveCount = indicesPerPrimitive != 0 ? indexCount / indicesPerPrimitive : 0;
    return indexSize != 2;
}

void* IndexBufferData::LockIndexBuffer(uint32_t flags)
{
    return LockWholeBuffer(buffer, flags);
}

void IndexBufferData::UnlockIndexBuffer()
{
    UnlockBuffer(buffer);
}

bool IndexBufferData::FreeIndexBuffer()
{
    if (buffer) {
        GetRenderer()->Resources().ReleaseIndexBuffer(buffer);
        buffer = nullptr;
    }
    return true;
}

bool IndexBufferResource::DoUnload()
{
    IndexBufferData* data = GetPayload();
    return data ? data->FreeIndexBuffer() : true;
}

bool IndexBufferResource::AllocIndexBuffer(uint32_t indexCount, uint32_t vertices, uint32_t usage)
{
    IndexBufferData* data = GetPayload();
    return data ? data->AllocIndexBuffer(indexCount, vertices, usage) : false;
}

void* IndexBufferResource::LockIndexBuffer(uint32_t flags)
{
    IndexBufferData* data = GetPayload();
    lockPointer = data ? data->LockIndexBuffer(flags) : nullptr;
    return lockPointer;
}

void IndexBufferResource::UnlockIndexBuffer()
{
    if (IndexBufferData* data = GetPayload())
        data->UnlockIndexBuffer();
}
