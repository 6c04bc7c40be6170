#include "platform/gfx/fx/rewrites/one_dimensional_lookups.h"

#include <iterator>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {
namespace {

constexpr std::string_view kWritten = "tex";
constexpr std::string_view kHelper = "zlt";

struct Lookup {
    std::string_view name;
    const char* helpers;
};

// The middle of the height: 0.5, and the divisor's share of it for a projected lookup.
const Lookup kLookups[] = {
    {"tex1D", "float4 zlt1D(sampler2D s, float t) { return tex2D(s, float2(t, 0.5)); } "
              "float4 zlt1D(sampler2D s, float2 zl_scalar_t) { return zlt1D(s, zl_scalar_t.x); } "
              "float4 zlt1D(sampler2D s, float t, float x, float y) "
              "{ return tex2Dgrad(s, float2(t, 0.5), float2(x, 0), float2(y, 0)); } "},
    {"tex1Dlod", "float4 zlt1Dlod(sampler2D s, float4 t) { return tex2Dlod(s, float4(t.x, 0.5, 0, t.w)); } "},
    {"tex1Dbias", "float4 zlt1Dbias(sampler2D s, float4 t) { return tex2Dbias(s, float4(t.x, 0.5, 0, t.w)); } "},
    {"tex1Dproj", "float4 zlt1Dproj(sampler2D s, float4 t) { return tex2Dproj(s, float4(t.x, 0.5 * t.w, 0, t.w)); } "},
    {"tex1Dgrad", "float4 zlt1Dgrad(sampler2D s, float t, float x, float y) "
                  "{ return tex2Dgrad(s, float2(t, 0.5), float2(x, 0), float2(y, 0)); } "},
};

} // namespace

std::string RewriteOneDimensionalLookups(std::string& text)
{
    if (text.find("tex1D") == std::string::npos)
        return {};
    const std::vector<Token> tokens = Tokenize(text);
    bool used[std::size(kLookups)] = {};
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Identifier || !tokens[i + 1].Is('(') || !MayNameDeclaration(tokens, i))
            continue;
        for (size_t k = 0; k < std::size(kLookups); ++k) {
            if (tokens[i].text != kLookups[k].name)
                continue;
            text.replace(tokens[i].offset, kHelper.size(), kHelper);
            used[k] = true;
        }
    }
    std::string helpers;
    for (size_t k = 0; k < std::size(kLookups); ++k)
        if (used[k])
            helpers += kLookups[k].helpers;
    return helpers;
}

std::string OneDimensionalLookup(std::string_view helper)
{
    for (const Lookup& lookup : kLookups)
        if (helper.starts_with(kHelper) && helper.substr(kHelper.size()) == lookup.name.substr(kWritten.size()))
            return std::string(lookup.name);
    return {};
}

} // namespace gfx
