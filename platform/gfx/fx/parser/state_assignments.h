#pragma once
// One state assignment of a pass or of a sampler_state block, as the compiler
// keeps it and the effect hands it to the device when a pass begins: which
// state (its group and device number, effect_states.h), the index written,
// and the value: words already in the state's type when the value is
// constant, the parameter a texture or sampler state names, or an expression
// of parameters (in the evaluator's bytes) whose value at the pass's begin
// StateWords turns into words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/fx/parser/effect_states.h"
#include "platform/gfx/fx/expression/value.h"

namespace gfx {

struct StateAssignment {
    enum class Source : uint8_t {
        Constant,   // words
        Parameter,  // the texture or sampler parameter `parameter`
        Expression, // evaluated at the pass's begin
        Null,       // NULL: no texture, sampler or shader
        Shader,     // where the pass's vertex or pixel shader is set
    };
    StateGroup group = StateGroup::Render;
    uint32_t number = 0;
    uint32_t index = 0;
    Source source = Source::Constant;
    std::vector<uint32_t> words;     // floats as their bits
    std::string parameter;
    std::vector<uint8_t> expression;
    bool operator==(const StateAssignment&) const = default;
};
inline constexpr uint8_t kStateSourceCount = 5;

// The state an assignment sets, or null when its group and number name none.
const StateInfo* StateOf(const StateAssignment& assignment);

// The one place of a state value's size rules. StateWords converts a value
// of `shape` (its `components`) to the words `state`, written from `index`,
// takes: 0 or 1 for a bool; a number for a dword or int (a float truncated,
// NaN 0, values past either end held there); a float's bits; an A8R8G8B8
// colour from a number or from four channels of 0..1; three or four floats
// (one value standing for all, a longer vector giving its first); sixteen for
// a matrix (one value standing for all, a smaller matrix widened, the rest
// zero, as the platform reads it); registers of four floats or ints, or one
// bool each, zeros filling the last. False, with what is wrong, for a value
// of another size, and for registers that reach past the last from `index`.
bool StateWords(const StateInfo& state, uint32_t index, const ValueShape& shape, const double* components,
                std::vector<uint32_t>& words, std::string& why);
// Whether `count` words are what `state` holds when written from `index`;
// false with what is wrong.
bool StateWordsFit(const StateInfo& state, uint32_t index, size_t count, std::string& why);

// "" when the assignment is sound: a known state, an index in its range, a
// source the state can take, and as many constant words as it needs; else
// what is wrong.
std::string CheckStateAssignment(const StateAssignment& assignment);

} // namespace gfx
