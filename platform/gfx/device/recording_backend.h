#pragma once
// The backend of a device that records and draws nothing: clears and stretch
// copies are carried out on the CPU bytes once something reads them
// (deferred_texels.h), draws and mip generation leave the bytes as they are,
// and a real device window shows presented frames from the back buffer's bytes.
#include "platform/gfx/device/backend.h"
#include "platform/gfx/device/deferred_texels.h"

namespace gfx {

class RecordingBackend final : public Backend {
public:
    explicit RecordingBackend(platform::Window* presentWindow) : Backend(presentWindow) {}
    // What the engine still holds may yet be read: the work owed to it is done.
    ~RecordingBackend() override;

    bool Draws() const override { return false; }
    void Clear(const ClearCall& clear) override;
    void Stretch(Surface* source, const Rect& from, Surface* destination, const Rect& to, uint32_t filter) override;
    bool Draw(const DrawCall&) override { return true; }
    void GenerateMips(Resource*) override {}
    void SyncToCpu(Resource* resource) override { deferred_.Settle(resource); }
    void RetireBytes(const Resource* resource) override { deferred_.Retire(resource); }
    void Forget(const Resource*) override {}
    void Present(Surface* backBuffer) override;
    void Pause() override {}
    void Closing() override {}

private:
    static TexelImage TexelsOf(Surface* surface);

    DeferredTexels deferred_;
};

} // namespace gfx
