#include "kernel/task_batch.h"

#include <mutex>

#include "kernel/error_stream.h"
#include "kernel/queue_registry.h"

namespace {
// Takes the registry's posting lock for batches that belong to one.
class OptionalPostingLock {
public:
    explicit OptionalPostingLock(QueueRegistry* registry) : registry_(registry)
    {
        if (registry_)
            registry_->postLock().lock();
    }
    ~OptionalPostingLock()
    {
        if (registry_)
            registry_->postLock().unlock();
    }
    OptionalPostingLock(const OptionalPostingLock&) = delete;
    OptionalPostingLock& operator=(const OptionalPostingLock&) = delete;

private:
    QueueRegistry* registry_;
};
} // namespace

TaskMessage* TaskBatch::PushTask(const TaskMessage& record, EngineThread* target, std::string_view tag)
{
    OptionalPostingLock lock(registry);
    if (!target) {
        errorTwoLines = false;
        GetErrorStream() << "Task " << record.taskId << " posted to no engine thread.\n";
        return nullptr;
    }
    if (tasks.Full()) {
        tasks.ReportOverflow();
        return nullptr;
    }

    TaskMessage& stored = tasks.Push(record);
    stored.tag.Assign(tag);
    stored.target = target;
    dispatched = 0;
    stored.done.store(0, std::memory_order_relaxed);
    stored.next = nullptr;
    stored.batch = this;
    if (tasks.Count() > 1) {
        TaskMessage& previous = tasks.At(tasks.write - 2);
        previous.next = &stored;
        stored.waiting.store(1, std::memory_order_relaxed);
    }
    if (registry)
        registry->NoteChange();
    return &stored;
}

void TaskBatch::CancelQueuedTasks()
{
    OptionalPostingLock lock(registry);
    for (uint32_t i = tasks.read; i != tasks.write; ++i)
        tasks.At(i).cancelled.store(1, std::memory_order_relaxed);
}
