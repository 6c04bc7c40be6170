#pragma once
// The reference count every graphics object carries: created with one
// reference, destroyed when the last is released.
#include <atomic>
#include <cstdint>

namespace gfx {

class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    // Both return the count after the change.
    virtual uint32_t AddRef();
    virtual uint32_t Release();
    uint32_t RefCount() const { return refs_.load(std::memory_order_acquire); }

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;

private:
    std::atomic<uint32_t> refs_{1};
};

// Releases and nulls a pointer when it holds an object.
template <class T>
void SafeRelease(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

} // namespace gfx
