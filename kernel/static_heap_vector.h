#pragma once
// A vector whose fixed capacity is chosen when it is built; its elements are one
// 16-byte aligned heap block allocated then. Push hands out the next element;
// when full it writes "staticHeapVector overflow." to the standard error stream
// (which the platform turns into the error box) and starts again at slot 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <new>
#include <string>

template <class T>
class staticHeapVector {
public:
    explicit staticHeapVector(uint32_t fixedCapacity, std::string vectorName = {})
        : capacity(fixedCapacity), name(std::move(vectorName))
    {
        // A zero capacity still gets one slot, so Push never hands out memory it
        // does not own.
        slots_ = std::max<uint32_t>(capacity, 1);
        void* block = ::operator new(sizeof(T) * slots_, std::align_val_t(kAlign));
        items = static_cast<T*>(block);
        for (uint32_t i = 0; i < slots_; ++i)
            new (items + i) T();
    }

    ~staticHeapVector()
    {
        for (uint32_t i = 0; i < slots_; ++i)
            items[i].~T();
        ::operator delete(items, std::align_val_t(kAlign));
    }

    staticHeapVector(const staticHeapVector&) = delete;
    staticHeapVector& operator=(const staticHeapVector&) = delete;

    T& Push()
    {
        if (count >= capacity) {
            std::cerr << "staticHeapVector overflow.\n";
            count = 0;
        }
        ++count;
        return items[count - 1];
    }

    T& operator[](uint32_t i) { return items[i]; }
    const T& operator[](uint32_t i) const { return items[i]; }

    uint32_t capacity;
    T* items = nullptr;
    uint32_t count = 0;
    std::string name;

private:
    static constexpr size_t kAlign = alignof(T) > 16 ? alignof(T) : 16;
    uint32_t slots_ = 1;
};
