#include "render/resources/buffer_lock.h"

void* LockWholeBuffer(gfx::Buffer* buffer, uint32_t flags)
{
    void* data = nullptr;
    if (!buffer || buffer->Lock(0, 0, &data, flags) != gfx::kOk)
        return nullptr;
    return data;
}

void UnlockBuffer(gfx::Buffer* buffer)
{
    if (buffer && buffer->LockCount() > 0)
        buffer->Unlock();
}
