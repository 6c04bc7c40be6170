#include "kernel/task_message.h"

void TaskMessage::CopyFrom(const TaskMessage& other)
{
    constexpr auto relaxed = std::memory_order_relaxed;
    next = other.next;
    cancelled.store(other.cancelled.load(relaxed), relaxed);
    target = other.target;
    taskId = other.taskId;
    tag = other.tag;
    waiting.store(other.waiting.load(relaxed), relaxed);
    done.store(other.done.load(relaxed), relaxed);
    taken.store(other.taken.load(relaxed), relaxed);
    batch = other.batch;
    callback = other.callback;
    for (int i = 0; i < 3; ++i)
        callbackWords[i] = other.callbackWords[i];
    std::memcpy(payload, other.payload, kTaskPayloadSize);
}
