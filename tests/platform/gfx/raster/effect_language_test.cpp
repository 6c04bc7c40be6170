// Effects written in the forms of the language that other authors use, drawn:
// each colour comes out as the effect computes it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

using gfx::kEffectOk;
using gfx_test::Channel;

class GfxLanguage : public gfx_test::RasterTest {
protected:
    // Draws a quad over the whole target with `technique` of `source`.
    void Draw(const std::string& source, const std::string& technique = "T")
    {
        UseEffect(source);
        if (HasFatalFailure())
            return;
        ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0));
        SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
        DrawWith(technique);
    }
    void ExpectColour(uint32_t x, uint32_t y, int r, int g, int b)
    {
        const uint32_t p = Pixel(x, y);
        EXPECT_NEAR(Channel(p, 16), r, 1) << std::hex << p;
        EXPECT_NEAR(Channel(p, 8), g, 1) << std::hex << p;
        EXPECT_NEAR(Channel(p, 0), b, 1) << std::hex << p;
    }
};

const char* kVertex = R"(
struct Through { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Through VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Through o; o.pos = p; o.uv = uv; return o; }
)";

TEST_F(GfxLanguage, AConstantComputedFromConstantsColoursThePixels)
{
    // 0.25, 0.5 and 0.75 each reached through earlier constants, a function,
    // an intrinsic, a swizzle and the comma.
    Draw(std::string(kVertex) + R"(
static const float PI = 3.14159265;
static const float HalfPI = PI * 0.5;
static const float3 W = float3(0.75, 0.5, 0.25);
static const int N = 4;
float Quarter() { return 1.0 / N; }
uniform float Half = sin(HalfPI) * 0.5;
float2 Pair = (0, 0.75);
float Weights[N] = {0, 0, 0, 0};
float4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(Quarter() + Weights[1], Half, Pair.y, 1); }
float4 PS2(float2 uv : TEXCOORD0) : COLOR { return float4(W.bgr, 1); }
Technique T < int L = N + 1; int D[] = {1, 2}; > { Pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
technique U { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS2(); } }
)");
    ExpectColour(16, 16, 64, 128, 191);
    ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0));
    DrawWith("U");
    ExpectColour(16, 16, 64, 128, 191);
}

TEST_F(GfxLanguage, AStaticComputedFromAParameterFollowsIt)
{
    Draw(std::string(kVertex) + R"(
float4 Tint = float4(0.25, 0.5, 0.75, 1);
static float S = Tint.a;
float4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(Tint.rgb * S, 1); }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ExpectColour(16, 16, 64, 128, 191);
    const float tint[4] = {1, 1, 1, 0.5f};
    ASSERT_EQ(kEffectOk, effect->SetVector("Tint", tint));
    ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0));
    DrawWith("T");
    ExpectColour(16, 16, 128, 128, 128);
}

TEST_F(GfxLanguage, StructsTypedefsAndConstantBuffersDeclareParameters)
{
    Draw(std::string(kVertex) + R"(
typedef float4 Colour;
typedef int Mode;
cbuffer Settings { Colour Base = float4(0.25, 0, 0, 1); Mode Doubled = 2; }
struct Extra { float4 m; } E;
struct { float4 n; } F;
float4 PS(float2 uv : TEXCOORD0) : COLOR { return Base * Doubled + E.m + F.n; }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ExpectColour(16, 16, 128, 0, 0);
    const float blue[4] = {0, 0, 0.5f, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("Base", blue));
    ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0));
    DrawWith("T");
    ExpectColour(16, 16, 0, 0, 255);
}

TEST_F(GfxLanguage, TextureParametersDefaultUniformsAndThePixelPosition)
{
    Draw(std::string(kVertex) + R"(
texture Tex;
sampler Smp = sampler_state { Texture = <Tex>; };
float4 Fetch(uniform texture t, uniform sampler s, float2 uv) { return tex2D(s, uv) * 0 + float4(0, 0.5, 0, 1); }
float4 PS(float2 uv : TEXCOORD0, float4 at : SV_Position, uniform float r, uniform bool blue = true) : COLOR
{
    return Fetch(Tex, Smp, uv) + float4(r, 0, blue ? 0.25 : 0, 0) + (at.x < 1 ? 1 : 0);
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(0.25); } }
)");
    ExpectColour(16, 16, 64, 128, 64);
    ExpectColour(0, 16, 255, 255, 255); // the first column: its position is 0
}

TEST_F(GfxLanguage, ElementsOfATextureArrayAreSetByNameAndDrawnWhereSamplersAndPassesNameThem)
{
    UseEffect(std::string(gfx_test::kPassOn) + R"(
texture Maps[3];
sampler2D Second = sampler_state { Texture = <Maps[1]>; MinFilter = Point; MagFilter = Point; };
sampler2D Unit : register(s0);
float4 FromSecond(float2 uv : TEXCOORD0) : COLOR { return tex2D(Second, uv); }
float4 FromUnit(float2 uv : TEXCOORD0) : COLOR { return tex2D(Unit, uv); }
PASS(second, FromSecond)
technique last { pass p { Texture[0] = <Maps[1 + 1]>; PixelShader = compile ps_3_0 FromUnit(); } }
)");
    if (HasFatalFailure())
        return;
    const uint32_t colours[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (int k = 0; k < 3; ++k)
        ASSERT_EQ(kEffectOk, effect->SetTexture("Maps[" + std::to_string(k) + "]", MakeRow({colours[k]})));
    DrawWhole("second");
    ExpectEveryPixel([&](uint32_t, uint32_t) { return colours[1]; }, 0);
    DrawWhole("last");
    ExpectEveryPixel([&](uint32_t, uint32_t) { return colours[2]; }, 0);
}

TEST_F(GfxLanguage, APositionInAStructSharedByBothStagesGoesUnread)
{
    Draw(R"(
struct Shared { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
Shared VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Shared o; o.pos = p; o.uv = uv * 0 + float2(0.25, 0.5); return o; }
float4 PS(Shared i) : COLOR { return float4(i.uv, 0.75, 1); }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ExpectColour(16, 16, 64, 128, 191);
}

TEST_F(GfxLanguage, CastsToArrayTypesTakeTheValueApart)
{
    Draw(std::string(kVertex) + R"(
float4 V = float4(0.25, 0.5, 0.75, 1);
static const int C[2] = (int[2])float2(1.9, 0);
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float a[4] = (float[4])V;
    int b[2] = (int [2])float2(1.5, 2.5);
    float2 c[2] = (float2[2])(float[4])-V;
    return float4(a[0], a[1] * C[0], a[2] * (b[1] - 1), 1) + c[1].y + 1;
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    ExpectColour(16, 16, 64, 128, 191);
}

TEST_F(GfxLanguage, AVectorGivenForAScalarParameterGivesItsFirstComponent)
{
    UseEffect(gfx_test::kPointSampled + R"(
float srgb_decode(float v) { return v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4); }
float2 r2d(float2 v, float a) { float c = cos(a), s = sin(a); return float2(c * v.x - s * v.y, s * v.x + c * v.y); }
float4 Decoded(float2 uv : TEXCOORD0) : COLOR
{
    float2 an = uv * 3.0;
    float sz = 4;
    float2 dx = float2(0.5, 0);
    return float4(srgb_decode(tex2Dlod(PictureSampler, float4(uv, 0, 0))), r2d(dx, floor(an * sz + .5) / sz) + 0.5, 1);
}
PASS(decoded, Decoded)
)");
    if (HasFatalFailure())
        return;
    // Red and green differ in every texel: the red one is the first component.
    const auto texel = [](uint32_t x, uint32_t y) { return gfx_test::Argb(x / 3.0, 1 - y / 3.0, 0.5); };
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", MakeTexture(4, 4, texel)));
    DrawWhole("decoded");
    ExpectEveryPixel([&](uint32_t x, uint32_t y) {
        const double v = Channel(texel(x / 8, y / 8), 16) / 255.0;
        const double red = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        // The angle from the first component only, in steps of a quarter.
        const double a = std::floor((x + 0.5) / kWidth * 3.0 * 4 + 0.5) / 4;
        return gfx_test::Argb(red, 0.5 * std::cos(a) + 0.5, 0.5 * std::sin(a) + 0.5);
    });
}

TEST_F(GfxLanguage, AConstructorAsTheTargetOfAnAssignmentSetsItsVariablesInOrder)
{
    UseEffect(std::string(gfx_test::kPassOn) + R"(
float2 Dimensions = float2(96, 64);
float4 Steps(float2 texCoord : TEXCOORD0) : COLOR
{
    float2 fTexCoordsPerSize = texCoord * Dimensions;
    float2 dxSize, dx, dySize, dy;
    float4(dxSize, dx) = ddx(float4(fTexCoordsPerSize, texCoord));
    float4(dySize, dy) = ddy(float4(fTexCoordsPerSize, texCoord));
    float first; float3 rest;
    if (dx.x > 0) float4(first, rest) = float4(0.25, dySize, 1);
    return float4(dxSize.x / 4 + dx.y + dy.x, dx.x * 16, rest.y / 8 + dxSize.y, 1) * first * 4 * rest.z;
}
PASS(steps, Steps)
float4 Nested(float2 uv : TEXCOORD0) : COLOR
{
    float a, b, c, d, f;
    float2 e;
    float4(float3(float2(a, b), c), d) = float4(uv, 1 - uv.x, 0.5);
    float3(f, float2(e)) = float3(d, uv.yx);
    return float4(a, (b + e.x) / 2, c * f * 2, 1);
}
PASS(nested, Nested)
)");
    if (HasFatalFailure())
        return;
    // Over a pixel the coordinates step by a 32nd: the sizes by 3 across, 2 down.
    DrawWhole("steps");
    ExpectEveryPixel([](uint32_t, uint32_t) { return gfx_test::Argb(0.75, 0.5, 0.25); });
    // Constructors within the target take their variables in place.
    DrawWhole("nested");
    ExpectEveryPixel([](uint32_t x, uint32_t y) {
        const double u = (x + 0.5) / kWidth, v = (y + 0.5) / kHeight;
        return gfx_test::Argb(u, v, 1 - u);
    });
}

} // namespace
