// The one reader of a function's head that the shader text, the entry points
// and the evaluator share, and the one table of modifiers it reads by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/fx/syntax/function_head.h"
#include "platform/gfx/fx/syntax/hlsl_modifiers.h"

using namespace gfx;

namespace {

std::string Text(const std::vector<Token>& tokens, size_t first, size_t last)
{
    std::string out;
    for (size_t i = first; i < last && i < tokens.size(); ++i)
        out += (out.empty() ? "" : " ") + std::string(tokens[i].text);
    return out;
}

TEST(FxFunctionHead, EachPartOfAHeadIsFoundWhereItIsWritten)
{
    const std::string text = "static inline vector<float, 3> F(in float a, out float2 b[2] : TEXCOORD1, "
                             "uniform nointerpolation float4x4 m = float4x4(f(1, 2), 0), inout int c) : COLOR0 { }";
    const std::vector<Token> tokens = Tokenize(text);
    FunctionHead head;
    ASSERT_TRUE(ReadFunctionHead(tokens, 0, head));
    EXPECT_EQ(Text(tokens, head.typeBegin, head.typeEnd), "vector < float , 3 >");
    EXPECT_EQ(tokens[head.name].text, "F");
    EXPECT_EQ(tokens[head.semantic].text, "COLOR0");
    ASSERT_EQ(head.parameters.size(), 4u);
    const struct {
        const char* type;
        const char* name;
        HlslDirection direction;
        const char* semantic;
        const char* initial;
        bool array, uniform, flat;
    } expected[] = {
        {"float", "a", HlslDirection::In, "", "", false, false, false},
        {"float2", "b", HlslDirection::Out, "TEXCOORD1", "", true, false, false},
        {"float4x4", "m", HlslDirection::Unsaid, "", "float4x4 ( f ( 1 , 2 ) , 0 )", false, true, true},
        {"int", "c", HlslDirection::InOut, "", "", false, false, false},
    };
    for (size_t k = 0; k < 4; ++k) {
        const FunctionParameter& p = head.parameters[k];
        EXPECT_EQ(Text(tokens, p.typeBegin, p.typeEnd), expected[k].type) << k;
        EXPECT_EQ(tokens[p.name].text, expected[k].name) << k;
        EXPECT_EQ(p.direction, expected[k].direction) << k;
        EXPECT_EQ(p.semantic == FunctionParameter::kNone ? "" : std::string(tokens[p.semantic].text),
                  expected[k].semantic) << k;
        EXPECT_EQ(p.defaultBegin == FunctionParameter::kNone ? "" : Text(tokens, p.defaultBegin, p.last),
                  expected[k].initial) << k;
        EXPECT_EQ(p.arrayOpen != FunctionParameter::kNone, expected[k].array) << k;
        EXPECT_EQ(p.uniform, expected[k].uniform) << k;
        EXPECT_EQ(p.flat, expected[k].flat) << k;
    }
    // Not a head: no list after a name, or one never closed.
    for (const char* other : {"float4 x = 1;", "float4 F(float a", "static const"}) {
        const std::vector<Token> t = Tokenize(other);
        EXPECT_FALSE(ReadFunctionHead(t, 0, head)) << other;
    }
}

TEST(FxHlslModifiers, EachModifierStandsWhereHlslTakesIt)
{
    EXPECT_TRUE(IsHlslModifier("static", kModifiesGlobal));
    EXPECT_TRUE(IsHlslModifier("static", kModifiesLocal));
    EXPECT_FALSE(IsHlslModifier("static", kModifiesParameter));
    EXPECT_TRUE(IsHlslModifier("inout", kModifiesParameter));
    EXPECT_FALSE(IsHlslModifier("inout", kModifiesGlobal));
    EXPECT_TRUE(IsHlslModifier("centroid", kModifiesMember));
    EXPECT_FALSE(IsHlslModifier("Static", kModifiesGlobal)); // HLSL's words have one letter case
    EXPECT_FALSE(IsHlslModifier("float", kModifiesGlobal | kModifiesParameter));
}

} // namespace
