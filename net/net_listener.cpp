#include "net/net_listener.h"

#include <zmq.hpp>

#include <cstring>

#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/task_batch.h"
#include "kernel/thread_map.h"
#include "net/net_thread.h"

namespace {

std::atomic<uint32_t> pendingTasks{0};

void TaskFinished(uintptr_t, uintptr_t, uintptr_t)
{
    pendingTasks.fetch_sub(1, std::memory_order_relaxed);
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
    server_->RemoveListener(this);
}

bool NetListener::OnRequest(const uint8_t* /*request*/, size_t /*size*/)
{
    return false;
}

uint32_t PendingNetTasks()
{
    return pendingTasks.load(std::memory_order_relaxed);
}

void ResetPendingNetTasks()
{
    pendingTasks.store(0, std::memory_order_relaxed);
}

bool PostToRenderThread(TaskMessage& task, std::string_view tag)
{
    EngineThread* target = GetThreadMap().Find(kRenderThreadId);
    if (!target)
        return false;
    uint32_t pending = pendingTasks.load(std::memory_order_relaxed);
    do {
        if (pending >= kMaxPendingNetTasks)
            return false;
    } while (!pendingTasks.compare_exchange_weak(pending, pending + 1, std::memory_order_relaxed));

    task.callback = &TaskFinished;
    QueueRegistry* registry = GetQueueRegistry();
    QueueRegistry::PostingGuard guard(*registry);
    TaskBatch* batch = registry->AllocQueue(0);
    if (!batch->PushTask(task, target, tag)) {
        pendingTasks.fetch_sub(1, std::memory_order_relaxed);
        return false;
    }
    return true;
}
