#include "platform/bytes/byte_reader.h"

namespace platform {

std::string_view ByteReader::ZeroEndedText()
{
    const void* zero = ok_ && Remaining() ? std::memchr(data_ + position_, 0, Remaining()) : nullptr;
    if (!zero) {
        Fail();
        return {};
    }
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (data_ + position_));
    const std::string_view text = Chars(length);
    Skip(1);
    return text;
}

bool ByteReader::Seek(size_t position)
{
    if (!ok_ || position > size_) {
        Fail();
        return false;
    }
    position_ = position;
    return true;
}

bool ByteReader::Align(size_t alignment)
{
    if (alignment == 0)
        return ok_;
    const size_t past = position_ % alignment;
    return past == 0 ? ok_ : Skip(alignment - past);
}

} // namespace platform
