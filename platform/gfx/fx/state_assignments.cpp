#include "platform/gfx/fx/state_assignments.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "platform/gfx/fx/effect_expression.h"

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

bool StateWords(const StateInfo& state, const double* v, size_t count, std::vector<uint32_t>& words, std::string& why)
{
    words.clear();
    const auto wrongSize = [&](const std::string& wanted) {
        why = "'" + std::string(state.name) + "' takes " + wanted + ", not " + Values(count);
        return false;
    };
    switch (state.type) {
    case StateType::Bool:
        if (count != 1)
            return wrongSize("one value");
        words.push_back(v[0] != 0.0 ? 1u : 0u);
        return true;
    case StateType::Dword:
    case StateType::Int:
        if (count != 1)
            return wrongSize("one value");
        words.push_back(Dword(v[0]));
        return true;
    case StateType::Float:
        if (count != 1)
            return wrongSize("one value");
        words.push_back(FloatBits(v[0]));
        return true;
    case StateType::Colour:
        if (count == 1) {
            words.push_back(Dword(v[0]));
            return true;
        }
        if (count != 4)
            return wrongSize("a colour (one number or four channels)");
        words.push_back(Channel(v[3]) << 24 | Channel(v[0]) << 16 | Channel(v[1]) << 8 | Channel(v[2]));
        return true;
    case StateType::Float3:
    case StateType::Float4:
    case StateType::Matrix: {
        const size_t wanted = state.type == StateType::Float3 ? 3 : state.type == StateType::Float4 ? 4 : 16;
        // One value stands for all; a longer vector gives its first ones.
        if (count != 1 && count < wanted)
            return wrongSize(Values(wanted));
        if (state.type == StateType::Matrix && count != 1 && count != wanted)
            return wrongSize(Values(wanted));
        for (size_t i = 0; i < wanted; ++i)
            words.push_back(FloatBits(v[count == 1 ? 0 : i]));
        return true;
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
        return true;
    }
    case StateType::Texture:
    case StateType::Sampler:
    case StateType::Shader:
        break;
    }
    why = "'" + std::string(state.name) + "' takes no number";
    return false;
}

std::string CheckStateAssignment(const StateAssignment& a)
{
    const StateInfo* state = StateOf(a);
    if (!state)
        return "a state has an unknown number";
    const std::string name(state->name);
    const bool indexed = state->indices != 0;
    const bool registers = state->type == StateType::Floats || state->type == StateType::Ints ||
                           state->type == StateType::Bools;
    if ((!indexed && a.index != 0) || (indexed && a.index >= state->indices))
        return "state '" + name + "' has an index out of its range";
    const bool object = state->type == StateType::Texture || state->type == StateType::Sampler;
    const bool shader = state->type == StateType::Shader;
    using Source = StateAssignment::Source;
    switch (a.source) {
    case Source::Constant: {
        if (object || shader)
            return "state '" + name + "' has a number for its value";
        size_t wanted = 1;
        if (state->type == StateType::Float3)
            wanted = 3;
        else if (state->type == StateType::Float4)
            wanted = 4;
        else if (state->type == StateType::Matrix)
            wanted = 16;
        if (registers) {
            const size_t per = state->type == StateType::Bools ? 1 : 4;
            const size_t used = a.words.size() / per;
            if (a.words.empty() || a.words.size() % per != 0 || used > state->indices - a.index ||
                (state->registers != 0 && used > state->registers))
                return "state '" + name + "' has the wrong number of values";
        } else if (a.words.size() != wanted) {
            return "state '" + name + "' has the wrong number of values";
        }
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
        const std::vector<double> zeros(program.Shape().Components(), 0.0);
        std::vector<uint32_t> words;
        if (program.Shape().Components() > 4096 || !StateWords(*state, zeros.data(), zeros.size(), words, why))
            return "state '" + name + "' has an expression of the wrong size";
        // Registers are set from the index on: the value must fit in those left.
        const size_t used = registers ? words.size() / (state->type == StateType::Bools ? 1 : 4) : 0;
        const size_t room = state->indices - a.index;
        if (used > room)
            return "state '" + name + "' from register " + std::to_string(a.index) + " has room for " +
                   std::to_string(room) + (room == 1 ? " register" : " registers") + ", not " + std::to_string(used);
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
