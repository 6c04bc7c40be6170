#pragma once
// A first-in first-out queue of fixed capacity, stored in place. Its read and
// write counters only grow (wrapping at 32 bits); an element's slot is its
// counter modulo the capacity. The push that leaves the queue holding its full
// capacity stores its element and reports "staticQueue overflow! " with the
// count held; owners that cannot afford a wrapped write check Full() first.
#include <cstdint>
#include <iostream>

#include "kernel/error_stream.h"

template <class T, uint32_t N>
class staticQueue {
public:
    static_assert(N > 0);
    static constexpr uint32_t kCapacity = N;

    uint32_t Count() const { return write - read; }
    bool Empty() const { return read == write; }
    bool Full() const { return Count() >= N; }

    T& Front() { return items[read % N]; }
    const T& Front() const { return items[read % N]; }
    T& At(uint32_t counter) { return items[counter % N]; }
    const T& At(uint32_t counter) const { return items[counter % N]; }

    // Stores the element and returns the stored copy.
    T& Push(const T& element)
    {
        T& slot = items[write % N];
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

    uint32_t capacity = N;
    T items[N] = {};
    uint32_t read = 0;
    uint32_t write = 0;
};
