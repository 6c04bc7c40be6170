#pragma once
// ByteWriter: little-endian numbers, raw runs and texts written one after
// another, the counterpart of ByteReader. It either grows its own bytes or fills
// a caller's block of fixed size; a write that would pass the block's end
// writes nothing and marks the writer failed for good.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

class ByteWriter {
public:
    // Grows its own bytes.
    ByteWriter() = default;
    // Fills the caller's `size` bytes at `block` from the first.
    ByteWriter(void* block, size_t size)
        : block_(static_cast<uint8_t*>(block)), capacity_(block ? size : 0), fixed_(true)
    {
    }
    ByteWriter(std::span<uint8_t> block) : ByteWriter(block.data(), block.size()) {}

    // No write has failed.
    bool Ok() const { return ok_; }
    // Bytes written so far.
    size_t Size() const { return size_; }
    // What was written.
    std::span<const uint8_t> Written() const { return {fixed_ ? block_ : own_.data(), size_}; }
    // The grown bytes, handed over; the writer starts again empty.
    std::vector<uint8_t> Take();
    // Starts again from the first byte (a grown writer keeps its room).
    void Clear()
    {
        own_.clear();
        size_ = 0;
        ok_ = true;
    }

    void U8(uint8_t v) { Store(v); }
    void U16(uint16_t v) { Store(v); }
    void U32(uint32_t v) { Store(v); }
    void U64(uint64_t v) { Store(v); }
    void I16(int16_t v) { Store(static_cast<uint16_t>(v)); }
    void I32(int32_t v) { Store(static_cast<uint32_t>(v)); }
    void F32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        Store(bits);
    }
    void Bytes(const void* data, size_t count)
    {
        if (uint8_t* at = Room(count); at && count)
            std::memcpy(at, data, count);
    }
    void Bytes(std::span<const uint8_t> run) { Bytes(run.data(), run.size()); }
    void Chars(std::string_view text) { Bytes(text.data(), text.size()); }
    void Zeros(size_t count)
    {
        if (uint8_t* at = Room(count); at && count)
            std::memset(at, 0, count);
    }
    // Zeros up to the next multiple of `alignment` from the first byte.
    void Align(size_t alignment)
    {
        if (alignment != 0)
            Zeros((alignment - size_ % alignment) % alignment);
    }

private:
    template <class T> void Store(T v)
    {
        if (uint8_t* at = Room(sizeof(T)))
            for (size_t k = 0; k < sizeof(T); ++k)
                at[k] = static_cast<uint8_t>(v >> (8 * k));
    }
    // Where the next `count` bytes go, or null (and failed) when they do not fit.
    uint8_t* Room(size_t count);

    std::vector<uint8_t> own_;
    uint8_t* block_ = nullptr;
    size_t capacity_ = 0;
    size_t size_ = 0;
    bool fixed_ = false;
    bool ok_ = true;
};

} // namespace platform
