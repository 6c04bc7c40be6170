// Folded values written as HLSL exactly, and in place of the initializers
// they stand for, lines kept.
#include "platform/gfx/fx/rewrites/folded_statics.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using gfx::ExpressionValue;
using gfx::ValueBase;

ExpressionValue Make(ValueBase base, uint8_t rows, uint8_t columns, bool matrix, uint32_t array,
                     std::vector<double> components)
{
    ExpressionValue v;
    v.shape = {base, rows, columns, matrix, array};
    v.components = std::move(components);
    return v;
}

TEST(HlslFoldedStatics, ValuesAreWrittenExactly)
{
    const float third = 1.0f / 3.0f;
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<ExpressionValue, std::string> cases[] = {
        {Make(ValueBase::Float, 1, 1, false, 0, {0.5}), "0.5"},
        {Make(ValueBase::Float, 1, 1, false, 0, {third}), "0.333333343"},
        {Make(ValueBase::Float, 1, 2, false, 0, {infinity, -infinity}), "float2(asfloat(0x7f800000u), asfloat(0xff800000u))"},
        {Make(ValueBase::Int, 1, 1, false, 0, {-3}), "-3"},
        {Make(ValueBase::Uint, 1, 1, false, 0, {4294967295.0}), "4294967295u"},
        {Make(ValueBase::Bool, 1, 2, false, 0, {1, 0}), "bool2(true, false)"},
        {Make(ValueBase::Float, 2, 2, true, 0, {1, 2, 3, 4}), "float2x2(1, 2, 3, 4)"},
        {Make(ValueBase::Float, 1, 2, false, 2, {1, 2, 3, 4}), "{float2(1, 2), float2(3, 4)}"},
        {Make(ValueBase::Int, 1, 1, false, 3, {1, 2, 3}), "{1, 2, 3}"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(gfx::HlslValueText(value), text);
    // Read back as a float, the text gives the same bits.
    EXPECT_EQ(std::stof(gfx::HlslValueText(cases[1].first)), third);
}

TEST(HlslFoldedStatics, InitializersAreReplacedWithTheirLinesKept)
{
    std::string text = "static const float a = f(1);\nstatic const float2 b = g(2,\n  3);\nfloat c;\n";
    const size_t a = text.find("f(1)"), b = text.find("g(2");
    gfx::WriteFoldedInitializers(
        text, {{a, a + 4, Make(ValueBase::Float, 1, 1, false, 0, {0.25})},
               {b, text.find("3)") + 2, Make(ValueBase::Float, 1, 2, false, 0, {1, 2})}});
    EXPECT_EQ(text, "static const float a = 0.25;\nstatic const float2 b = float2(1, 2)\n;\nfloat c;\n");
}

} // namespace
