#include "platform/gfx/fx/rewrites/folded_statics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

namespace gfx {
namespace {

std::string Component(double v, ValueBase base)
{
    char text[48];
    switch (base) {
    case ValueBase::Bool: return v != 0 ? "true" : "false";
    case ValueBase::Int: std::snprintf(text, sizeof text, "%d", static_cast<int>(v)); return text;
    case ValueBase::Uint: std::snprintf(text, sizeof text, "%uu", static_cast<unsigned>(v)); return text;
    case ValueBase::Float: break;
    }
    const float f = static_cast<float>(v);
    if (!std::isfinite(f)) {
        std::snprintf(text, sizeof text, "asfloat(0x%08xu)", std::bit_cast<uint32_t>(f));
        return text;
    }
    // Nine digits give every float back.
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
    return text;
}

} // namespace

std::string HlslValueText(const ExpressionValue& value)
{
    ValueShape element = value.shape;
    element.arraySize = 0;
    const uint32_t per = element.ElementComponents();
    std::string out = value.shape.arraySize != 0 ? "{" : "";
    for (uint32_t e = 0; e < value.shape.Elements(); ++e) {
        out += e ? ", " : "";
        if (per > 1)
            out += ShapeName(element) + "(";
        for (uint32_t k = 0; k < per; ++k)
            out += (k ? ", " : "") + Component(value.components[size_t(e) * per + k], value.shape.base);
        if (per > 1)
            out += ")";
    }
    return out + (value.shape.arraySize != 0 ? "}" : "");
}

void WriteFoldedInitializers(std::string& text, const std::vector<FoldedInitializer>& folded)
{
    if (folded.empty())
        return;
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    for (const FoldedInitializer& f : folded) {
        if (f.begin < at || f.end > text.size() || f.end < f.begin)
            continue;
        out.append(text, at, f.begin - at);
        out += HlslValueText(f.value);
        // The lines it spanned stay lines.
        out.append(static_cast<size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(f.begin),
                                                  text.begin() + static_cast<std::ptrdiff_t>(f.end), '\n')),
                   '\n');
        at = f.end;
    }
    out.append(text, at, std::string::npos);
    text = std::move(out);
}

} // namespace gfx
