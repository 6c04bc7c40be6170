#include "platform/gfx/device/recording_backend.h"

#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/texture.h"
#include "platform/window/screen.h"

namespace gfx {

RecordingBackend::~RecordingBackend()
{
    deferred_.SettleAll();
}

TexelImage RecordingBackend::TexelsOf(Surface* surface)
{
    TexelImage image;
    if (BaseTexture* container = surface->Container()) {
        image.owner = container;
        image.subresource = surface->Face() * Layout(*container).levels + surface->Level();
    } else {
        image.owner = surface;
    }
    image.bits = Bits(*surface);
    image.pitch = Pitch(*surface);
    image.format = surface->Format();
    return image;
}

void RecordingBackend::Clear(const ClearCall& clear)
{
    for (uint32_t i = 0; i < clear.Areas(); ++i) {
        const Rect area = clear.Area(i);
        const auto within = [&](const Surface* surface) {
            return Intersect(area, Rect{0, 0, static_cast<int32_t>(surface->Width()),
                                        static_cast<int32_t>(surface->Height())});
        };
        if (clear.colour) {
            uint8_t texel[16];
            for (Surface* surface : *clear.targets) {
                if (!surface) continue;
                const uint32_t bytes = PackColour(surface->Format(), clear.argb, texel);
                deferred_.Fill(TexelsOf(surface), within(surface), texel, bytes);
            }
        }
        DepthStencilFill fill;
        if ((clear.depth || clear.stencil) &&
            PlanDepthStencilClear(clear.depthStencil->Format(), clear.depth, clear.z, clear.stencil,
                                  clear.stencilValue, fill)) {
            deferred_.FillDepthStencil(TexelsOf(clear.depthStencil), within(clear.depthStencil), fill);
        }
    }
}

void RecordingBackend::Stretch(Surface* source, const Rect& from, Surface* destination, const Rect& to,
                               uint32_t filter)
{
    deferred_.Stretch(TexelsOf(source), from, TexelsOf(destination), to, filter);
}

void RecordingBackend::Present(Surface* backBuffer)
{
    if (!platform::HasScreen(presentWindow_))
        return;
    SyncToCpu(backBuffer);
    ShowFromMemory(backBuffer);
}

} // namespace gfx
