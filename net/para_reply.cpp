#include "net/para_reply.h"

#include <cstring>
#include <mutex>

static_assert(sizeof(kParaReplyTag) - 1 == 8, "the tag fills the first eight bytes");

namespace {

struct Block {
    std::mutex lock;
    ParaReply record;
};

Block& TheBlock()
{
    static Block block;
    return block;
}

} // namespace

ParaReply::ParaReply()
{
    std::memcpy(bytes.data(), kParaReplyTag, 8);
}

float ParaReply::Value() const
{
    uint32_t word = static_cast<uint32_t>(bytes[9]) | static_cast<uint32_t>(bytes[10]) << 8 |
                    static_cast<uint32_t>(bytes[11]) << 16 | static_cast<uint32_t>(bytes[12]) << 24;
    float value;
    std::memcpy(&value, &word, sizeof(value));
    return value;
}

void ParaReply::SetValue(float value)
{
    uint32_t word;
    std::memcpy(&word, &value, sizeof(word));
    for (int i = 0; i < 4; ++i)
        bytes[9 + i] = static_cast<uint8_t>(word >> (8 * i));
}

ParaReply ReadParaReply()
{
    Block& block = TheBlock();
    std::lock_guard guard(block.lock);
    return block.record;
}

void WriteParaReply(const ParaReply& record)
{
    Block& block = TheBlock();
    std::lock_guard guard(block.lock);
    block.record = record;
}

void ResetParaReply()
{
    WriteParaReply(ParaReply());
}
