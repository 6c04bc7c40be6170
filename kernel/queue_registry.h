#pragma once
// The engine-wide registry of task batches and engine threads: a ring of 1024
// batches from which every poster takes its batch, and the list of the (at most
// three) running threads with their queue locks.
//
// Posting:
//   TaskBatch* batch = GetQueueRegistry()->AllocQueue(0);
//   TaskMessage task;
//   task.taskId = kUnloadResourceId;            // RSHash of the task's name
//   batch->PushTask(task, GetThreadMap().Find(kRenderThreadId), "unres");
// Routing runs on the render thread between its posts. A thread other than the
// render thread holds a PostingGuard from AllocQueue to its last PushTask, so
// that routing never sees a half-built chain.
//
// AddThread and RouteQueues live in kernel/thread_map.cpp, TerminateThreads in
// kernel/engine_thread.cpp.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "kernel/critical_section.h"
#include "kernel/static_queue.h"
#include "kernel/static_vector.h"
#include "kernel/task_batch.h"

class EngineThread;

class QueueRegistry {
public:
    static constexpr uint32_t kRingSize = 1024;
    static constexpr uint32_t kMaxThreads = 3;

    QueueRegistry();
    QueueRegistry(const QueueRegistry&) = delete;
    QueueRegistry& operator=(const QueueRegistry&) = delete;

    // The next free batch of the ring, emptied. A batch still in use (its chain
    // not yet retired) is never handed out again: it is skipped. When all 1024
    // are in use the ring's overflow is reported and a spare batch that routing
    // never sees is returned, so nothing in flight is written over.
    TaskBatch* AllocQueue(uint32_t id);

    // Ring and thread counters back to 0, every batch free. ThreadMap is kept.
    void ResetQueues();

    // Records the thread (index, thread list, lock list), stores it in ThreadMap,
    // registers its modules' handlers and starts its loop: on the calling thread
    // when `inlineLoop` (returning once the loop ends), else on a thread of its own.
    void AddThread(EngineThread* thread, bool inlineLoop);
    // Steps 1 and 2 of AddThread alone: index and the registry's lists. False
    // (with the thread list's overflow line) when three threads are registered.
    bool RegisterThread(EngineThread* thread);
    bool IsRegistered(const EngineThread* thread) const;

    // Render thread only: retires each thread's finished head task, releasing
    // the next link of its chain or freeing its batch, and hands the records of
    // every batch not yet dispatched to their threads. When nothing was posted,
    // finished or registered since the last pass, and no batch waits for a
    // later one, there is nothing to do and no lock is taken.
    void RouteQueues();

    // Something routing acts on happened: a post, a finished task, a thread
    // registered.
    void NoteChange() { changes_.fetch_add(1, std::memory_order_release); }

    // Stops every registered thread, joins those on threads of their own, and
    // prints the "[dbg] terminat..." lines.
    void TerminateThreads();

    class PostingGuard {
    public:
        explicit PostingGuard(QueueRegistry& registry) : lock_(registry.postLock_) {}

    private:
        std::lock_guard<std::recursive_mutex> lock_;
    };

    std::recursive_mutex& postLock() { return postLock_; }

    staticQueue<TaskBatch, kRingSize, true> ring;
    staticVector<EngineThread*, kMaxThreads> threads{1};
    staticVector<CriticalSection*, kMaxThreads> queueLocks{2};

private:
    std::recursive_mutex postLock_;
    TaskBatch spare_;
    std::atomic<uint32_t> changes_{0};
    // The change count the last full pass started from, and whether that pass
    // left a batch for a later one.
    std::atomic<uint32_t> routedChanges_{0xFFFFFFFFu};
    std::atomic<bool> batchesWaiting_{false};
};

QueueRegistry* GetQueueRegistry();
// Prints "[dbg] release tm start", destroys the registry, prints "[dbg] release tm end".
void ReleaseQueueRegistry();
