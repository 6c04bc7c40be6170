#include "kernel/thread_map.h"

#include "kernel/engine_thread.h"
#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"

// ---- ThreadMap ----

void ThreadMap::Insert(uint32_t id, EngineThread* thread)
{
    std::lock_guard lock(lock_);
    threads_[id] = thread;
}

EngineThread* ThreadMap::Find(uint32_t id) const
{
    std::lock_guard lock(lock_);
    const auto found = threads_.find(id);
    return found == threads_.end() ? nullptr : found->second;
}

void ThreadMap::Erase(uint32_t id, const EngineThread* thread)
{
    std::lock_guard lock(lock_);
    const auto found = threads_.find(id);
    if (found != threads_.end() && found->second == thread)
        threads_.erase(found);
}

ThreadMap& GetThreadMap()
{
    static ThreadMap map;
    return map;
}

// ---- Adding threads ----

bool QueueRegistry::RegisterThread(EngineThread* thread)
{
    std::lock_guard lock(postLock_);
    if (threads.Full()) {
        // Three threads are the design's limit; wrapping the list would give
        // two threads one index.
        threads.ReportOverflow();
        return false;
    }
    thread->index = threads.count;
    threads.Push(thread);
    queueLocks.Push(&thread->queueLock);
    NoteChange(); // batches waiting for this thread can go
    return true;
}

void QueueRegistry::AddThread(EngineThread* thread, bool inlineLoop)
{
    if (!thread || !RegisterThread(thread))
        return;
    thread->InitThread();
    thread->StartThread(inlineLoop);
}

// ---- Routing ----

namespace {
// The registered thread a record is for, or null while its target is not (yet)
// registered.
EngineThread* RegisteredTarget(const staticVector<EngineThread*, QueueRegistry::kMaxThreads>& threads,
                               const TaskMessage& record)
{
    EngineThread* target = record.target;
    if (!target || target->index >= threads.count || threads.items[target->index] != target)
        return nullptr;
    return target;
}
} // namespace

void QueueRegistry::RouteQueues()
{
    const uint32_t changes = changes_.load(std::memory_order_acquire);
    if (changes == routedChanges_.load(std::memory_order_relaxed) && !batchesWaiting_.load(std::memory_order_relaxed))
        return;
    std::lock_guard post(postLock_);
    routedChanges_.store(changes, std::memory_order_relaxed);
    bool waiting = false;
    bool signal[kMaxThreads] = {};
    const uint32_t count = threads.count;
    for (uint32_t i = 0; i < count; ++i)
        queueLocks.items[i]->lock();

    // Retire at most one finished head task per thread.
    for (uint32_t i = 0; i < count; ++i) {
        EngineThread* thread = threads.items[i];
        auto& inbound = thread->inbound;
        if (inbound.Empty())
            continue;
        TaskMessage* head = inbound.Front();
        if (!head->done.load(std::memory_order_acquire))
            continue;
        if (TaskMessage* next = head->next) {
            next->waiting.store(0, std::memory_order_release);
            if (EngineThread* nextThread = RegisteredTarget(threads, *next))
                signal[nextThread->index] = true;
        } else {
            TaskBatch* batch = head->batch;
            batch->tasks.read = 0;
            batch->tasks.write = 0;
            batch->inUse = false;
            head->taken.store(0, std::memory_order_relaxed);
            ring.Pop();
        }
        inbound.Pop();
        signal[i] = true;
    }

    // Hand out every batch not yet dispatched. A batch waits for a later pass
    // while one of its targets is not registered or has no room for its
    // records, so no queued pointer is ever written over.
    const uint32_t inFlight = ring.write - ring.read;
    for (uint32_t k = 0; k < inFlight; ++k) {
        TaskBatch& batch = ring.MadeAt(ring.read + k);
        if (batch.dispatched)
            continue;
        uint32_t needed[kMaxThreads] = {};
        bool ready = true;
        for (uint32_t r = batch.tasks.read; r != batch.tasks.write && ready; ++r) {
            EngineThread* target = RegisteredTarget(threads, batch.tasks.MadeAt(r));
            if (!target)
                ready = false;
            else
                ++needed[target->index];
        }
        for (uint32_t i = 0; i < count && ready; ++i)
            if (threads.items[i]->inbound.Count() + needed[i] > EngineThread::kQueueSize)
                ready = false;
        if (!ready) {
            waiting = true;
            continue;
        }
        for (uint32_t r = batch.tasks.read; r != batch.tasks.write; ++r) {
            TaskMessage& record = batch.tasks.MadeAt(r);
            record.target->inbound.Push(&record);
            signal[record.target->index] = true;
        }
        batch.dispatched = 1;
    }

    batchesWaiting_.store(waiting, std::memory_order_relaxed);

    for (uint32_t i = 0; i < count; ++i)
        queueLocks.items[i]->unlock();
    for (uint32_t i = 0; i < count; ++i)
        if (signal[i])
            threads.items[i]->Signal();
}

// ---- The render thread's step ----

void RunRound(RenderThread* thread)
{
    QueueRegistry* registry = GetQueueRegistry();
    registry->RouteQueues();
    if (thread->CallWork() != 0) {
        registry->TerminateThreads();
        StopThread(thread);
    }
    registry->RouteQueues();
}
