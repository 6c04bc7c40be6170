#pragma once
// ByteReader: little-endian numbers, raw runs and texts read out of a block of
// bytes, front to back or at given offsets. Every read is checked against the
// block: one that would pass its end reads nothing, gives zeros (an empty run or
// text), moves the position to the end and marks the reader failed for good, so
// a caller may read a whole record and look at Ok() once.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace platform {

class ByteReader {
public:
    ByteReader() = default;
    // A null block reads as an empty one.
    ByteReader(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0)
    {
    }
    ByteReader(std::span<const uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}

    // No read has failed.
    bool Ok() const { return ok_; }
    size_t Position() const { return position_; }
    size_t Size() const { return size_; }
    size_t Remaining() const { return size_ - position_; }
    bool AtEnd() const { return position_ == size_; }
    // Marks the reader failed: the caller found the bytes wrong in its own way.
    void Fail()
    {
        ok_ = false;
        position_ = size_;
    }

    uint8_t U8() { return Next<uint8_t>(); }
    uint16_t U16() { return Next<uint16_t>(); }
    uint32_t U32() { return Next<uint32_t>(); }
    uint64_t U64() { return Next<uint64_t>(); }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    float F32() { return FloatOf(U32()); }

    // The same numbers at `at` bytes from the start; the position stays.
    uint8_t U8At(size_t at) { return At<uint8_t>(at); }
    uint16_t U16At(size_t at) { return At<uint16_t>(at); }
    uint32_t U32At(size_t at) { return At<uint32_t>(at); }
    int16_t I16At(size_t at) { return static_cast<int16_t>(U16At(at)); }
    float F32At(size_t at) { return FloatOf(U32At(at)); }

    // The next `count` bytes as a view into the block.
    std::span<const uint8_t> Bytes(size_t count)
    {
        if (!Take(count))
            return {};
        return {data_ + position_ - count, count};
    }
    // The next `count` bytes as characters.
    std::string_view Chars(size_t count)
    {
        const std::span<const uint8_t> run = Bytes(count);
        return {reinterpret_cast<const char*>(run.data()), run.size()};
    }
    // Copies the next `count` bytes out; zeros when they are not all there.
    bool CopyTo(void* out, size_t count)
    {
        if (count == 0)
            return ok_;
        if (!Take(count)) {
            std::memset(out, 0, count);
            return false;
        }
        std::memcpy(out, data_ + position_ - count, count);
        return true;
    }
    // The characters up to the next zero byte, which is passed over too. With
    // no zero before the end, nothing is taken and the reader fails.
    std::string_view ZeroEndedText();
    bool Skip(size_t count) { return Take(count); }
    // Moves to `position` (the end itself included).
    bool Seek(size_t position);
    // Moves on to the next multiple of `alignment` from the start.
    bool Align(size_t alignment);

private:
    bool Take(size_t count)
    {
        if (!ok_ || count > size_ - position_) {
            Fail();
            return false;
        }
        position_ += count;
        return true;
    }
    template <class T> T Next()
    {
        if (!Take(sizeof(T)))
            return 0;
        return Load<T>(data_ + position_ - sizeof(T));
    }
    template <class T> T At(size_t at)
    {
        if (!ok_ || at > size_ || sizeof(T) > size_ - at) {
            Fail();
            return 0;
        }
        return Load<T>(data_ + at);
    }
    template <class T> static T Load(const uint8_t* p)
    {
        T value = 0;
        for (size_t k = 0; k < sizeof(T); ++k)
            value = static_cast<T>(value | static_cast<T>(T(p[k]) << (8 * k)));
        return value;
    }
    static float FloatOf(uint32_t bits)
    {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
    bool ok_ = true;
};

} // namespace platform
