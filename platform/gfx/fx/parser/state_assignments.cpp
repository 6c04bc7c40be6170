#include "platform/gfx/fx/parser/state_assignments.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "platform/gfx/fx/expression/effect_expression.h"

namespace gfx {

namespace {

// A number as the 32 bits a dword state holds: a negative one as its two's
// complement, a float truncated, out-of-range ones held at the ends.
uint32_t Dword(double v)
{
    if (!std::isfinite(v))
        return v > 0 ? 0xFFFFFFFFu : 0u;
    v = std::trunc(std::clamp(v, -2147483648.0, 4294967295.0));
    return v < 0 ? static_cast<uint32_t>(static_cast<int32_t>(v)) : static_cast<uint32_t>(v);
}

uint32_t FloatBits(double v)
{
    return std::bit_cast<uint32_t>(static_cast<float>(v));
}

// A channel of 0..1 as a byte, rounded, as the platform's colours convert.
uint32_t Channel(double v)
{
    if (!(v > 0.0))
        return 0;
    return v >= 1.0 ? 255u : static_cast<uint32_t>(v * 255.0 + 0.5);
}

std::string Values(size_t n)
{
    return std::to_string(n) + (n == 1 ? " value" : " values");
}

} // namespace

const StateInfo* StateOf(const StateAssignment& assignment)
{
    return FindEffectState(assignment.group, assignment.number);
}

namespace {

bool IsRegisters(StateType type)
{
    return type == StateType::Floats || type == StateType::Ints || type == StateType::Bools;
}

// The words a state of fixed size holds; 0 for registers and objects.
size_t FixedWords(StateType type)
{
    switch (type) {
    case StateType::Bool:
    case StateType::Dword:
    case StateType::Int:
    case StateType::Float:
    case StateType::Colour: return 1;
    case StateType::Float3: return 3;
    case StateType::Float4: return 4;
    case StateType::Matrix: return 16;
    default: return 0;
    }
}

} // namespace

bool StateWordsFit(const StateInfo& state, uint32_t index, size_t count, std::string& why)
{
    // Named only when it does not fit: a pass's begin checks every value it evaluates.
    const auto quoted = [&] { return "'" + std::string(state.name) + "'"; };
    if (!IsRegisters(state.type)) {
        if (count == FixedWords(state.type) && count != 0)
            return true;
        why = quoted() + " holds " + std::to_string(FixedWords(state.type)) + " words, not " + std::to_string(count);
        return false;
    }
    const size_t per = state.type == StateType::Bools ? 1 : 4;
    if (count == 0 || count % per != 0) {
        why = quoted() + " holds whole registers of " + std::to_string(per) + ", not " + std::to_string(count) + " words";
        return false;
    }
    const size_t used = count / per;
    const size_t room = index < state.indices ? state.indices - index : 0;
    if (used > room) {
        why = quoted() + " from register " + std::to_string(index) + " has room for " + std::to_string(room) +
              (room == 1 ? " register" : " registers") + ", not " + std::to_string(used);
        return false;
    }
    if (state.registers != 0 && used > state.registers) {
        why = quoted() + " takes at most " + Values(state.registers * per) + ", not " + Values(count);
        return false;
    }
    return true;
}

bool StateWords(const StateInfo& state, uint32_t index, const ValueShape& shape, const double* v,
                std::vector<uint32_t>& words, std::string& why)
{
    words.clear();
    const size_t count = shape.Components();
    const auto wrongSize = [&](const std::string& wanted) {
        why = "'" + std::string(state.name) + "' takes " + wanted + ", not " + Values(count);
        return false;
    };
    switch (state.type) {
    case StateType::Bool:
        if (count != 1)
            return wrongSize("one value");
        words.push_back(v[0] != 0.0 ? 1u : 0u);
        break;
    case StateType::Dword:
    case StateType::Int:
        if (count != 1)
            return wrongSize("one value");
        words.push_back(Dword(v[0]));
        break;
    case StateType::Float:
        if (count != 1)
            return wrongSize("one value");
        words.push_back(FloatBits(v[0]));
        break;
    case StateType::Colour:
        if (count == 1) {
            words.push_back(Dword(v[0]));
            break;
        }
        if (count != 4)
            return wrongSize("a colour (one number or four channels)");
        words.push_back(Channel(v[3]) << 24 | Channel(v[0]) << 16 | Channel(v[1]) << 8 | Channel(v[2]));
        break;
    case StateType::Matrix:
        if (shape.matrix && shape.arraySize == 0 && count != 16) {
            // A smaller matrix in the top left, the rest zero.
            words.assign(16, FloatBits(0.0));
            for (uint32_t r = 0; r < shape.rows; ++r)
                for (uint32_t c = 0; c < shape.columns; ++c)
                    words[r * 4 + c] = FloatBits(v[r * shape.columns + c]);
            break;
        }
        [[fallthrough]];
    case StateType::Float3:
    case StateType::Float4: {
        const size_t wanted = FixedWords(state.type);
        // One value stands for all; a longer vector gives its first ones.
        if (count != 1 && count < wanted)
            return wrongSize(state.type == StateType::Matrix ? Values(wanted) + " or a smaller matrix" : Values(wanted));
        if (state.type == StateType::Matrix && count != 1 && count != wanted)
            return wrongSize(Values(wanted) + " or a smaller matrix");
        for (size_t i = 0; i < wanted; ++i)
            words.push_back(FloatBits(v[count == 1 ? 0 : i]));
        break;
    }
    case StateType::Floats:
    case StateType::Ints:
    case StateType::Bools: {
        const size_t per = state.type == StateType::Bools ? 1 : 4;
        const size_t registers = (count + per - 1) / per;
        if (count == 0 || (state.registers != 0 && registers > state.registers))
            return wrongSize(state.registers ? "at most " + Values(state.registers * per) : "values");
        for (size_t i = 0; i < registers * per; ++i) {
            const double x = i < count ? v[i] : 0.0;
            words.push_back(state.type == StateType::Floats ? FloatBits(x)
                            : state.type == StateType::Ints ? Dword(x)
                                                            : (x != 0.0 ? 1u : 0u));
        }
        break;
    }
    case StateType::Texture:
    case StateType::Sampler:
    case StateType::Shader:
        why = "'" + std::string(state.name) + "' takes no number";
        return false;
    }
    return StateWordsFit(state, index, words.size(), why);
}

std::string CheckStateAssignment(const StateAssignment& a)
{
    const StateInfo* state = StateOf(a);
    if (!state)
        return "a state has an unknown number";
    const std::string name(state->name);
    const bool indexed = state->indices != 0;
    if ((!indexed && a.index != 0) || (indexed && a.index >= state->indices))
        return "state '" + name + "' has an index out of its range";
    const bool object = state->type == StateType::Texture || state->type == StateType::Sampler;
    const bool shader = state->type == StateType::Shader;
    using Source = StateAssignment::Source;
    switch (a.source) {
    case Source::Constant: {
        if (object || shader)
            return "state '" + name + "' has a number for its value";
        std::string why;
        if (!StateWordsFit(*state, a.index, a.words.size(), why))
            return "state '" + name + "' has the wrong number of values: " + why;
        break;
    }
    case Source::Parameter:
        if (!object || a.parameter.empty())
            return "state '" + name + "' names a parameter it cannot take";
        break;
    case Source::Null:
        if (!object && !shader)
            return "state '" + name + "' cannot be NULL";
        break;
    case Source::Shader:
        if (!shader)
            return "state '" + name + "' is not a shader";
        break;
    case Source::Expression: {
        if (object || shader || a.expression.empty())
            return "state '" + name + "' has an expression it cannot take";
        Expression program;
        size_t offset = 0;
        std::string why;
        if (!Expression::Read(a.expression.data(), a.expression.size(), offset, program, why))
            return "state '" + name + "' has an unsound expression: " + why;
        if (offset != a.expression.size())
            return "state '" + name + "' has bytes after its expression";
        // Its value must be one the state takes, whatever the parameters hold.
        if (program.Shape().Components() > 4096)
            return "state '" + name + "' has an expression of the wrong size";
        const std::vector<double> zeros(program.Shape().Components(), 0.0);
        std::vector<uint32_t> words;
        if (!StateWords(*state, a.index, program.Shape(), zeros.data(), words, why)) {
            // Words made but too many: the registers reach past the last from the index.
            if (!words.empty())
                return "state " + why;
            return "state '" + name + "' has an expression of the wrong size";
        }
        break;
    }
    }
    if (a.source != Source::Constant && !a.words.empty())
        return "state '" + name + "' has values it does not use";
    if (a.source != Source::Parameter && !a.parameter.empty())
        return "state '" + name + "' names a parameter it does not use";
    if (a.source != Source::Expression && !a.expression.empty())
        return "state '" + name + "' has an expression it does not use";
    return {};
}

} // namespace gfx
