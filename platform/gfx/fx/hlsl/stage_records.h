#pragma once
// The compiling child's answer: one record a stage, written by the child as
// soon as the stage's result is known and read by the caller as the answer
// comes, each whole record once. A record: u32 stage, u8 ok, u32 word count,
// the SPIR-V words, u32 message length, the messages, u32 length of the
// follow-up's bytes, the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/hlsl/shader_compile.h"

namespace gfx {

void WriteStageRecord(platform::ByteWriter& out, size_t stage, bool ok, const std::vector<uint32_t>& spirv,
                      const std::string& messages, const std::string& extra);

// The results of the child's answer, read as it comes: each whole record
// once, from where the last reading stopped.
class AnswerReader {
public:
    AnswerReader(std::vector<StageResult>& results, std::vector<bool>& done, const StageArrival& arrival)
        : results_(results), done_(done), arrival_(arrival)
    {
    }

    // Reads the records `answer` has gained; false once the caller was told
    // of a result it wants no more after.
    bool Read(std::string_view answer);
    void Restart()
    {
        read_ = 0;
        records_ = 0;
    }
    size_t Records() const { return records_; }
    bool Refused() const { return refused_; }

private:
    std::vector<StageResult>& results_;
    std::vector<bool>& done_;
    const StageArrival& arrival_;
    size_t read_ = 0;
    size_t records_ = 0;
    bool refused_ = false;
};

} // namespace gfx
