#pragma once
// The modifiers of HLSL declarations, in one table for every reader of the
// shader text: where each may stand (a global variable, a local, a
// function's head, a parameter, a struct's member) and what it says of a
// parameter's direction or a value's interpolation. Modifiers are matched
// as written: HLSL's words have one letter case.
#include <cstdint>
#include <string_view>

namespace gfx {

// Where a modifier may stand, as bits.
enum HlslModifierPlace : uint8_t {
    kModifiesGlobal = 1,    // a global variable's declaration
    kModifiesLocal = 2,     // a local variable's declaration
    kModifiesFunction = 4,  // before a function's returned type
    kModifiesParameter = 8, // a function's parameter
    kModifiesMember = 16,   // a struct's member
};

enum class HlslDirection : uint8_t { Unsaid, In, Out, InOut };

struct HlslModifier {
    std::string_view word;
    uint8_t places = 0;
    HlslDirection direction = HlslDirection::Unsaid; // of a parameter
    bool uniform = false;                            // a parameter the pass gives a value
    bool flat = false;                               // the same value over the whole primitive
};

// The modifier `word` is, or nullptr for a word that is none.
const HlslModifier* FindHlslModifier(std::string_view word);

// Whether `word` is a modifier that may stand in one of `places` (HlslModifierPlace bits).
inline bool IsHlslModifier(std::string_view word, uint8_t places)
{
    const HlslModifier* m = FindHlslModifier(word);
    return m && (m->places & places) != 0;
}

} // namespace gfx
