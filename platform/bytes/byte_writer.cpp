#include "platform/bytes/byte_writer.h"

#include <utility>

namespace platform {

std::vector<uint8_t> ByteWriter::Take()
{
    std::vector<uint8_t> bytes = fixed_ ? std::vector<uint8_t>(block_, block_ + size_) : std::move(own_);
    own_.clear();
    size_ = 0;
    return bytes;
}

uint8_t* ByteWriter::Room(size_t count)
{
    if (!ok_)
        return nullptr;
    if (fixed_) {
        if (count > capacity_ - size_) {
            ok_ = false;
            return nullptr;
        }
    } else {
        own_.resize(size_ + count);
    }
    uint8_t* at = (fixed_ ? block_ : own_.data()) + size_;
    size_ += count;
    return at;
}

} // namespace platform
