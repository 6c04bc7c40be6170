#pragma once
// The render thread's resource tasks, served by two modules attached to
// RENDERTHREAD during static initialisation:
//   "UnloadResource"     the deferred release of a data block whose last
//                        reference went while it was still loading
//   "ChangeSourceStatus" sets the state of an object's data block
//   "UnlockVB"           unlocks a mesh's vertex buffer, then marks it done
// Payloads hold full 64-bit addresses; the layouts are the Args structs below.
#include <cstdint>

#include "kernel/handler_module.h"
#include "kernel/task_message.h"

class EngineThread;
class MeshResource;
class SerializableObject;

inline constexpr uint32_t kUnloadResourceTask = RSHashConst("UnloadResource");
inline constexpr uint32_t kChangeSourceStatusTask = RSHashConst("ChangeSourceStatus");
inline constexpr uint32_t kUnlockVBTask = RSHashConst("UnlockVB");

// Releases one orphaned data block of its type: frees it once it is no longer
// loading, else posts "UnloadResource" for it again.
using OrphanRelease = void (*)(void* block);

// The deferred release carries the block and its type's release, never a
// handle: the handle is usually destroyed long before the task runs.
struct UnloadResourceArgs {
    using Block = PayloadField<void*, 0>;
    using Release = PayloadField<OrphanRelease, 8>;
};

struct ChangeSourceStatusArgs {
    using Object = PayloadField<SerializableObject*, 0>;
    using State = PayloadField<uint32_t, 8>;
};

struct UnlockVBArgs {
    using Mesh = PayloadField<MeshResource*, 0>;
    using Done = PayloadField<uint32_t*, 8>;
};

// Posts "UnloadResource" (tag "unres") in a batch of its own to the render
// thread. False, posting nothing, while no render thread is in ThreadMap.
bool PostUnloadResource(void* block, OrphanRelease release);

class ResourceTaskModule : public HandlerModule<ResourceTaskModule> {
public:
    ~ResourceTaskModule() override;
    // "UnloadResource", then "ChangeSourceStatus".
    void RegisterHandlers() override;

    void HandleUnloadResource(TaskMessage* task);
    void HandleChangeSourceStatus(TaskMessage* task);
};

// The mesh code's unlock of a mesh's vertex buffer.
using UnlockVertexBufferRoutine = void (*)(MeshResource* mesh);

class UnlockVBModule : public HandlerModule<UnlockVBModule> {
public:
    ~UnlockVBModule() override;
    void RegisterHandlers() override;

    // Unlocks the mesh's vertex buffer with the installed routine, then writes
    // 2 into the done word.
    void HandleUnlockVB(TaskMessage* task);
};

// Build the module, keep it in its process-wide pointer, attach it to the
// thread (which then owns it) and return it.
ResourceTaskModule* CreateResourceTaskModule(EngineThread* thread);
UnlockVBModule* CreateUnlockVBModule(EngineThread* thread);

// The modules now attached, or null once their thread has deleted them.
ResourceTaskModule* GetResourceTaskModule();
UnlockVBModule* GetUnlockVBModule();

// Installed by the mesh code; without one "UnlockVB" has no buffer to unlock
// and only marks the word done.
void SetUnlockVertexBufferRoutine(UnlockVertexBufferRoutine routine);
