// Flat initializer lists of arrays rewritten for the shader compiler, lines
// and columns kept where the list has blanks; and drawn: a flat static, a
// flat local, and a parameter's default and a static that a function with a
// loop computes, which the shaders take folded.
#include "platform/gfx/fx/rewrites/flat_lists.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

TEST(HlslFlatLists, EachElementGetsItsBracesWhereTheItemsSaySo)
{
    const std::pair<std::string, std::string> cases[] = {
        {"static float4 a[2] = { 1, 2, 3, 4, 5, 6, 7, 8 };", "static float4 a[2] = { {1, 2, 3, 4}, {5,6,7,8}};"},
        {"float2 p[] = {\n  -0.5, 0.25,\n  1, 2,\n};\nfloat x;",
         "float2 p[] = {\n {-0.5,0.25},\n {1,2},\n};\nfloat x;"},
        {"static float2x2 m[2] = { 1, 2, 3, 4, 5, 6, 7, 8 };", "static float2x2 m[2] = { {1, 2, 3, 4}, {5,6,7,8}};"},
        {"float3 c[2] = { float2(1, 2), 3, 4, (float2)5 };", "float3 c[2] = { {float2(1, 2),3},{4,(float2)5}};"},
        {"float4 v[2] = { x, y, z, w, 1, 2, 3, 4 };", "float4 v[2] = { {x, y, z, w}, {1,2,3,4}};"},
        // Cramped: the braces push the rest of the line on, the lines stay.
        {"float2 q[2]={1,2,3,4};\nfloat y;", "float2 q[2]={{1,2},{3,4}};\nfloat y;"},
        // Left as written: already in braces, one item per element, sizes
        // the text does not tell, an item across two elements, scalars.
        {"float4 a[2] = { {1, 2, 3, 4}, float4(5, 6, 7, 8) };", ""},
        {"float4 a[2] = { u, v };", ""},
        {"float4 a[2] = { u, v, 1, 2, 3 };", ""},
        {"float4 a[2] = { 1, 2, 3, float2(4, 5), 6, 7, 8 };", ""},
        {"float a[4] = { 1, 2, 3, 4 };", ""},
        {"float4 a[2] = { 1, 2, 3, 4 };", ""},
    };
    for (const auto& [text, expected] : cases) {
        std::string rewritten = text;
        gfx::RewriteFlatLists(rewritten);
        EXPECT_EQ(rewritten, expected.empty() ? text : expected) << text;
        if (expected.empty() || text.find("q[2]") != std::string::npos)
            continue;
        // Every line keeps its length, so what follows keeps its column.
        size_t a = 0, b = 0;
        while (a != std::string::npos) {
            const size_t endA = text.find('\n', a), endB = rewritten.find('\n', b);
            EXPECT_EQ(endA == std::string::npos ? text.size() - a : endA - a,
                      endB == std::string::npos ? rewritten.size() - b : endB - b)
                << text;
            a = endA == std::string::npos ? endA : endA + 1;
            b = endB == std::string::npos ? endB : endB + 1;
        }
    }
}

class GfxFlatLists : public gfx_test::RasterTest {};

TEST_F(GfxFlatLists, FlatListsAndComputedConstantsDrawTheirValues)
{
    UseEffect(R"(
static const float4 Table[3] = { 0.25, 0.5, 0.75, 1,   0, 0.125, 0.25, 0.375,   1, 1, 1, 1 };
float Eighths(int n) { float s = 0; for (int i = 0; i < n; i++) { if (i == 2) continue; s += 0.125; } return s; }
float Weight = Eighths(5);
static const float Quarter = Eighths(3) * Table[0].x * 4;
struct Through { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Through VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Through o; o.pos = p; o.uv = uv; return o; }
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float2 local[2] = { 0.25, 0.5, 0.75, 1 };
    return float4(Quarter, local[0].y, Weight + Table[1].z, 1);
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    if (HasFatalFailure())
        return;
    float weight = 0;
    ASSERT_EQ(gfx::kEffectOk, effect->GetFloat("Weight", weight));
    EXPECT_EQ(weight, 0.5f); // four eighths: the third round goes on without adding
    DrawWhole("T");
    ExpectEveryPixel([](uint32_t, uint32_t) { return gfx_test::Argb(0.25, 0.5, 0.75); }, 1, false);
}

} // namespace
