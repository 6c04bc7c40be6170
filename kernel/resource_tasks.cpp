#include "kernel/resource_tasks.h"

#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"
#include "kernel/serializable_object.h"
#include "kernel/thread_map.h"

namespace {
ResourceTaskModule* resourceTaskModule = nullptr;
UnlockVBModule* unlockVBModule = nullptr;
UnlockVertexBufferRoutine unlockVertexBuffer = nullptr;
} // namespace

bool PostUnloadResource(void* block, OrphanRelease release)
{
    EngineThread* renderThread = GetThreadMap().Find(kRenderThreadId);
    if (!renderThread)
        return false;
    QueueRegistry* registry = GetQueueRegistry();
    QueueRegistry::PostingGuard guard(*registry);
    TaskBatch* batch = registry->AllocQueue(0);
    TaskMessage task;
    task.taskId = kUnloadResourceTask;
    task.Set<UnloadResourceArgs::Block>(block);
    task.Set<UnloadResourceArgs::Release>(release);
    return batch->PushTask(task, renderThread, "unres") != nullptr;
}

// ---- ResourceTaskModule ----

ResourceTaskModule::~ResourceTaskModule()
{
    if (resourceTaskModule == this)
        resourceTaskModule = nullptr;
}

void ResourceTaskModule::RegisterHandlers()
{
    RegisterHandler("UnloadResource", &ResourceTaskModule::HandleUnloadResource);
    RegisterHandler("ChangeSourceStatus", &ResourceTaskModule::HandleChangeSourceStatus);
}

void ResourceTaskModule::HandleUnloadResource(TaskMessage* task)
{
    void* block = task->Get<UnloadResourceArgs::Block>();
    const OrphanRelease release = task->Get<UnloadResourceArgs::Release>();
    if (block && release)
        release(block);
}

void ResourceTaskModule::HandleChangeSourceStatus(TaskMessage* task)
{
    if (SerializableObject* object = task->Get<ChangeSourceStatusArgs::Object>())
        object->SetState(task->Get<ChangeSourceStatusArgs::State>());
}

ResourceTaskModule* CreateResourceTaskModule(EngineThread* thread)
{
    auto* module = new ResourceTaskModule;
    resourceTaskModule = module;
    thread->AddModule(module);
    module->owned = true;
    return module;
}

ResourceTaskModule* GetResourceTaskModule()
{
    return resourceTaskModule;
}

// ---- UnlockVBModule ----

UnlockVBModule::~UnlockVBModule()
{
    if (unlockVBModule == this)
        unlockVBModule = nullptr;
}

void UnlockVBModule::RegisterHandlers()
{
    RegisterHandler("UnlockVB", &UnlockVBModule::HandleUnlockVB);
}

void UnlockVBModule::HandleUnlockVB(TaskMessage* task)
{
    MeshResource* mesh = task->Get<UnlockVBArgs::Mesh>();
    if (mesh && unlockVertexBuffer)
        unlockVertexBuffer(mesh);
    if (uint32_t* done = task->Get<UnlockVBArgs::Done>())
        *done = 2;
}

UnlockVBModule* CreateUnlockVBModule(EngineThread* thread)
{
    auto* module = new UnlockVBModule;
    unlockVBModule = module;
    thread->AddModule(module);
    module->owned = true;
    return module;
}

UnlockVBModule* GetUnlockVBModule()
{
    return unlockVBModule;
}

void SetUnlockVertexBufferRoutine(UnlockVertexBufferRoutine routine)
{
    unlockVertexBuffer = routine;
}

namespace {
// Attached before the entry point, so both are registered when RENDERTHREAD is added.
[[maybe_unused]] ResourceTaskModule* const staticResourceTasks = CreateResourceTaskModule(GetRenderThread());
[[maybe_unused]] UnlockVBModule* const staticUnlockVB = CreateUnlockVBModule(GetRenderThread());
} // namespace
