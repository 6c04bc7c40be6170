#include "platform/gfx/fx/hlsl/stage_registers.h"

namespace gfx {

bool StageRegisters::Takes(const Semantic& s) const
{
    if (general)
        return IsDeclarationSemantic(s);
    return (s.name == "TEXCOORD" && s.index < texcoords) || (s.name == "COLOR" && s.index < colours) ||
           (fog && s.name == "FOG" && s.index == 0);
}

std::string StageRegisters::Describe() const
{
    if (general)
        return "declaration usages with indices up to " + std::to_string(kMaxUsageIndex);
    std::string out = "COLOR0-" + std::to_string(colours - 1) + ", TEXCOORD0-" + std::to_string(texcoords - 1);
    if (fog)
        out += " and FOG";
    else
        out.replace(out.find(", "), 2, " and ");
    return out;
}

StageRegisters VertexOutputRegisters(std::string_view target)
{
    if (target.starts_with("vs_3_"))
        return {true, 0, 0, false};
    return {false, 8, 2, true};
}

StageRegisters PixelInputRegisters(std::string_view target)
{
    if (target.starts_with("ps_3_"))
        return {true, 0, 0, false};
    if (target == "ps_1_4")
        return {false, 6, 2, false};
    if (target.starts_with("ps_1_"))
        return {false, 4, 2, false};
    return {false, 8, 2, false};
}

bool IsDeclarationSemantic(const Semantic& s)
{
    return SemanticUsage(s.name) >= 0 && s.index <= kMaxUsageIndex;
}

} // namespace gfx
