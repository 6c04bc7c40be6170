#pragma once
// Copy tasks of RENDERTHREAD: "PureCopyTo" copies a block-compressed image
// held in a FileBuffer (a DDS file read into memory: its 128-byte header, then
// 8 bytes per 4 x 4 block) into a rectangle of a texture handle's texture;
// "PureCopyUnload" cancels such a copy while it is still queued. The poster
// owns a status word: it sets 1 when it posts, the copy writes 0 (dropped) or
// 2 (copied). The module is made and attached to the render thread during
// static initialisation.
#include <cstdint>
#include <map>

#include "kernel/file_buffer.h"
#include "kernel/handler_module.h"
#include "kernel/task_message.h"

class EngineThread;
class TextureResource;

inline constexpr uint32_t kPureCopyToId = RSHashConst("PureCopyTo");
inline constexpr uint32_t kPureCopyUnloadId = RSHashConst("PureCopyUnload");

inline constexpr uint32_t kCopyDropped = 0;
inline constexpr uint32_t kCopyPending = 1;
inline constexpr uint32_t kCopyDone = 2;

struct PureCopyToArgs {
    using Target = PayloadField<TextureResource*, 0>;
    using Status = PayloadField<uint32_t*, 8>;
    using X = PayloadField<uint16_t, 16>;
    using Y = PayloadField<uint16_t, 18>;
    using Width = PayloadField<uint16_t, 20>;
    using Height = PayloadField<uint16_t, 22>;
    using Source = PayloadField<FileBuffer*, 24>;    // also the key of the cancel map
    using RowLength = PayloadField<uint32_t, 32>;    // texels of a destination row
};

struct PureCopyUnloadArgs {
    using Key = PayloadField<uintptr_t, 0>;          // the source FileBuffer's address
    using Status = PayloadField<uint32_t*, 8>;
};

// Copies pending cancellation, by source buffer address (1 = cancelled).
std::map<uintptr_t, uint32_t>& CopyCancelMap();

class CopyTaskHandler : public HandlerModule<CopyTaskHandler> {
public:
    ~CopyTaskHandler() override;
    // "PureCopyUnload", then "PureCopyTo".
    void RegisterHandlers() override;

    static void PureCopyTo(CopyTaskHandler* module, TaskMessage* task);
    static void PureCopyUnload(CopyTaskHandler* module, TaskMessage* task);
};

// Makes the module, keeps it as the current one, attaches it to the thread and
// gives the thread its ownership.
CopyTaskHandler* CreateCopyTaskHandler(EngineThread* thread);
// The module now attached, or null once its thread has deleted it.
CopyTaskHandler* GetCopyTaskHandler();
