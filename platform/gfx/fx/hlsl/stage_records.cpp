#include "platform/gfx/fx/hlsl/stage_records.h"

#include <span>

#include "platform/bytes/byte_reader.h"

namespace gfx {

namespace {

// One stage's result as the caller reads it, viewing the answer.
struct StageRecord {
    uint32_t stage = 0;
    bool ok = false;
    std::span<const uint8_t> words; // the SPIR-V, four bytes a word
    std::string_view messages;
    std::string_view extra;
};

// The next record of `in`; false at the end or at a record cut short by it.
bool ReadRecord(platform::ByteReader& in, StageRecord& record)
{
    if (in.AtEnd())
        return false;
    record.stage = in.U32();
    record.ok = in.U8() != 0;
    const uint32_t words = in.U32();
    if (!in.Ok() || words > in.Remaining() / 4)
        return false;
    record.words = in.Bytes(size_t{words} * 4);
    record.messages = in.Chars(in.U32());
    record.extra = in.Chars(in.U32());
    return in.Ok();
}

} // namespace

void WriteStageRecord(platform::ByteWriter& out, size_t stage, bool ok, const std::vector<uint32_t>& spirv,
                      const std::string& messages, const std::string& extra)
{
    out.U32(static_cast<uint32_t>(stage));
    out.U8(ok ? 1 : 0);
    out.U32(static_cast<uint32_t>(spirv.size()));
    for (uint32_t word : spirv)
        out.U32(word);
    out.U32(static_cast<uint32_t>(messages.size()));
    out.Chars(messages);
    out.U32(static_cast<uint32_t>(extra.size()));
    out.Chars(extra);
}

bool AnswerReader::Read(std::string_view answer)
{
    platform::ByteReader in(answer.data() + read_, answer.size() - read_);
    for (StageRecord record; !refused_ && ReadRecord(in, record) && record.stage < results_.size();) {
        read_ = answer.size() - in.Remaining();
        platform::ByteReader words(record.words);
        std::vector<uint32_t> spirv(record.words.size() / 4);
        for (uint32_t& word : spirv)
            word = words.U32();
        StageResult& result = results_[record.stage];
        result = {record.ok, std::move(spirv), std::string(record.messages), std::string(record.extra)};
        done_[record.stage] = true;
        ++records_;
        if (arrival_ && !arrival_(record.stage, result))
            refused_ = true;
    }
    return !refused_;
}

} // namespace gfx
