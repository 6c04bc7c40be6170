#pragma once
// A vector of fixed capacity, stored in place. Each instance carries a number
// of its own for its overflow line: when full, a push prints "staticVector ",
// the number and " overflow." on standard output and starts again at slot 0.
#include <cstdint>
#include <iostream>
#include <string>

template <class T, uint32_t N>
class staticVector {
public:
    static_assert(N > 0);

    explicit staticVector(uint32_t vectorNumber) : number(vectorNumber) {}

    bool Full() const { return count >= capacity; }

    void Push(const T& element)
    {
        if (count >= capacity) {
            ReportOverflow();
            count = 0;
        }
        items[count++] = element;
    }

    void ReportOverflow() const
    {
        std::cout << ("staticVector " + std::to_string(number) + " overflow.\n");
    }

    T& operator[](uint32_t i) { return items[i]; }
    const T& operator[](uint32_t i) const { return items[i]; }

    uint32_t capacity = N;
    T items[N] = {};
    uint32_t count = 0;
    uint32_t number;
};
