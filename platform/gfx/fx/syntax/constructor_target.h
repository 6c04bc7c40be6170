#pragma once
// A constructor as the target of an assignment, `float4(a, b) = v;`: the
// variables it names take the value's components in order, and a
// constructor within it, `float4(float2(a, b), c, d) = v;`, names its own
// variables in their place, which add up to its size. The evaluator of
// constant expressions and the shaders read it each their own way; what
// either refuses of it is refused in these words, at the same place, so an
// author sees one message whichever reads the function first.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {

inline constexpr std::string_view kTargetBases[] = {"float", "half", "double", "int", "uint", "bool"};

// The vector types a target, or a constructor within one, may be: a base and
// a size of 2 to 4.
inline bool TargetType(std::string_view type, std::string_view& base, uint32_t& size)
{
    if (type.size() < 2 || type.back() < '2' || type.back() > '4')
        return false;
    base = type.substr(0, type.size() - 1);
    size = static_cast<uint32_t>(type.back() - '0');
    return std::find(std::begin(kTargetBases), std::end(kTargetBases), base) != std::end(kTargetBases);
}

// Whether `name` and `open` start a constructor within a target: a target's
// type and its '(' on the same line (where the shaders mark it in place).
inline bool NestedTarget(const Token& name, const Token& open, uint32_t& size)
{
    std::string_view base;
    return name.kind == TokenKind::Identifier && open.Is('(') && open.line == name.line &&
           TargetType(name.text, base, size);
}

// At the type's name, or at a constructor within it: the variables'
// components do not add up to the type's.
inline constexpr int kTargetSizeCode = 3014;
inline std::string TargetSizeText(std::string_view type)
{
    return "the variables '" + std::string(type) + "(...) =' names do not take its components one for one";
}

// At what the target names that takes no value: a call within it
// ("f(...)"), or "" for another value that is no variable.
inline constexpr int kTargetNotVariableCode = 3025;
inline std::string TargetNotVariableText(std::string_view type, std::string_view named)
{
    return "'" + std::string(type) + "(...) =' names " +
           (named.empty() ? std::string("a value") : "'" + std::string(named) + "'") +
           ", which is no variable: only variables take its components";
}

// At a variable the target names whose base is not the type's ("a", a float
// in an int4's target): its components would go to a copy.
inline std::string TargetBaseText(std::string_view type, std::string_view variable)
{
    return "'" + std::string(type) + "(...) =' names '" + std::string(variable) + "', which is no " +
           std::string(type.substr(0, type.size() - 1)) + " variable: only variables of its base take its components";
}

} // namespace gfx
