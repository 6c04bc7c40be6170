#pragma once
// An engine thread: runs the tasks that routing brings to it, one per cycle, in
// arrival order, by handing each to the modules attached to it. Each cycle of
// its loop runs the head task (unless it waits for its predecessor or is done),
// calls the thread's step (Update), then copies its inbound queue over its
// private working queue. StopThread ends the loop cooperatively; a thread on a
// thread of its own is then joined, never killed.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "kernel/critical_section.h"
#include "kernel/hashed_name.h"
#include "kernel/static_queue.h"
#include "kernel/task_message.h"

class EngineThread;
class Module;

// The operating-system thread behind an engine thread.
class ThreadHandle {
public:
    ThreadHandle() = default;
    virtual ~ThreadHandle();
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;

    // Starts `thread`'s loop on a new thread; false when none could be made.
    bool Start(EngineThread* thread);
    bool HasHandle() const { return worker_.joinable(); }
    // Waits for the thread to end and lets the handle go, printing
    // "[dbg] TERMINATE <joined> <closed>".
    void TerminateThreadHandle();

    uint32_t threadId = 0xFFFFFFFFu;

private:
    std::thread worker_;
};

class EngineThread {
public:
    static constexpr uint32_t kQueueSize = 1024;
    static constexpr uint32_t kMaxModules = 32;
    static constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

    EngineThread();
    // Stops and joins a loop still running, deletes the owned modules and
    // leaves ThreadMap.
    virtual ~EngineThread();
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    // Rouses the thread out of a blocking step so it sees its stop flag.
    virtual void wake() {}
    // The thread's own step, once per cycle.
    virtual void Update() {}

    // Names the thread; its id becomes the RSHash of the (stored) name.
    void SetName(std::string_view text);

    void AddModule(Module* module);
    // Takes a module off the list (its destructor does this for it).
    void RemoveModule(Module* module);
    uint32_t ModuleCount() const { return moduleCount_.load(std::memory_order_acquire); }
    Module* ModuleAt(uint32_t i) const { return modules_[i]; }

    // Stores the thread in ThreadMap and registers every attached module's
    // handlers, modules attached during the pass included.
    void InitThread();
    void StartThread(bool inlineLoop);
    void ThreadLoop(int argument);
    // One cycle of the loop: head task, step, inbound copied over working.
    void RunCycle();
    void ProcessHeadTask();
    void DispatchToModules(TaskMessage* task);

    // Called by routing once it has left the queue locks, for a thread whose
    // inbound queue or head task it changed: the thread has something new to
    // look at and copies inbound at the end of its cycle (a cycle without the
    // signal leaves the lock alone); a sleeping thread is roused. Signalling
    // after the locks keeps the thread from spinning on a lock routing still
    // holds.
    void Signal();
    // The same, for a thread's wake.
    void NotifyWork() { Signal(); }

    staticQueue<TaskMessage*, kQueueSize> inbound;
    staticQueue<TaskMessage*, kQueueSize> working;
    CriticalSection queueLock;
    ThreadHandle handle;
    std::atomic<bool> inlineLoop{false};
    std::atomic<bool> stop{false};
    uint32_t index = kNoIndex;
    HashedName128 name{};
    uint32_t id = 0;

protected:
    // Stops a loop running on a thread of its own and waits for it to end.
    // Derived threads call it from their destructor, while their step and wake
    // still exist.
    void StopAndJoin();

    // True when the working head is one the thread can run now.
    bool HeadRunnable() const;

    // For threads whose step has nothing else to do: while there is no task it
    // could run, it spins and yields for a short while (kernel/idle_wait.h),
    // then sleeps until routing brings work or the thread is woken. An idle
    // thread so costs nothing, yet a task reaching it runs in its next cycle.
    void WaitForWork();

private:
    void CopyInbound();

    std::array<Module*, kMaxModules> modules_{};
    std::atomic<uint32_t> moduleCount_{0};
    std::mutex moduleLock_;
    std::condition_variable workCv_;
    std::atomic<bool> workSignal_{false}; // set by Signal, cleared under queueLock
    // Set under queueLock while the thread sleeps (or is about to) in WaitForWork.
    // With workSignal_ it is read and written in sequential order, so a Signal
    // either is seen before the sleep or sees the sleeper.
    std::atomic<bool> idleWaiting_{false};
    bool rested_ = false;      // the last wait ended without work; own thread only
    // The working counter of the head this thread ran last. Only this thread
    // sets a record done, and routing retires only done heads, so a head it has
    // not run is still queued and its record still whole: it is looked at
    // without the lock. A head it has run may be retired and its record reused
    // at any time, and is never looked at again.
    uint32_t ranAt_ = 0xFFFFFFFFu;
};

// Sets the thread's stop flag, then wakes it.
void StopThread(EngineThread* thread);
