#pragma once
// A first-in first-out queue of fixed capacity, stored in place. Its read and
// write counters only grow (wrapping at 32 bits); an element's slot is its
// counter modulo the capacity. The push that leaves the queue holding its full
// capacity stores its element and reports "staticQueue overflow! " with the
// count held; owners that cannot afford a wrapped write check Full() first.
//
// With MadeOnUse, elements are made the first time their slot is reached, slots
// in order, so a large queue costs no memory for slots never used (the task
// ring's untouched batches stay untouched pages). Such a slot must be reached
// through the non-const accessors (or a push) before it is read through a
// const one or through items.
#include <cstdint>
#include <iostream>
#include <memory>
#include <type_traits>

#include "kernel/error_stream.h"

template <class T, uint32_t N, bool MadeOnUse = false>
class staticQueue {
    static constexpr bool kMadeOnUse = MadeOnUse;

public:
    static_assert(N > 0);
    static constexpr uint32_t kCapacity = N;

    staticQueue()
    {
        if constexpr (!kMadeOnUse)
            std::uninitialized_value_construct_n(items, N);
    }
    ~staticQueue()
    {
        if constexpr (!std::is_trivially_destructible_v<T>)
            std::destroy_n(items, MadeSlots());
    }
    staticQueue(const staticQueue&) = delete;
    staticQueue& operator=(const staticQueue&) = delete;

    uint32_t Count() const { return write - read; }
    bool Empty() const { return read == write; }
    bool Full() const { return Count() >= N; }

    T& Front() { return Slot(read % N); }
    const T& Front() const { return items[read % N]; }
    T& At(uint32_t counter) { return Slot(counter % N); }
    const T& At(uint32_t counter) const { return items[counter % N]; }
    // A slot known to be made already (one between read and write): no check.
    T& MadeAt(uint32_t counter) { return items[counter % N]; }

    // Stores the element and returns the stored copy.
    T& Push(const T& element)
    {
        T& slot = Slot(write % N);
        slot = element;
        Advance();
        return slot;
    }

    // Counts one more element written, as a push would, without storing one.
    void Advance()
    {
        ++write;
        if (write % N == read % N)
            ReportOverflow();
    }

    void Pop()
    {
        if (read == write) {
            std::cout << "staticQueue is empty!\n";
            return;
        }
        ++read;
    }

    void ReportOverflow() const
    {
        errorTwoLines = false;
        GetErrorStream() << "staticQueue overflow! " << (write - read) << "\n";
    }

    // How many slots, from the first, hold a made element (all for elements
    // that need no making).
    uint32_t MadeSlots() const { return kMadeOnUse ? made_ : N; }

    uint32_t capacity = N;
    union {
        T items[N];
    };
    uint32_t read = 0;
    uint32_t write = 0;

private:
    T& Slot(uint32_t index)
    {
        if constexpr (kMadeOnUse) {
            while (made_ <= index) {
                std::construct_at(items + made_);
                ++made_;
            }
        }
        return items[index];
    }

    uint32_t made_ = 0;
};
