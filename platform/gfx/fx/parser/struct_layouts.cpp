#include "platform/gfx/fx/parser/struct_layouts.h"

#include <algorithm>

namespace gfx {

std::string StructLayouts::Build(const std::vector<EffectStructType>& types)
{
    types_ = &types;
    byName_ = NameTable();
    byName_.Reserve(types.size());
    members_.assign(types.size(), NameTable());
    floats_.assign(types.size(), 0);
    places_.assign(types.size(), {});
    std::vector<uint32_t> depth(types.size(), 1);
    for (uint32_t t = 0; t < types.size(); ++t) {
        const EffectStructType& type = types[t];
        const std::string named = "struct '" + type.name + "'";
        if (type.name.empty())
            return "a struct has no name";
        if (!byName_.Add(type.name, t))
            return named + " is laid out twice";
        members_[t].Reserve(type.members.size());
        places_[t].resize(type.members.size());
        uint64_t floats = 0;
        for (uint32_t m = 0; m < type.members.size(); ++m) {
            const EffectMember& member = type.members[m];
            if (member.name.empty())
                return named + " has a member without a name";
            if (!members_[t].Add(member.name, m))
                return named + " has two members named '" + member.name + "'";
            const std::string memberNamed = named + " has the member '" + member.name + "'";
            Place& place = places_[t][m];
            uint64_t each = 0;
            if (IsNumericType(member.type)) {
                if (member.rows < 1 || member.rows > 4 || member.columns < 1 || member.columns > 4 ||
                    !member.structName.empty())
                    return memberNamed + " of an invalid size";
                each = uint64_t(member.rows) * member.columns;
            } else if (member.type == EffectParameterType::Struct) {
                place.type = byName_.Find(member.structName);
                if (member.rows != 0 || member.columns != 0 || place.type == kNone || place.type == t)
                    return memberNamed + " of a struct not laid out before it";
                depth[t] = std::max(depth[t], depth[place.type] + 1);
                if (depth[t] > kMaxStructNesting)
                    return named + " holds structs more than " + std::to_string(kMaxStructNesting) + " deep";
                each = floats_[place.type];
            } else {
                return memberNamed + ", which holds no numbers";
            }
            if (member.arraySize > kMaxEffectArraySize)
                return memberNamed + " of too many elements";
            place.first = static_cast<uint32_t>(floats);
            place.elementFloats = static_cast<uint32_t>(each);
            floats += each * (member.arraySize == 0 ? 1 : member.arraySize);
            if (floats > kMaxEffectParameterFloats)
                return named + " holds too many values";
        }
        if (floats == 0)
            return named + " holds no values";
        floats_[t] = static_cast<uint32_t>(floats);
    }
    return {};
}

uint32_t PartElementFloats(const ParameterPart& part, const StructLayouts& layouts)
{
    return part.type == EffectParameterType::Struct ? layouts.Floats(part.structType)
                                                    : uint32_t(part.rows) * part.columns;
}

namespace {

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

size_t NameEnd(std::string_view name)
{
    size_t at = 0;
    while (at < name.size() && IsNameCharacter(name[at]))
        ++at;
    return at;
}

// `[index]` at `at` in `name`, `at` then past it; false when not so written
// or when the index reaches `elements`.
bool ReadIndex(std::string_view name, size_t& at, uint32_t elements, uint64_t& index)
{
    size_t close = at + 1;
    index = 0;
    while (close < name.size() && name[close] >= '0' && name[close] <= '9' && index <= kMaxEffectArraySize)
        index = index * 10 + uint64_t(name[close++] - '0');
    if (close == at + 1 || close >= name.size() || name[close] != ']' || index >= elements)
        return false;
    at = close + 1;
    return true;
}

} // namespace

bool FindElement(std::string_view name, const std::vector<EffectParameter>& parameters, const NameTable& byName,
                 uint32_t& parameter, uint32_t& element)
{
    size_t at = NameEnd(name);
    const uint32_t found = byName.Find(name.substr(0, at));
    uint64_t index = 0;
    if (found == NameTable::kNone ||
        (at < name.size() && !(ReadIndex(name, at, parameters[found].arraySize, index) && at == name.size())))
        return false;
    parameter = found;
    element = static_cast<uint32_t>(index);
    return true;
}

bool FindParameterPart(std::string_view name, const std::vector<EffectParameter>& parameters,
                       const NameTable& byName, const StructLayouts& layouts, ParameterPart& out)
{
    size_t at = NameEnd(name);
    const uint32_t found = byName.Find(name.substr(0, at));
    if (found == NameTable::kNone)
        return false;
    const EffectParameter& p = parameters[found];
    ParameterPart part;
    part.parameter = found;
    part.type = p.type;
    part.rows = p.rows;
    part.columns = p.columns;
    part.arraySize = p.arraySize;
    if (p.type == EffectParameterType::Struct) {
        part.structType = layouts.Find(p.structName);
        if (part.structType == StructLayouts::kNone)
            return false;
    }
    while (at < name.size()) {
        if (name[at] == '[') {
            uint64_t index = 0;
            if (!ReadIndex(name, at, part.arraySize, index))
                return false;
            part.first += index * PartElementFloats(part, layouts);
            part.arraySize = 0;
        } else if (name[at] == '.') {
            size_t end = at + 1;
            while (end < name.size() && IsNameCharacter(name[end]))
                ++end;
            if (part.type != EffectParameterType::Struct || part.arraySize != 0 || end == at + 1)
                return false;
            const uint32_t type = part.structType;
            const uint32_t member = layouts.Member(type, name.substr(at + 1, end - at - 1));
            if (member == StructLayouts::kNone)
                return false;
            const EffectMember& m = layouts.Type(type).members[member];
            part.first += layouts.MemberFirst(type, member);
            part.type = m.type;
            part.rows = m.rows;
            part.columns = m.columns;
            part.arraySize = m.arraySize;
            part.structType = layouts.MemberType(type, member);
            at = end;
        } else {
            return false;
        }
    }
    if (part.type != EffectParameterType::Struct)
        part.structType = StructLayouts::kNone;
    out = part;
    return true;
}

} // namespace gfx
