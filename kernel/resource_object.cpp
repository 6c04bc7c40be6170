#include "kernel/resource_object.h"

#include <atomic>

#include "kernel/archive.h"
#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/queue_registry.h"
#include "kernel/task_batch.h"
#include "kernel/thread_map.h"

namespace {
uint32_t uniqueCounter = 0;

// Marks are never reused, so a record copied over the marked slot by a later
// chain can never carry it.
std::atomic<uint64_t> nextTicket{1};
} // namespace

std::string NextUniqueResourceName()
{
    return "UniqueResource" + IntToString(static_cast<int32_t>(uniqueCounter++));
}

uint32_t UniqueResourceCounter()
{
    return uniqueCounter;
}

bool AsyncLoadingAvailable()
{
    const ThreadMap& threads = GetThreadMap();
    return threads.Contains(kIOThreadId) && threads.Contains(kRenderThreadId);
}

LoadChainMark MarkLoadChain(TaskBatch* batch)
{
    LoadChainMark mark;
    if (!batch)
        return mark;
    QueueRegistry::PostingGuard guard(*GetQueueRegistry());
    if (batch->tasks.Empty())
        return mark;
    TaskMessage& last = batch->tasks.At(batch->tasks.write - 1);
    if (last.callback)
        return mark;
    mark.batch = batch;
    mark.last = batch->tasks.write - 1;
    mark.ticket = nextTicket.fetch_add(1);
    last.callbackWords[0] = static_cast<uintptr_t>(mark.ticket);
    return mark;
}

namespace {
// Holding the posting lock: the batch still carries the marked chain.
bool StillPending(const LoadChainMark& mark)
{
    if (!mark.batch || !mark.ticket || !mark.batch->inUse)
        return false;
    const auto& tasks = mark.batch->tasks;
    if (tasks.write - tasks.read <= mark.last - tasks.read)
        return false; // the batch holds fewer records now than the chain had
    const TaskMessage& last = tasks.At(mark.last);
    return !last.callback && last.callbackWords[0] == static_cast<uintptr_t>(mark.ticket) &&
           !last.done.load(std::memory_order_acquire);
}
} // namespace

bool LoadChainPending(const LoadChainMark& mark)
{
    QueueRegistry::PostingGuard guard(*GetQueueRegistry());
    return StillPending(mark);
}

bool CancelLoadChain(const LoadChainMark& mark)
{
    QueueRegistry::PostingGuard guard(*GetQueueRegistry());
    if (!StillPending(mark))
        return false;
    mark.batch->CancelQueuedTasks();
    return true;
}

void ReportResourceError(const char* text)
{
    errorTwoLines = false;
    GetErrorStream() << text;
}

void ReleaseResourceFileBuffer(FileBuffer& buffer)
{
    if (buffer.data && !buffer.external)
        GetFileSystem()->ReleaseFile(buffer);
}
