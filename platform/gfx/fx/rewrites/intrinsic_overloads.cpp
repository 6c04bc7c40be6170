#include "platform/gfx/fx/rewrites/intrinsic_overloads.h"

#include <algorithm>

#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {

namespace {

// The intrinsics of one argument that take floats only.
bool TakesFloatOnly(uint32_t which)
{
    return which <= expr::kLastFloatUnary || which == expr::kLength || which == expr::kNormalize ||
           which == expr::kIsNan || which == expr::kIsInf || which == expr::kIsFinite;
}

// `type name(argument x){return body;}` for `in`, its type the
// evaluator's; `body` is given the result's type and the argument's as floats.
template <class Body>
std::string Overload(uint32_t which, const ValueShape& in, Body&& body)
{
    ValueShape floats = in, result;
    floats.base = ValueBase::Float;
    std::string why;
    expr::IntrinsicResult(which, 1, &in, result, why);
    const std::string type = ShapeName(result);
    return type + " " + std::string(expr::kIntrinsics[which].name) + "(" + ShapeName(in) + " x){return " +
           body(type, ShapeName(floats)) + ";}";
}

// Bit `size - 1` for each size, of each base: the arguments of intrinsics
// of one argument to take as they are.
using Taken = std::vector<uint32_t>;
constexpr int kBases = 4;

} // namespace

std::string IntrinsicOverloads(std::string_view text, const std::vector<std::string_view>& functions)
{
    const std::vector<Token> tokens = Tokenize(text);
    const std::vector<size_t> matches = BracketMatches(tokens);
    std::vector<bool> called(expr::kIntrinsicCount, false);
    Taken taken(size_t(expr::kIntrinsicCount) * kBases, 0);
    for (size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (!tokens[i + 1].Is('(') || !MayNameDeclaration(tokens, i))
            continue;
        const uint32_t which = expr::FindIntrinsic(tokens[i].text);
        if (which == expr::kIntrinsicCount ||
            std::find(functions.begin(), functions.end(), tokens[i].text) != functions.end())
            continue;
        called[which] = true;
        // Its argument, in brackets or not: a name or a number needs none; a
        // constructor those of its type; anything else, which may be made a
        // call or a constructor (a swizzle of a scalar), those of any type.
        size_t close = matches[i + 1], name = i + 2;
        for (; name < close && tokens[name].Is('(') && matches[name] + 1 == close; ++name)
            close = matches[name];
        if (!TakesFloatOnly(which) || name + 1 >= close)
            continue;
        ValueShape made;
        const bool constructor = tokens[name + 1].Is('(') && matches[name + 1] + 1 == close &&
                                 BuiltInShape(tokens[name].text, made) && made.IsVector();
        for (int base = 0; base < kBases; ++base)
            if (!constructor || base == int(made.base))
                taken[size_t(which) * kBases + size_t(base)] |= constructor ? 1u << (made.columns - 1) : 15u;
    }
    std::string out;
    if (called[expr::kSign])
        for (uint8_t size = 1; size <= 4; ++size) {
            ValueShape in;
            in.columns = size;
            out += Overload(expr::kSign, in, [](const std::string& type, const std::string&) {
                return type + "(x>0)-" + type + "(x<0)";
            });
        }
    for (uint32_t which = 0; which < expr::kIntrinsicCount; ++which) {
        const std::string name(expr::kIntrinsics[which].name);
        for (int base = 0; base < kBases; ++base)
            for (uint8_t size = which == expr::kNormalize ? 2 : 1; size <= 4; ++size) {
                ValueShape in;
                in.base = ValueBase(base);
                in.columns = size;
                if (in.base != ValueBase::Float && (taken[size_t(which) * kBases + size_t(base)] >> (size - 1) & 1))
                    out += Overload(which, in, [&](const std::string&, const std::string& floats) {
                        return name + "((" + floats + ")x)";
                    });
            }
    }
    return out;
}

} // namespace gfx
