#pragma once
// Vertex and index buffers: a run of real bytes with a lock count. Locks may
// nest; discarding locks are for dynamic buffers only and keep the same memory.
#include <cstdint>
#include <memory>

#include "platform/gfx/device/resource.h"
#include "platform/gfx/device/resource_storage.h"
#include "platform/gfx/device/result.h"

namespace gfx {

struct BufferDesc {
    uint32_t format = 0; // index format for index buffers, 0 for vertex buffers
    uint32_t type = 0;
    uint32_t usage = 0;
    uint32_t pool = 0;
    uint32_t size = 0;
    uint32_t fvf = 0;
};

class Buffer : public Resource {
public:
    // `size` 0 locks from `offset` to the end.
    Result Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags);
    Result Unlock();
    Result GetDesc(BufferDesc* desc) const;
    uint32_t Size() const { return size_; }
    uint32_t LockCount() const { return lockCount_; }

protected:
    Buffer(Device* device, ResourceType type, uint32_t size, uint32_t usage, uint32_t pool, uint32_t format,
           uint32_t fvf, ResourceStorage storage, uint64_t videoBytes);

private:
    friend class Device;
    friend class Backend;
    friend struct detail::ResourceAccess;

    uint32_t size_;
    uint32_t format_;
    uint32_t fvf_;
    ResourceStorage storage_;
    uint32_t lockCount_ = 0;
};

class VertexBuffer : public Buffer {
private:
    friend class Device;
    using Buffer::Buffer;
};

class IndexBuffer : public Buffer {
public:
    uint32_t Format() const;
    // 2 or 4
    uint32_t IndexSize() const;

private:
    friend class Device;
    using Buffer::Buffer;
};

} // namespace gfx
