#pragma once
// Test hook: what tests read from or set on graphics objects beyond their own
// calls — the bytes of surfaces, textures and buffers (render targets included,
// which cannot be locked), a device's lost state, and the objects a device
// still had alive when it was released; how a drawing device shows its frames
// in a real window, and how often it brought images back from the GPU.
#include <cstdint>
#include <span>

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/texture.h"

namespace platform::testing {

// One surface's texels, row after row at its pitch.
std::span<uint8_t> SurfaceBytes(gfx::Surface& surface);
uint32_t SurfacePitch(const gfx::Surface& surface);
// What was drawn into a surface, brought back from the GPU (waiting for it to
// finish) without counting as written: the next draw uploads nothing.
std::span<const uint8_t> DrawnSurfaceBytes(gfx::Surface& surface);
// All levels of all faces of a texture, one after another.
std::span<uint8_t> TextureBytes(gfx::BaseTexture& texture);
std::span<uint8_t> BufferBytes(gfx::Buffer& buffer);

void SetDeviceLost(gfx::Device& device, bool lost);
// Objects of the device (resources and declarations) alive right now.
size_t LiveObjects(const gfx::Device& device);
// The same count, taken when the last device was destroyed.
uint32_t LeakedAtLastDeviceRelease();

// Devices made from now on show drawn frames in a real window from memory,
// read back, instead of through OpenGL (what the faster path is measured against).
void ShowDrawnFramesFromMemory(bool fromMemory);
// The device draws and shows its frames in a real window through OpenGL.
bool PresentsThroughGl(const gfx::Device& device);
// Images the device's drawing path brought back to memory (0 when it does not draw).
uint64_t ReadBacks(const gfx::Device& device);

} // namespace platform::testing
