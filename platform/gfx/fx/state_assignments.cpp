#include "platform/gfx/fx/state_assignments.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/gfx/device/render_state.h"

namespace gfx {

namespace {

struct Name {
    std::string_view name;
    uint32_t value;
};

enum class Values { Bool, Number, Compare, Blend, BlendOp, Cull, Fill, StencilOp };

struct StateName {
    std::string_view name;
    uint32_t state;
    Values values;
};

constexpr StateName kStates[] = {
    {"zenable", kRsZEnable, Values::Bool},
    {"zwriteenable", kRsZWriteEnable, Values::Bool},
    {"zfunc", kRsZFunc, Values::Compare},
    {"fillmode", kRsFillMode, Values::Fill},
    {"cullmode", kRsCullMode, Values::Cull},
    {"alphablendenable", kRsAlphaBlendEnable, Values::Bool},
    {"srcblend", kRsSrcBlend, Values::Blend},
    {"destblend", kRsDestBlend, Values::Blend},
    {"blendop", kRsBlendOp, Values::BlendOp},
    {"separatealphablendenable", kRsSeparateAlphaBlendEnable, Values::Bool},
    {"srcblendalpha", kRsSrcBlendAlpha, Values::Blend},
    {"destblendalpha", kRsDestBlendAlpha, Values::Blend},
    {"blendopalpha", kRsBlendOpAlpha, Values::BlendOp},
    {"alphatestenable", kRsAlphaTestEnable, Values::Bool},
    {"alpharef", kRsAlphaRef, Values::Number},
    {"alphafunc", kRsAlphaFunc, Values::Compare},
    {"colorwriteenable", kRsColorWriteEnable, Values::Number},
    {"stencilenable", kRsStencilEnable, Values::Bool},
    {"stencilfail", kRsStencilFail, Values::StencilOp},
    {"stencilzfail", kRsStencilZFail, Values::StencilOp},
    {"stencilpass", kRsStencilPass, Values::StencilOp},
    {"stencilfunc", kRsStencilFunc, Values::Compare},
    {"stencilref", kRsStencilRef, Values::Number},
    {"stencilmask", kRsStencilMask, Values::Number},
    {"stencilwritemask", kRsStencilWriteMask, Values::Number},
    {"twosidedstencilmode", kRsTwoSidedStencilMode, Values::Bool},
    {"ccwstencilfail", kRsCcwStencilFail, Values::StencilOp},
    {"ccwstencilzfail", kRsCcwStencilZFail, Values::StencilOp},
    {"ccwstencilpass", kRsCcwStencilPass, Values::StencilOp},
    {"ccwstencilfunc", kRsCcwStencilFunc, Values::Compare},
    {"scissortestenable", kRsScissorTestEnable, Values::Bool},
    {"depthbias", kRsDepthBias, Values::Number},
    {"slopescaledepthbias", kRsSlopeScaleDepthBias, Values::Number},
    {"blendfactor", kRsBlendFactor, Values::Number},
};

constexpr Name kCompare[] = {{"never", 1}, {"less", 2}, {"equal", 3}, {"lessequal", 4},
                             {"greater", 5}, {"notequal", 6}, {"greaterequal", 7}, {"always", 8}};
constexpr Name kBlend[] = {{"zero", 1}, {"one", 2}, {"srccolor", 3}, {"invsrccolor", 4}, {"srcalpha", 5},
                           {"invsrcalpha", 6}, {"destalpha", 7}, {"invdestalpha", 8}, {"destcolor", 9},
                           {"invdestcolor", 10}, {"srcalphasat", 11}, {"blendfactor", 14}, {"invblendfactor", 15}};
constexpr Name kBlendOp[] = {{"add", 1}, {"subtract", 2}, {"revsubtract", 3}, {"min", 4}, {"max", 5}};
constexpr Name kCull[] = {{"none", 1}, {"cw", 2}, {"ccw", 3}};
constexpr Name kFill[] = {{"point", 1}, {"wireframe", 2}, {"solid", 3}};
constexpr Name kStencilOp[] = {{"keep", 1}, {"zero", 2}, {"replace", 3}, {"incrsat", 4},
                               {"decrsat", 5}, {"invert", 6}, {"incr", 7}, {"decr", 8}};
constexpr Name kFilter[] = {{"none", 0}, {"point", 1}, {"linear", 2}, {"anisotropic", 3}};
constexpr Name kAddress[] = {{"wrap", 1}, {"mirror", 2}, {"clamp", 3}, {"border", 4}, {"mirroronce", 5}};

std::string Lower(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

std::optional<double> Number(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    double value = 0;
    if (text.size() > 2 && text[0] == '0' && text[1] == 'x')
        value = static_cast<double>(std::strtoull(text.c_str() + 2, &end, 16));
    else
        value = std::strtod(text.c_str(), &end);
    while (end && (*end == 'f' || *end == 'u' || *end == 'l'))
        ++end;
    if (end == nullptr || *end != '\0')
        return std::nullopt;
    return value;
}

template <size_t N>
std::optional<uint32_t> Lookup(const Name (&table)[N], const std::string& value)
{
    for (const Name& n : table)
        if (n.name == value)
            return n.value;
    if (auto number = Number(value); number && *number >= 0)
        return static_cast<uint32_t>(*number);
    return std::nullopt;
}

std::optional<uint32_t> Value(Values kind, const std::string& v)
{
    switch (kind) {
    case Values::Bool:
        if (v == "true")
            return 1u;
        if (v == "false")
            return 0u;
        break;
    case Values::Number: break;
    case Values::Compare: return Lookup(kCompare, v);
    case Values::Blend: return Lookup(kBlend, v);
    case Values::BlendOp: return Lookup(kBlendOp, v);
    case Values::Cull: return Lookup(kCull, v);
    case Values::Fill: return Lookup(kFill, v);
    case Values::StencilOp: return Lookup(kStencilOp, v);
    }
    if (auto number = Number(v); number && *number >= 0 && *number <= 4294967295.0)
        return static_cast<uint32_t>(*number);
    return std::nullopt;
}

} // namespace

std::optional<std::pair<uint32_t, uint32_t>> RenderStateAssignment(const EffectState& state)
{
    const std::string name = Lower(state.name);
    for (const StateName& s : kStates) {
        if (s.name != name)
            continue;
        if (auto value = Value(s.values, Lower(state.value)))
            return std::make_pair(s.state, *value);
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::pair<uint32_t, uint32_t>> PassRenderStates(const EffectPass& pass)
{
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const EffectState& state : pass.states)
        if (auto assignment = RenderStateAssignment(state))
            out.push_back(*assignment);
    return out;
}

SamplerSettings SamplerStateSettings(const std::vector<EffectState>& states)
{
    SamplerSettings s;
    for (const EffectState& state : states) {
        const std::string name = Lower(state.name);
        const std::string value = Lower(state.value);
        auto set = [&](uint32_t& field, std::optional<uint32_t> v) {
            if (v)
                field = *v;
        };
        if (name == "minfilter")
            set(s.minFilter, Lookup(kFilter, value));
        else if (name == "magfilter")
            set(s.magFilter, Lookup(kFilter, value));
        else if (name == "mipfilter")
            set(s.mipFilter, Lookup(kFilter, value));
        else if (name == "addressu")
            set(s.addressU, Lookup(kAddress, value));
        else if (name == "addressv")
            set(s.addressV, Lookup(kAddress, value));
        else if (name == "addressw")
            set(s.addressW, Lookup(kAddress, value));
        else if (name == "bordercolor")
            set(s.borderColour, Value(Values::Number, value));
        else if (name == "maxanisotropy")
            set(s.maxAnisotropy, Value(Values::Number, value));
        else if (name == "maxmiplevel")
            set(s.maxMipLevel, Value(Values::Number, value));
        else if (name == "mipmaplodbias")
            if (auto number = Number(value))
                s.mipLodBias = static_cast<float>(*number);
    }
    return s;
}

} // namespace gfx
