#include "platform/gfx/fx/rewrites/intrinsic_overloads.h"

#include <algorithm>

#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {

std::string IntrinsicOverloads(std::string_view text, const std::vector<std::string_view>& functions)
{
    static constexpr std::string_view kSign = "sign";
    if (text.find(kSign) == std::string_view::npos ||
        std::find(functions.begin(), functions.end(), kSign) != functions.end())
        return {};
    const std::vector<Token> tokens = Tokenize(text);
    bool called = false;
    for (size_t i = 0; i + 1 < tokens.size() && !called; ++i)
        called = tokens[i].Is(kSign) && tokens[i + 1].Is('(') && MayNameDeclaration(tokens, i);
    if (!called)
        return {};
    // Of each float scalar and vector, the type the evaluator gives it, as
    // its components compare with zero.
    std::string out;
    for (uint8_t size = 1; size <= 4; ++size) {
        ValueShape in;
        in.columns = size;
        ValueShape result;
        std::string why;
        expr::IntrinsicResult(expr::kSign, 1, &in, result, why);
        const std::string type = ShapeName(result);
        out += type + " sign(" + ShapeName(in) + " x){return " + type + "(x>0)-" + type + "(x<0);}";
    }
    return out;
}

} // namespace gfx
