#include "platform/gfx/device/buffer.h"

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/resource_flags.h"

namespace gfx {

Buffer::Buffer(Device* device, ResourceType type, uint32_t size, uint32_t usage, uint32_t pool, uint32_t format,
               uint32_t fvf, ResourceStorage storage, uint64_t videoBytes)
    : Resource(device, type, pool, usage, videoBytes),
      size_(size),
      format_(format),
      fvf_(fvf),
      storage_(std::move(storage))
{
}

Result Buffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags)
{
    const char* name = GetType() == kResourceIndexBuffer ? "IndexBuffer::Lock" : "VertexBuffer::Lock";
    Result result = kOk;
    if (auto injected = detail::TakeInjection(name); injected && Failed(*injected)) {
        result = *injected;
    } else if (!data || offset > size_ || (size != 0 && size > size_ - offset) ||
               ((flags & kLockDiscard) != 0 && (GetUsage() & kUsageDynamic) == 0)) {
        result = kInvalidCall;
    }
    if (data) *data = Succeeded(result) ? storage_.get() + offset : nullptr;
    if (Succeeded(result)) {
        ++lockCount_;
        ContentChanged();
    }
    detail::RecordCall(name, {detail::Arg(this), offset, size, flags}, result);
    return result;
}

Result Buffer::Unlock()
{
    const char* name = GetType() == kResourceIndexBuffer ? "IndexBuffer::Unlock" : "VertexBuffer::Unlock";
    Result result = lockCount_ > 0 ? kOk : kInvalidCall;
    if (auto injected = detail::TakeInjection(name); injected && Failed(*injected)) result = *injected;
    if (Succeeded(result)) {
        --lockCount_;
        ContentChanged();
    }
    detail::RecordCall(name, {detail::Arg(this)}, result);
    return result;
}

Result Buffer::GetDesc(BufferDesc* desc) const
{
    if (!desc) return kInvalidCall;
    desc->format = format_;
    desc->type = GetType();
    desc->usage = GetUsage();
    desc->pool = GetPool();
    desc->size = size_;
    desc->fvf = fvf_;
    return kOk;
}

uint32_t IndexBuffer::Format() const
{
    BufferDesc desc;
    GetDesc(&desc);
    return desc.format;
}

uint32_t IndexBuffer::IndexSize() const
{
    return Format() == kFormatIndex32 ? 4u : 2u;
}

} // namespace gfx
