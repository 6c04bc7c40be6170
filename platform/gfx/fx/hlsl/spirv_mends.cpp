#include "platform/gfx/fx/hlsl/spirv_mends.h"

#include <cstddef>
#include <unordered_map>
#include <unordered_set>

#define SPV_ENABLE_UTILITY_CODE
#include <glslang/SPIRV/spirv.hpp>

namespace gfx {

namespace {

constexpr size_t kHeaderWords = 5;

// Calls `each` with the opcode and first word of each instruction; false
// where an instruction's length runs past the end, or is none.
template <class Each> bool ForEachInstruction(const std::vector<uint32_t>& spirv, Each each)
{
    for (size_t at = kHeaderWords; at < spirv.size();) {
        const uint32_t words = spirv[at] >> 16;
        if (words == 0 || words > spirv.size() - at)
            return false;
        each(static_cast<spv::Op>(spirv[at] & 0xFFFF), at, words);
        at += words;
    }
    return true;
}

} // namespace

void MendSpirv(std::vector<uint32_t>& spirv)
{
    if (spirv.size() <= kHeaderWords || spirv[0] != spv::MagicNumber)
        return;
    // The truth type, and the type of every value, first: a value may be
    // defined after its use in the order of the words.
    std::unordered_set<uint32_t> truth;
    std::unordered_map<uint32_t, uint32_t> typeOf;
    const bool whole = ForEachInstruction(spirv, [&](spv::Op op, size_t at, uint32_t words) {
        bool result = false, type = false;
        spv::HasResultAndType(op, &result, &type);
        if (op == spv::OpTypeBool && words == 2)
            truth.insert(spirv[at + 1]);
        else if (result && type && words >= 3)
            typeOf[spirv[at + 2]] = spirv[at + 1];
    });
    if (!whole)
        return;
    ForEachInstruction(spirv, [&](spv::Op op, size_t at, uint32_t words) {
        if (op == spv::OpSMod || op == spv::OpFMod) {
            spirv[at] = (words << 16) | (op == spv::OpSMod ? spv::OpSRem : spv::OpFRem);
            return;
        }
        if ((op != spv::OpAny && op != spv::OpAll) || words != 4)
            return;
        const auto operand = typeOf.find(spirv[at + 3]);
        if (operand != typeOf.end() && truth.count(operand->second))
            spirv[at] = (4u << 16) | spv::OpCopyObject;
    });
}

} // namespace gfx
