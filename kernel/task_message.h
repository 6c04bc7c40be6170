#pragma once
// The task record: one unit of work travelling to an engine thread. Records
// live by value in their TaskBatch; threads hold pointers to them. The flags
// the threads hand over (cancelled, waiting, done, taken) are atomics; the rest
// is written by the poster before routing hands the record out.
//
// The 256 payload bytes are laid out per task kind through typed fields:
//   struct LoadFromHDDArgs {
//       using Buffer = PayloadField<FileBuffer*, 0>;
//       using Name = PayloadField<HashedName128, 8>;
//   };
//   task.Set<LoadFromHDDArgs::Buffer>(buffer);
//   FileBuffer* b = task.Get<LoadFromHDDArgs::Buffer>();
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "kernel/hashed_name.h"

class EngineThread;
class TaskBatch;

inline constexpr size_t kTaskPayloadSize = 256;

// Called after the handlers with the record's three words; each word can carry
// a pointer.
using TaskCallback = void (*)(uintptr_t, uintptr_t, uintptr_t);

// One value of type T at byte Offset of the payload.
template <class T, size_t Offset>
struct PayloadField {
    static_assert(std::is_trivially_copyable_v<T>, "payload fields are copied byte for byte");
    static_assert(Offset + sizeof(T) <= kTaskPayloadSize, "field runs past the payload");
    using Type = T;
    static constexpr size_t kOffset = Offset;
    static constexpr size_t kEnd = Offset + sizeof(T);
};

// Count values of type T from byte Offset; Get/SetAt check the index.
template <class T, size_t Offset, size_t Count>
struct PayloadArray {
    static_assert(std::is_trivially_copyable_v<T>, "payload fields are copied byte for byte");
    static_assert(Offset + sizeof(T) * Count <= kTaskPayloadSize, "array runs past the payload");
    using Type = T;
    static constexpr size_t kOffset = Offset;
    static constexpr size_t kCount = Count;
    static constexpr size_t kEnd = Offset + sizeof(T) * Count;
};

struct TaskMessage {
    TaskMessage() = default;
    TaskMessage(const TaskMessage& other) { CopyFrom(other); }
    TaskMessage& operator=(const TaskMessage& other)
    {
        if (this != &other)
            CopyFrom(other);
        return *this;
    }

    template <class Field>
    typename Field::Type Get() const
    {
        typename Field::Type value;
        std::memcpy(&value, payload + Field::kOffset, sizeof(value));
        return value;
    }

    template <class Field>
    void Set(const typename Field::Type& value)
    {
        std::memcpy(payload + Field::kOffset, &value, sizeof(value));
    }

    // Element `index` of a PayloadArray; false (and `value` untouched) when out of range.
    template <class Array>
    bool GetAt(size_t index, typename Array::Type& value) const
    {
        if (index >= Array::kCount)
            return false;
        std::memcpy(&value, payload + Array::kOffset + index * sizeof(value), sizeof(value));
        return true;
    }

    template <class Array>
    bool SetAt(size_t index, const typename Array::Type& value)
    {
        if (index >= Array::kCount)
            return false;
        std::memcpy(payload + Array::kOffset + index * sizeof(value), &value, sizeof(value));
        return true;
    }

    TaskMessage* next = nullptr;          // the next record of the chain, null for the last
    std::atomic<uint8_t> cancelled{0};    // 1: retired without running
    EngineThread* target = nullptr;       // the thread that runs it
    uint32_t taskId = 0;                  // RSHash of the task's name; selects the handler
    HashedName32 tag{};                   // the poster's label, not interpreted here
    std::atomic<uint8_t> waiting{0};      // 1 while its predecessor is not retired
    std::atomic<uint8_t> done{0};         // 1 once run or passed over
    std::atomic<uint8_t> taken{0};        // 1 once a thread started it
    TaskBatch* batch = nullptr;           // the batch holding this record
    TaskCallback callback = nullptr;
    uintptr_t callbackWords[3] = {};
    alignas(16) unsigned char payload[kTaskPayloadSize] = {};

private:
    void CopyFrom(const TaskMessage& other);
};
