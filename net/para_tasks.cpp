#include "net/para_tasks.h"

#include <cstring>
#include <mutex>

namespace {

struct Slot {
    ParaTargetRecordBytes record{};
    uint32_t generation = 0;
    bool full = false;
};

struct Store {
    std::mutex lock;
    std::array<Slot, TargetRecordStore::kSlots> slots;
    uint32_t next = 0;
    uint32_t generation = 0;
};

Store& TheStore()
{
    static Store store;
    return store;
}

TaskMessage NewTask(uint32_t id)
{
    TaskMessage task;
    task.taskId = id;
    return task;
}

} // namespace

TaskMessage MakeWeatherTask(const uint8_t* record)
{
    TaskMessage task = NewTask(kSetWeatherId);
    std::memcpy(task.payload, record, kWeatherRecordSize);
    return task;
}

TaskMessage MakeSetParaTask(const uint8_t* record)
{
    TaskMessage task = NewTask(kSetParaId);
    std::memcpy(task.payload, record, kSetParaRecordSize);
    return task;
}

TaskMessage MakePreallocTask(uint16_t count)
{
    TaskMessage task = NewTask(kParaPreallocId);
    task.Set<ParaPreallocArgs::Count>(count);
    return task;
}

TaskMessage MakeTargetTask(const uint8_t* record)
{
    TaskMessage task = NewTask(kParaTargetId);
    const TargetRecordTicket ticket = GetTargetRecordStore().Put(record);
    task.Set<ParaTargetArgs::Ticket>(ticket);
    task.callbackWords[0] = kTargetRecordCallbackMark;
    task.callbackWords[1] = ticket.slot;
    task.callbackWords[2] = ticket.generation;
    return task;
}

TargetRecordTicket TargetRecordStore::Put(const uint8_t* record)
{
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    uint32_t index = kSlots;
    for (uint32_t i = 0; i < kSlots; ++i) {
        const uint32_t at = (store.next + i) % kSlots;
        if (!store.slots[at].full) {
            index = at;
            break;
        }
    }
    if (index == kSlots)
        return {kSlots, 0}; // full: nothing is written over
    store.next = (index + 1) % kSlots;
    Slot& slot = store.slots[index];
    std::memcpy(slot.record.data(), record, kParaTargetRecordSize);
    slot.generation = ++store.generation;
    slot.full = true;
    return {index, slot.generation};
}

bool TargetRecordStore::Take(TargetRecordTicket ticket, ParaTargetRecordBytes& out)
{
    if (ticket.slot >= kSlots)
        return false;
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    Slot& slot = store.slots[ticket.slot];
    if (!slot.full || slot.generation != ticket.generation)
        return false;
    out = slot.record;
    slot.full = false;
    return true;
}

void TargetRecordStore::Free(TargetRecordTicket ticket)
{
    if (ticket.slot >= kSlots)
        return;
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    Slot& slot = store.slots[ticket.slot];
    if (slot.full && slot.generation == ticket.generation)
        slot.full = false;
}

uint32_t TargetRecordStore::UsedSlots() const
{
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    uint32_t used = 0;
    for (const Slot& slot : store.slots)
        used += slot.full ? 1 : 0;
    return used;
}

void TargetRecordStore::Clear()
{
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    for (Slot& slot : store.slots)
        slot.full = false;
}

TargetRecordStore& GetTargetRecordStore()
{
    static TargetRecordStore store;
    return store;
}
