#pragma once
// The render device's texture upload module, a module of RENDERTHREAD: it
// serves the second half of a texture load. "UploadTexToVRAM" makes a whole
// texture from the file the IO thread read (payload UploadTexArgs,
// render/textures/texture_resource.h); "UploadTexPartToVRAM" brings one square
// part of a pooled texture from the pool entry's system-memory texture into its
// video-memory texture (payload UploadTexPartArgs,
// render/textures/texture_pool.h).
#include <cstdint>

#include "kernel/handler_module.h"
#include "kernel/rs_hash.h"

inline constexpr uint32_t kFTTFixMeId = RSHashConst("FTTFixMe");

// Part uploads within this many seconds of the run's first one check that the
// system-memory texture holds the file's texels.
inline constexpr double kUploadCheckWindow = 7.0;

// How long a part upload waits for a file read still holding its buffer before
// it gives the load up.
inline constexpr double kUploadBusyWaitSeconds = 0.5;

// The platform clock in seconds (a steady clock while no platform is published).
double UploadClockSeconds();

class RenderDevice;

class TextureUploadModule : public HandlerModule<TextureUploadModule> {
public:
    // Attaches itself to RENDERTHREAD.
    explicit TextureUploadModule(RenderDevice& owner);
    TextureUploadModule(const TextureUploadModule&) = delete;
    TextureUploadModule& operator=(const TextureUploadModule&) = delete;

    // "UploadTexToVRAM", then "UploadTexPartToVRAM".
    void RegisterHandlers() override;
    void UploadTexToVRAM(TaskMessage* task);
    void UploadTexPartToVRAM(TaskMessage* task);
    // Platform-clock seconds until which part uploads check their texels; 0.0
    // until the first part upload arms it.
    double NextUploadCheck() const { return nextUploadCheck; }

private:
    RenderDevice& owner_;
    double nextUploadCheck = 0.0; // platform-clock seconds; 0.0 = not armed
};
