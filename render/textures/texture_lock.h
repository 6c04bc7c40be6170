#pragma once
// The renderer's checked texture calls: lock and unlock a level, and copy a
// system-memory texture's changed region into video memory. Each keeps the
// device's result in the render device's lastResult and reports a failure on
// the error stream.
#include <cstdint>

#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/texture.h"

// Locks (x, y, x + width, y + height) of the level, or the whole level when
// width is 0. False (and `locked` emptied) when the lock failed: "LockRect failed.".
bool LockTexture(gfx::LockedRect& locked, gfx::Texture* texture, uint16_t level, uint16_t x, uint16_t y,
                 uint16_t width, uint16_t height, uint32_t flags);
// "UnlockRect failed." on failure.
bool UnlockTexture(gfx::Texture* texture, uint16_t level);
// "UpdateTexture failed. <reason>" on failure.
bool UpdateTextureChecked(gfx::BaseTexture* source, gfx::BaseTexture* destination);
