#pragma once
// One chain of tasks. Records pushed into a batch are kept by value in push
// order; each one after the first waits for the one before it to be retired.
// Routing (kernel/thread_map.h) hands a batch's records to their threads and
// frees the batch once its last record is retired.
#include <cstdint>
#include <string_view>

#include "kernel/static_queue.h"
#include "kernel/task_message.h"

class EngineThread;
class QueueRegistry;

class TaskBatch {
public:
    static constexpr uint32_t kMaxTasks = 128;

    // Stores a copy of the record for `target` with the given tag, linked after
    // the previously pushed one, and returns the stored copy. A record without a
    // target, or one more than the batch can hold, is reported and not stored
    // (null is returned), so no live record is ever written over.
    TaskMessage* PushTask(const TaskMessage& record, EngineThread* target, std::string_view tag);

    // Marks every record of the batch cancelled: a running one finishes, the
    // others are retired unrun as they come up, and the chain still advances.
    void CancelQueuedTasks();

    uint8_t dispatched = 0;                       // 1 once routing handed out every record
    bool inUse = false;                           // handed out by AllocQueue and not yet retired
    staticQueue<TaskMessage, kMaxTasks, true> tasks;
    QueueRegistry* registry = nullptr;            // whose posting lock guards this batch
};
