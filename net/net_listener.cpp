#include "net/net_listener.h"

#include <zmq.hpp>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>

#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/task_batch.h"
#include "kernel/thread_map.h"
#include "net/net_thread.h"
#include "net/para_tasks.h"

// Every waiting targets task keeps its record in the store.
static_assert(TargetRecordStore::kSlots >= kMaxPendingNetTasks);

namespace {

// The places of the waiting network tasks. Changed under placeLock, so that a
// wait for a place never misses the task that frees one.
std::atomic<uint32_t> pendingTasks{0};
std::mutex placeLock;
std::condition_variable placeFreed;

// A wait re-checks its conditions at least this often (RENDERTHREAD's
// registration notifies nobody).
constexpr auto kPlaceWaitSlice = std::chrono::milliseconds(10);

void GivePlaceBack()
{
    {
        std::lock_guard guard(placeLock);
        // A task of the queues reset by ResetPendingNetTasks has no place left.
        if (pendingTasks.load(std::memory_order_relaxed) > 0)
            pendingTasks.fetch_sub(1, std::memory_order_relaxed);
    }
    placeFreed.notify_all();
}

// Run on RENDERTHREAD after the task's handlers: its stored record (if any)
// goes, then its place.
void TaskFinished(uintptr_t mark, uintptr_t slot, uintptr_t generation)
{
    if (mark == kTargetRecordCallbackMark)
        GetTargetRecordStore().Free({static_cast<uint32_t>(slot), static_cast<uint32_t>(generation)});
    GivePlaceBack();
}

bool RenderThreadRegistered()
{
    return GetThreadMap().Find(kRenderThreadId) != nullptr;
}

} // namespace

RequestHeader RequestHeader::FromText(std::string_view text)
{
    RequestHeader header;
    if (text.size() < kRequestHeaderSize)
        return header;
    std::memcpy(header.bytes.data(), text.data(), kRequestHeaderSize);
    header.valid = true;
    return header;
}

RequestHeader RequestHeader::FromSetting(const std::string& key)
{
    return FromText(GetSettings().GetString("net", key));
}

bool RequestHeader::Matches(const uint8_t* request, size_t size) const
{
    if (!valid || !request || size < kRequestHeaderSize)
        return false;
    return std::memcmp(request, bytes.data(), kRequestHeaderSize) == 0;
}

NetListener::NetListener(NetThread* server) : server_(server ? server : GetNetThread())
{
    server_->AddListener(this);
}

NetListener::~NetListener()
{
    Leave();
}

void NetListener::Leave()
{
    if (leaving_.exchange(true, std::memory_order_acq_rel))
        return;
    WakeNetTaskWaiters();
    server_->RemoveListener(this);
}

bool NetListener::OnRequest(const uint8_t* /*request*/, size_t /*size*/)
{
    return false;
}

bool NetListener::ReservePlace()
{
    if (ReserveNetTask(&server_->stop, &leaving_))
        return true;
    // A stopping server will not come back to answer; a listener that leaves
    // lets the request go on to the others.
    if (server_->stop.load(std::memory_order_acquire))
        server_->LeaveUnanswered();
    return false;
}

bool NetListener::PostReserved(TaskMessage& task, std::string_view tag)
{
    return PostReservedToRenderThread(task, tag);
}

uint32_t PendingNetTasks()
{
    return pendingTasks.load(std::memory_order_relaxed);
}

void ResetPendingNetTasks()
{
    {
        std::lock_guard guard(placeLock);
        pendingTasks.store(0, std::memory_order_relaxed);
    }
    GetTargetRecordStore().Clear();
    placeFreed.notify_all();
}

bool ReserveNetTask(const std::atomic<bool>* stop, const std::atomic<bool>* leaving)
{
    const auto start = std::chrono::steady_clock::now();
    bool reported = false;
    std::unique_lock lock(placeLock);
    for (;;) {
        if (pendingTasks.load(std::memory_order_relaxed) < kMaxPendingNetTasks && RenderThreadRegistered()) {
            pendingTasks.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
        if (!stop || stop->load(std::memory_order_acquire) || (leaving && leaving->load(std::memory_order_acquire)))
            return false;
        if (!reported && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(kNetTaskWaitReportMs)) {
            reported = true;
            std::cout << "Network link waits for RENDERTHREAD: " << PendingNetTasks()
                      << " of its tasks have not run yet.\n";
        }
        placeFreed.wait_for(lock, kPlaceWaitSlice);
    }
}

void ReleaseNetTask()
{
    GivePlaceBack();
}

void WakeNetTaskWaiters()
{
    {
        std::lock_guard guard(placeLock);
    }
    placeFreed.notify_all();
}

bool PostReservedToRenderThread(TaskMessage& task, std::string_view tag)
{
    EngineThread* target = GetThreadMap().Find(kRenderThreadId);
    if (!target) {
        ReleaseNetTask();
        return false;
    }
    task.callback = &TaskFinished;
    QueueRegistry* registry = GetQueueRegistry();
    QueueRegistry::PostingGuard guard(*registry);
    TaskBatch* batch = registry->AllocQueue(0);
    if (!batch->PushTask(task, target, tag)) {
        ReleaseNetTask();
        return false;
    }
    return true;
}

bool PostToRenderThread(TaskMessage& task, std::string_view tag, const std::atomic<bool>* stop)
{
    return ReserveNetTask(stop) && PostReservedToRenderThread(task, tag);
}
