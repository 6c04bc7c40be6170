#pragma once
// Where the values of struct parameters' members lie: each struct type's
// values an element and its members' places among them, as the parameter
// table keeps them; and the name of a part of a parameter ("light.colour",
// "lights[1].colour", "weights[2]") resolved to the values it reaches, as the
// platform's effect system takes such names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/syntax/name_table.h"

namespace gfx {

class StructLayouts {
public:
    static constexpr uint32_t kNone = NameTable::kNone;

    // Lays out `types` (which must outlive the layouts, unchanged); "" when
    // they are sound, else what is wrong: a name given twice, a member of an
    // unknown shape or of a struct not laid out before it, nesting deeper
    // than kMaxStructNesting, no values, or more than a parameter may hold.
    std::string Build(const std::vector<EffectStructType>& types);

    size_t Count() const { return floats_.size(); }
    uint32_t Find(std::string_view name) const { return byName_.Find(name); }
    const EffectStructType& Type(uint32_t type) const { return (*types_)[type]; }
    // The values one element of `type` holds.
    uint32_t Floats(uint32_t type) const { return floats_[type]; }
    // The member of `type` named `name`, or kNone.
    uint32_t Member(uint32_t type, std::string_view name) const { return members_[type].Find(name); }
    // Where a member's values begin within one element of its struct.
    uint32_t MemberFirst(uint32_t type, uint32_t member) const { return places_[type][member].first; }
    // The values one element of a member holds.
    uint32_t MemberElementFloats(uint32_t type, uint32_t member) const { return places_[type][member].elementFloats; }
    // The struct type of a struct member, kNone for a numeric one.
    uint32_t MemberType(uint32_t type, uint32_t member) const { return places_[type][member].type; }

    // Calls leaf(first, member) for each numeric member of `elements`
    // elements of `type` whose values begin at `first`: the member's values
    // (all its elements) begin at the first it is given.
    template <class Leaf>
    void ForEachLeaf(uint32_t type, uint64_t first, uint32_t elements, Leaf&& leaf) const
    {
        for (uint32_t e = 0; e < elements; ++e) {
            const uint64_t element = first + uint64_t(e) * floats_[type];
            const std::vector<EffectMember>& members = (*types_)[type].members;
            for (uint32_t m = 0; m < members.size(); ++m) {
                const Place& place = places_[type][m];
                if (place.type == kNone)
                    leaf(element + place.first, members[m]);
                else
                    ForEachLeaf(place.type, element + place.first, members[m].arraySize == 0 ? 1 : members[m].arraySize,
                                leaf);
            }
        }
    }

private:
    struct Place {
        uint32_t first = 0;
        uint32_t elementFloats = 0;
        uint32_t type = kNone;
    };
    const std::vector<EffectStructType>* types_ = nullptr;
    NameTable byName_;
    std::vector<NameTable> members_;
    std::vector<uint32_t> floats_;
    std::vector<std::vector<Place>> places_;
};

// What the name of a parameter's part reaches: a part of one parameter's
// values, and its type as a parameter of its own would have it.
struct ParameterPart {
    uint32_t parameter = 0;
    uint64_t first = 0; // among the parameter's values
    EffectParameterType type = EffectParameterType::Float;
    uint8_t rows = 1;
    uint8_t columns = 1;
    uint32_t arraySize = 0;
    uint32_t structType = StructLayouts::kNone; // of a struct part

    uint32_t Elements() const { return arraySize == 0 ? 1u : arraySize; }
};

// The values one element of `part` holds.
uint32_t PartElementFloats(const ParameterPart& part, const StructLayouts& layouts);

// `name`: a parameter's name, then any number of `[index]` (an element of an
// array) and `.member` (a member of a struct, or of one element of an array of
// structs), without blanks. False when it names no part of a parameter.
// `byName` gives the index of each parameter by name.
bool FindParameterPart(std::string_view name, const std::vector<EffectParameter>& parameters,
                       const NameTable& byName, const StructLayouts& layouts, ParameterPart& out);

// `name`: a parameter's name, or one element of an array parameter
// ("maps[1]"), as arrays of textures and of strings are addressed; its
// index in `parameters` and the element (0 for the name alone). False when
// it names neither.
bool FindElement(std::string_view name, const std::vector<EffectParameter>& parameters, const NameTable& byName,
                 uint32_t& parameter, uint32_t& element);

} // namespace gfx
