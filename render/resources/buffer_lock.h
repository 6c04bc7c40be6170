#pragma once
// Locking a whole vertex or index buffer to fill it, as both buffer kinds do.
#include <cstdint>

#include "platform/gfx/device/buffer.h"

// The address of the whole buffer; null when there is no buffer or the lock
// failed, so the caller skips the filling.
void* LockWholeBuffer(gfx::Buffer* buffer, uint32_t flags);
// Unlocks the buffer when it is locked; nothing for no buffer.
void UnlockBuffer(gfx::Buffer* buffer);
