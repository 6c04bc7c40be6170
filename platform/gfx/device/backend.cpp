#include "platform/gfx/device/backend.h"

#include <iostream>
#include <mutex>

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/recording_backend.h"
#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/gfx/raster/gl_backend.h"
#include "platform/window/screen.h"

namespace gfx {

std::unique_ptr<Backend> MakeBackend(platform::Window* presentWindow)
{
    if (CurrentGfxMode() == GfxMode::Raster) {
        if (std::unique_ptr<Backend> drawing = raster::GlBackend::Create(presentWindow))
            return drawing;
    } else if (!CapturePath().empty()) {
        static std::once_flag told;
        std::call_once(told, [] { std::cout << "Graphics: frames are recorded, not drawn: ZANDREL_CAPTURE gets no picture.\n"; });
    }
    return std::make_unique<RecordingBackend>(presentWindow);
}

void Backend::ShowFromMemory(Surface* backBuffer) const
{
    platform::FrameLayout layout;
    switch (backBuffer->Format()) {
    case kFormatX8R8G8B8: case kFormatA8R8G8B8: layout = platform::FrameLayout::kBgrx8888; break;
    case kFormatR5G6B5: layout = platform::FrameLayout::kRgb565; break;
    case kFormatX1R5G5B5: case kFormatA1R5G5B5: layout = platform::FrameLayout::kXrgb1555; break;
    default: return; // no window shows ten bits a channel
    }
    platform::ShowFrame(presentWindow_, backBuffer->Bits(), static_cast<int>(backBuffer->Width()),
                        static_cast<int>(backBuffer->Height()), static_cast<int>(backBuffer->Pitch()), layout);
}

uint8_t* Backend::Bits(const Surface& surface)
{
    return surface.Bits();
}

uint32_t Backend::Pitch(const Surface& surface)
{
    return surface.Pitch();
}

const TextureLayout& Backend::Layout(const BaseTexture& texture)
{
    return texture.layout_;
}

uint8_t* Backend::Bytes(const BaseTexture& texture)
{
    return texture.storage_.get();
}

const uint8_t* Backend::Bytes(const Buffer& buffer)
{
    return buffer.storage_.get();
}

} // namespace gfx
