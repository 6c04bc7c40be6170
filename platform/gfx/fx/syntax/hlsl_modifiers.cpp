#include "platform/gfx/fx/syntax/hlsl_modifiers.h"

namespace gfx {

namespace {

constexpr uint8_t kVariable = kModifiesGlobal | kModifiesLocal;
constexpr uint8_t kValue = kModifiesParameter | kModifiesMember; // what passes between stages
constexpr uint8_t kAnywhere = kVariable | kModifiesFunction | kValue;
using enum HlslDirection;

constexpr HlslModifier kModifiers[] = {
    {"static", kVariable | kModifiesFunction},
    {"uniform", kModifiesGlobal | kModifiesFunction | kModifiesParameter, Unsaid, true},
    {"extern", kModifiesGlobal | kModifiesFunction},
    {"shared", kModifiesGlobal},
    {"volatile", kVariable},
    {"const", kAnywhere},
    {"row_major", kAnywhere},
    {"column_major", kAnywhere},
    {"inline", kModifiesFunction},
    {"precise", kAnywhere},
    {"in", kModifiesParameter, In},
    {"out", kModifiesParameter, Out},
    {"inout", kModifiesParameter, InOut},
    {"linear", kValue},
    {"centroid", kValue},
    {"nointerpolation", kValue, Unsaid, false, true},
    {"noperspective", kValue},
    {"sample", kValue},
};

} // namespace

const HlslModifier* FindHlslModifier(std::string_view word)
{
    for (const HlslModifier& m : kModifiers)
        if (m.word == word)
            return &m;
    return nullptr;
}

} // namespace gfx
