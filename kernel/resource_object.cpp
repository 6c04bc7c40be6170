#include "kernel/resource_object.h"

#include <mutex>
#include <unordered_map>

#include "kernel/archive.h"
#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/task_batch.h"
#include "kernel/thread_map.h"

namespace {
uint32_t uniqueCounter = 0;

// A watched chain: the callback its last record had before, which still runs.
struct WatchedChain {
    TaskCallback previous = nullptr;
    uintptr_t words[3] = {};
};

// The last record may run on the IO thread, so the live tickets take a lock.
std::mutex& ChainLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

std::unordered_map<uint64_t, WatchedChain>& LiveChains()
{
    static auto* chains = new std::unordered_map<uint64_t, WatchedChain>;
    return *chains;
}

uint64_t nextTicket = 1;

void ChainRan(uintptr_t ticket, uintptr_t, uintptr_t)
{
    WatchedChain chain;
    {
        std::lock_guard lock(ChainLock());
        const auto found = LiveChains().find(ticket);
        if (found == LiveChains().end())
            return;
        chain = found->second;
        LiveChains().erase(found);
    }
    if (chain.previous)
        chain.previous(chain.words[0], chain.words[1], chain.words[2]);
}
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

uint64_t WatchLoadChain(TaskBatch* batch)
{
    if (!batch || batch->tasks.Empty())
        return 0;
    TaskMessage& last = batch->tasks.At(batch->tasks.write - 1);
    std::lock_guard lock(ChainLock());
    const uint64_t ticket = nextTicket++;
    WatchedChain& chain = LiveChains()[ticket];
    chain.previous = last.callback;
    for (int i = 0; i < 3; ++i)
        chain.words[i] = last.callbackWords[i];
    last.callback = &ChainRan;
    last.callbackWords[0] = static_cast<uintptr_t>(ticket);
    last.callbackWords[1] = 0;
    last.callbackWords[2] = 0;
    return ticket;
}

bool CancelLoadChain(TaskBatch* batch, uint64_t ticket)
{
    std::lock_guard lock(ChainLock());
    const auto found = LiveChains().find(ticket);
    if (!batch || found == LiveChains().end())
        return false;
    // The chain has not run its last record, so routing has not retired the
    // batch: it still holds this chain.
    LiveChains().erase(found);
    batch->CancelQueuedTasks();
    return true;
}

bool LoadChainPending(uint64_t ticket)
{
    std::lock_guard lock(ChainLock());
    return LiveChains().count(ticket) != 0;
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
