#include "platform/gfx/fx/hlsl/shader_semantics.h"

#include <cctype>

namespace gfx {

namespace {

constexpr std::string_view kCentroid = "_centroid";

bool EndsWithCentroid(std::string_view semantic)
{
    if (semantic.size() <= kCentroid.size())
        return false;
    const std::string_view end = semantic.substr(semantic.size() - kCentroid.size());
    for (size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(end[i])) != kCentroid[i])
            return false;
    return true;
}

} // namespace

bool IsCentroidSemantic(std::string_view semantic) { return EndsWithCentroid(semantic); }

Semantic SplitSemantic(std::string_view semantic)
{
    if (EndsWithCentroid(semantic))
        semantic.remove_suffix(kCentroid.size());
    Semantic out;
    size_t digits = semantic.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(semantic[digits - 1])))
        --digits;
    for (size_t i = 0; i < digits; ++i)
        out.name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(semantic[i]))));
    for (size_t i = digits; i < semantic.size() && out.index < 1000; ++i)
        out.index = out.index * 10 + static_cast<uint32_t>(semantic[i] - '0');
    return out;
}

int SemanticUsage(std::string_view name)
{
    static constexpr std::string_view kNames[kDeclarationUsages] = {
        "POSITION",   "BLENDWEIGHT", "BLENDINDICES", "NORMAL", "PSIZE", "TEXCOORD", "TANGENT",
        "BINORMAL",   "TESSFACTOR",  "POSITIONT",    "COLOR",  "FOG",   "DEPTH",    "SAMPLE"};
    for (size_t i = 0; i < std::size(kNames); ++i)
        if (kNames[i] == name)
            return static_cast<int>(i);
    return -1;
}

namespace {

struct Pair {
    uint8_t usage;
    uint8_t index;
};
constexpr uint8_t kPosition = 0, kBlendWeight = 1, kBlendIndices = 2, kNormal = 3, kTexcoord = 5, kTangent = 6,
                  kBinormal = 7, kColor = 10;
// Sixteen attributes, the least any driver offers, for the usages meshes carry.
constexpr Pair kFixedAttributes[kVertexAttributeSlots] = {
    {kPosition, 0}, {kBlendWeight, 0}, {kBlendIndices, 0}, {kNormal, 0}, {kTexcoord, 0}, {kTexcoord, 1},
    {kTexcoord, 2}, {kTexcoord, 3},    {kTexcoord, 4},     {kTexcoord, 5}, {kTexcoord, 6}, {kTexcoord, 7},
    {kColor, 0},    {kColor, 1},       {kTangent, 0},      {kBinormal, 0}};

} // namespace

int VertexAttributeLocation(uint32_t usage, uint32_t index)
{
    for (uint32_t location = 0; location < kVertexAttributeSlots; ++location)
        if (kFixedAttributes[location].usage == usage && kFixedAttributes[location].index == index)
            return static_cast<int>(location);
    return -1;
}

void FixedVertexAttribute(uint32_t location, uint32_t& usage, uint32_t& index)
{
    const Pair pair = kFixedAttributes[location % kVertexAttributeSlots];
    usage = pair.usage;
    index = pair.index;
}

int VertexInputLocation(const Semantic& semantic)
{
    int usage = SemanticUsage(semantic.name);
    return usage < 0 ? -1 : VertexAttributeLocation(static_cast<uint32_t>(usage), semantic.index);
}

int VaryingLocation(const Semantic& s)
{
    const int i = static_cast<int>(s.index);
    if (s.name == "TEXCOORD") return i < 16 ? i : -1;
    if (s.name == "COLOR") return i < 2 ? 16 + i : -1;
    if (s.name == "FOG") return i == 0 ? 18 : -1;
    if (s.name == "NORMAL") return i < 2 ? 19 + i : -1;
    if (s.name == "TANGENT") return i < 2 ? 21 + i : -1;
    if (s.name == "BINORMAL") return i < 2 ? 23 + i : -1;
    if (s.name == "BLENDWEIGHT") return i == 0 ? 25 : -1;
    if (s.name == "BLENDINDICES") return i == 0 ? 26 : -1;
    if (s.name == "POSITION") return i >= 1 && i < 4 ? 26 + i : -1;
    if (s.name == "DEPTH") return i == 0 ? 30 : -1;
    return -1;
}

bool IsPositionSemantic(const Semantic& s)
{
    return (s.name == "POSITION" && s.index == 0) || (s.name == "SV_POSITION" && s.index == 0);
}

Semantic VertexInputSemantic(const Semantic& s)
{
    return s.name == "SV_POSITION" ? Semantic{"POSITION", s.index} : s;
}

bool IsPointSizeSemantic(const Semantic& s) { return s.name == "PSIZE"; }
bool IsPixelPositionSemantic(const Semantic& s) { return s.name == "VPOS" || s.name == "SV_POSITION"; }
bool IsFaceSemantic(const Semantic& s) { return s.name == "VFACE"; }
bool IsDepthSemantic(const Semantic& s) { return s.name == "DEPTH" || s.name == "SV_DEPTH"; }

int ColourTarget(const Semantic& s)
{
    if ((s.name == "COLOR" || s.name == "SV_TARGET") && s.index < 4)
        return static_cast<int>(s.index);
    return -1;
}

} // namespace gfx
