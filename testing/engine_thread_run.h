#pragma once
// The real engine threads run for a while: IOTHREAD beside, RENDERTHREAD
// inline on the caller's thread with the resource tasks on it, the file system
// on IOTHREAD, one frame callback per main-loop cycle until it returns true or
// the patience runs out. Afterwards the threads are gone, as at shutdown.
// Header only: test and bench programs each include it.
#include <chrono>
#include <functional>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/module.h"
#include "kernel/queue_registry.h"
#include "kernel/resource_tasks.h"

namespace zandrel_test {

inline bool ModuleAttached(EngineThread* thread, Module* module)
{
    for (uint32_t i = 0; i < thread->ModuleCount(); ++i)
        if (thread->ModuleAt(i) == module)
            return true;
    return false;
}

// `attach` adds the caller's own modules to RENDERTHREAD before it runs;
// `frame` gets the cycle's number from 1. True when a frame said it was done.
inline bool RunEngineThreads(const std::function<void(RenderThread*)>& attach,
                             const std::function<bool(int)>& frame, std::chrono::steady_clock::duration patience)
{
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    RenderThread* render = GetRenderThread();
    if (!GetResourceTaskModule())
        CreateResourceTaskModule(render);
    attach(render);
    if (!ModuleAttached(GetIOThread(), GetFileSystem()))
        GetIOThread()->AddModule(GetFileSystem());
    const auto deadline = std::chrono::steady_clock::now() + patience;
    bool finished = false;
    int round = 0;
    render->SetWorkFunction([&] {
        if (frame(++round)) {
            finished = true;
            return 1;
        }
        return std::chrono::steady_clock::now() > deadline ? 1 : 0;
    });
    registry->AddThread(GetIOThread(), false);
    registry->AddThread(render, true);
    registry->ResetQueues();
    DestroyRenderThread();
    DestroyIOThread();
    return finished;
}

} // namespace zandrel_test
