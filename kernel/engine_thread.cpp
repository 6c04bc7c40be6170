#include "kernel/engine_thread.h"

#include <chrono>
#include <functional>
#include <iostream>
#include <new>
#include <string>
#include <system_error>

#include "kernel/error_stream.h"
#include "kernel/idle_wait.h"
#include "kernel/module.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"

namespace {
// The threads print their own "closed" line while the render thread prints the
// termination lines; one line at a time keeps them whole, whatever buffer
// standard output has (the log file's is not thread-safe).
void PrintLine(const std::string& line)
{
    static std::mutex printLock;
    std::lock_guard lock(printLock);
    std::cout << line;
}

// An idle thread re-checks this often even if no signal reached it.
constexpr auto kIdleWaitBound = std::chrono::milliseconds(100);
} // namespace

// ---- ThreadHandle ----

ThreadHandle::~ThreadHandle()
{
    if (worker_.joinable())
        TerminateThreadHandle();
}

bool ThreadHandle::Start(EngineThread* thread)
{
    if (!thread)
        return false;
    try {
        worker_ = std::thread([thread] { thread->ThreadLoop(0); });
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) { // the new thread's start record
        return false;
    }
    threadId = static_cast<uint32_t>(std::hash<std::thread::id>{}(worker_.get_id()));
    return true;
}

void ThreadHandle::TerminateThreadHandle()
{
    if (!worker_.joinable())
        return;
    int joined = 0;
    if (worker_.get_id() != std::this_thread::get_id()) {
        worker_.join();
        joined = 1;
    } else {
        worker_.detach();
    }
    const int closed = 1;
    PrintLine("[dbg] TERMINATE " + std::to_string(joined) + " " + std::to_string(closed) + "\n");
    threadId = 0xFFFFFFFFu;
}

// ---- EngineThread ----

EngineThread::EngineThread()
{
    name.Assign("[unnamed thread]");
}

EngineThread::~EngineThread()
{
    StopAndJoin();
    const uint32_t count = ModuleCount();
    for (uint32_t i = 0; i < count; ++i) {
        Module* module = modules_[i];
        modules_[i] = nullptr;
        if (!module)
            continue;
        module->attachedTo = nullptr;
        if (module->owned)
            delete module;
    }
    moduleCount_.store(0, std::memory_order_release);
    GetThreadMap().Erase(id, this);
}

void EngineThread::StopAndJoin()
{
    if (!handle.HasHandle())
        return;
    StopThread(this);
    handle.TerminateThreadHandle();
}

void EngineThread::SetName(std::string_view text)
{
    name.Assign(text);
    id = name.hash;
}

void EngineThread::AddModule(Module* module)
{
    if (!module)
        return;
    std::lock_guard lock(moduleLock_);
    const uint32_t count = moduleCount_.load(std::memory_order_relaxed);
    if (count >= kMaxModules) {
        errorTwoLines = false;
        GetErrorStream() << "Too many modules on " << name.View() << ".\n";
        return;
    }
    modules_[count] = module;
    module->attachedTo = this;
    moduleCount_.store(count + 1, std::memory_order_release);
}

void EngineThread::RemoveModule(Module* module)
{
    std::lock_guard lock(moduleLock_);
    const uint32_t count = moduleCount_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i) {
        if (modules_[i] != module)
            continue;
        for (uint32_t j = i; j + 1 < count; ++j)
            modules_[j] = modules_[j + 1];
        modules_[count - 1] = nullptr;
        moduleCount_.store(count - 1, std::memory_order_release);
        module->attachedTo = nullptr;
        return;
    }
}

void EngineThread::InitThread()
{
    GetThreadMap().Insert(id, this);
    // The count is read again at every step: a module attached to this thread
    // by a RegisterHandlers of this pass is registered in the same pass.
    for (uint32_t i = 0; i < ModuleCount(); ++i)
        modules_[i]->RegisterHandlers();
}

void EngineThread::StartThread(bool runInline)
{
    inlineLoop.store(runInline);
    if (runInline) {
        ThreadLoop(0);
        return;
    }
    if (!handle.Start(this)) {
        errorTwoLines = false;
        GetErrorStream() << "Can't start thread " << name.View() << ".\n";
    }
}

void EngineThread::ThreadLoop(int /*argument*/)
{
    while (!stop.load(std::memory_order_acquire))
        RunCycle();
    PrintLine("closed " + std::string(name.View()) + "\n");
}

void EngineThread::RunCycle()
{
    ProcessHeadTask();
    Update();
    if (!workSignal_.load(std::memory_order_acquire))
        return; // inbound is as copied last
    std::lock_guard lock(queueLock);
    CopyInbound();
}

void EngineThread::CopyInbound()
{
    // Only the live slots: the others are never read.
    working.read = inbound.read;
    working.write = inbound.write;
    for (uint32_t i = inbound.read; i != inbound.write; ++i)
        working.At(i) = inbound.At(i);
    workSignal_.store(false, std::memory_order_relaxed);
}

bool EngineThread::HeadRunnable() const
{
    if (working.Empty() || working.read == ranAt_)
        return false;
    const TaskMessage* task = working.Front();
    return !task->waiting.load(std::memory_order_acquire) && !task->done.load(std::memory_order_acquire);
}

void EngineThread::ProcessHeadTask()
{
    if (!HeadRunnable())
        return;
    TaskMessage* task = working.Front();
    ranAt_ = working.read;
    task->taken.store(1, std::memory_order_relaxed);
    if (!task->cancelled.load(std::memory_order_relaxed)) {
        DispatchToModules(task);
        if (task->callback)
            task->callback(task->callbackWords[0], task->callbackWords[1], task->callbackWords[2]);
    }
    // From the done flag on, routing may retire the record and its batch carry
    // a new chain: nothing of it is read after.
    QueueRegistry* registry = task->batch ? task->batch->registry : nullptr;
    task->done.store(1, std::memory_order_release);
    if (registry)
        registry->NoteChange();
}

void EngineThread::DispatchToModules(TaskMessage* task)
{
    for (uint32_t i = 0; i < ModuleCount(); ++i)
        modules_[i]->Dispatch(task);
}

void EngineThread::Signal()
{
    workSignal_.store(true, std::memory_order_seq_cst);
    if (idleWaiting_.load(std::memory_order_seq_cst)) {
        // Taking the lock waits until the sleeper is inside its wait.
        { std::lock_guard lock(queueLock.Native()); }
        workCv_.notify_one();
    }
}

void EngineThread::WaitForWork()
{
    if (HeadRunnable())
        return; // the next cycle runs it
    // A thread that slept through its last wait without work goes straight back
    // to sleep: it spins and yields only right after work.
    if (!rested_ && SpinThenYield([this] {
            return workSignal_.load(std::memory_order_acquire) || stop.load(std::memory_order_acquire);
        }))
        return;
    std::unique_lock lock(queueLock.Native());
    idleWaiting_.store(true, std::memory_order_seq_cst);
    if (workSignal_.load(std::memory_order_seq_cst) || stop.load(std::memory_order_acquire)) {
        idleWaiting_.store(false, std::memory_order_relaxed);
        rested_ = false;
        return;
    }
    rested_ = !workCv_.wait_for(lock, kIdleWaitBound, [this] {
        return workSignal_.load(std::memory_order_seq_cst) || stop.load(std::memory_order_acquire);
    });
    idleWaiting_.store(false, std::memory_order_relaxed);
}

void StopThread(EngineThread* thread)
{
    if (!thread)
        return;
    thread->stop.store(true, std::memory_order_release);
    thread->wake();
}

// ---- Termination ----

void QueueRegistry::TerminateThreads()
{
    const uint32_t count = threads.count;
    for (uint32_t i = 0; i < count; ++i)
        StopThread(threads.items[i]);
    PrintLine("[dbg] terminating threads...\n");
    for (uint32_t i = 0; i < count; ++i) {
        PrintLine("[dbg] terminating thread " + std::to_string(i) + "\n");
        EngineThread* thread = threads.items[i];
        if (thread->inlineLoop.load())
            continue;
        thread->handle.TerminateThreadHandle();
        PrintLine("[dbg] terminated\n");
    }
}
