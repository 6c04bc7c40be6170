#include "net/para_reply.h"

#include <cstring>
#include <mutex>
#include <span>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"

static_assert(sizeof(kParaReplyTag) - 1 == 8, "the tag fills the first eight bytes");

namespace {

constexpr size_t kValueAt = 9; // after the tag and the flags

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
    return platform::ByteReader(bytes).F32At(kValueAt);
}

void ParaReply::SetValue(float value)
{
    platform::ByteWriter(std::span(bytes).subspan(kValueAt, 4)).F32(value);
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
