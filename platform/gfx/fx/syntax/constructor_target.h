#pragma once
// A constructor as the target of an assignment, `float4(a, b) = v;`: the
// variables it names take the value's components in order. The evaluator of
// constant expressions and the shaders read it each their own way; what
// either refuses of it is refused in these words, at the same place, so an
// author sees one message whichever reads the function first.
#include <string>
#include <string_view>

namespace gfx {

// At the type's name: the variables' components do not add up to the type's.
inline constexpr int kTargetSizeCode = 3014;
inline std::string TargetSizeText(std::string_view type)
{
    return "the variables '" + std::string(type) + "(...) =' names do not take its components one for one";
}

// At what the target names that takes no value: a constructor or call within
// it ("float2(...)"), or "" for another value that is no variable.
inline constexpr int kTargetNotVariableCode = 3025;
inline std::string TargetNotVariableText(std::string_view type, std::string_view named)
{
    return "'" + std::string(type) + "(...) =' names " +
           (named.empty() ? std::string("a value") : "'" + std::string(named) + "'") +
           ", which is no variable: only variables take its components";
}

} // namespace gfx
