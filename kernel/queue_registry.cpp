#include "kernel/queue_registry.h"

#include <atomic>
#include <iostream>
#include <new>

#include "platform/os/memory_shortage.h"

namespace {
std::atomic<QueueRegistry*> registryInstance{nullptr};
std::mutex registryCreation;
} // namespace

QueueRegistry::QueueRegistry()
{
    // The ring's batches are made as the ring first reaches them; its memory
    // is not touched before.
    // The spare batch never enters the ring, so routing never hands it out.
    spare_.registry = this;
    spare_.inUse = true;
}

TaskBatch* QueueRegistry::AllocQueue(uint32_t /*id*/)
{
    std::lock_guard lock(postLock_);
    // ring.write - ring.read is the number of batches in use. Skipping a busy
    // slot moves both counters, so the window routing scans stays exactly that
    // wide and still ends at the newest batch.
    for (uint32_t tries = 0; tries < kRingSize; ++tries) {
        TaskBatch& batch = ring.At(ring.write);
        if (!batch.inUse) {
            ring.Advance();
            batch.registry = this;
            batch.inUse = true;
            batch.tasks.read = 0;
            batch.tasks.write = 0;
            return &batch;
        }
        ++ring.write;
        ++ring.read;
    }
    ring.ReportOverflow();
    spare_.tasks.read = 0;
    spare_.tasks.write = 0;
    return &spare_;
}

void QueueRegistry::ResetQueues()
{
    std::lock_guard lock(postLock_);
    ring.read = 0;
    ring.write = 0;
    threads.count = 0;
    queueLocks.count = 0;
    for (uint32_t i = 0; i < ring.MadeSlots(); ++i)
        ring.items[i].inUse = false;
    batchesWaiting_.store(false, std::memory_order_relaxed);
    NoteChange();
}

bool QueueRegistry::IsRegistered(const EngineThread* thread) const
{
    for (uint32_t i = 0; i < threads.count; ++i)
        if (threads.items[i] == thread)
            return true;
    return false;
}

QueueRegistry* GetQueueRegistry()
{
    QueueRegistry* registry = registryInstance.load(std::memory_order_acquire);
    if (registry)
        return registry;
    std::lock_guard lock(registryCreation);
    registry = registryInstance.load(std::memory_order_relaxed);
    if (!registry) {
        // The engine's largest single allocation: nothing can be posted without it.
        try {
            registry = new QueueRegistry();
        } catch (const std::bad_alloc&) {
            platform::os::EndForMemoryShortage("the task queues");
        }
        registryInstance.store(registry, std::memory_order_release);
    }
    return registry;
}

void ReleaseQueueRegistry()
{
    std::cout << "[dbg] release tm start\n";
    {
        std::lock_guard lock(registryCreation);
        delete registryInstance.exchange(nullptr);
    }
    std::cout << "[dbg] release tm end\n";
}
