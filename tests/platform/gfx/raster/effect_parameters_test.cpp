// Parameters declared the ways other authors declare them, drawn: every global
// that is not static is set by the program and reaches the shaders, and every
// pixel comes out as the CPU computes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gfx/device/format.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

using gfx::kEffectNotFound;
using gfx::kEffectOk;
using gfx_test::Argb;

// Pixel centres meet texture coordinates (x + 0.5) / 32 over a quad of the whole target.
float Centre(uint32_t x) { return (float(x) + 0.5f) / 32.0f; }

// A pass-through vertex stage before `declarations` (which define PS), and
// technique T of the two, its pass setting `states` first.
std::string Effect(const std::string& declarations, const std::string& states = "")
{
    return gfx_test::kPassOn + declarations + "\ntechnique T { pass p { " + states +
           " VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 PS(); } }\n";
}

using GfxParameters = gfx_test::RasterTest;

TEST_F(GfxParameters, AGlobalThatIsNotStaticIsSetByTheProgramWhateverElseItIsDeclared)
{
    const struct {
        const char* declaration;
        bool hasDefault; // (0.25, 0.5, 0.75)
        bool set;        // by the program; a static const stays a constant of the shaders
    } cases[] = {
        {"const float4 Tint;", false, true},
        {"uniform const float4 Tint;", false, true},
        {"const uniform float4 Tint = float4(0.25, 0.5, 0.75, 1);", true, true},
        {"extern const float4 Tint = {0.25, 0.5, 0.75, 1};", true, true},
        {"shared float4 Tint;", false, true},
        {"typedef const float4 Colour; Colour Tint;", false, true},
        {"cbuffer Settings { const float4 Tint = float4(0.25, 0.5, 0.75, 1); }", true, true},
        {"const float4 Other = 1, Tint = float4(0.25, 0.5, 0.75, 1);", true, true},
        {"static const float4 Tint = float4(0.25, 0.5, 0.75, 1);", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.declaration);
        UseEffect(Effect(std::string(c.declaration) +
                         "\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(Tint.rgb * uv.x, 1); }"));
        if (HasFatalFailure())
            return;
        const float given = c.hasDefault ? 1.0f : 0.0f;
        const auto expectDefault = [&] {
            ExpectEveryPixel([&](uint32_t x, uint32_t) {
                return Argb(0.25f * given * Centre(x), 0.5f * given * Centre(x), 0.75f * given * Centre(x));
            });
        };
        DrawWhole("T");
        expectDefault();
        const float tint[4] = {1.0f, 0.5f, 0.25f, 1.0f};
        ASSERT_EQ(c.set ? kEffectOk : kEffectNotFound, effect->SetVector("Tint", tint));
        DrawWhole("T");
        if (c.set)
            ExpectEveryPixel([&](uint32_t x, uint32_t) { return Argb(Centre(x), 0.5f * Centre(x), 0.25f * Centre(x)); });
        else
            expectDefault();
    }
}

TEST_F(GfxParameters, ABlurWhoseStepAndKernelAreConstGlobalsBlursThePicture)
{
    auto texel = [](uint32_t x, uint32_t y) {
        return std::array<int, 3>{int((x * 37 + y * 11) % 256), int((x * x + 3 * y) % 256), (x + y) % 3 == 0 ? 255 : 0};
    };
    gfx::Texture* picture = MakeTexture(kWidth, kHeight, [&](uint32_t x, uint32_t y) {
        const auto t = texel(x, y);
        return 0xFF000000u | uint32_t(t[0]) << 16 | uint32_t(t[1]) << 8 | uint32_t(t[2]);
    });
    UseEffect(Effect(R"(
texture Picture;
sampler Source = sampler_state { Texture = <Picture>; MinFilter = Point; MagFilter = Point; AddressU = Clamp; AddressV = Clamp; };
const float2 TexelStep;
const float Weights[3] = {0.25, 0.5, 0.25};
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float4 sum = 0;
    for (int i = 0; i < 3; ++i)
        sum += Weights[i] * tex2D(Source, uv + (i - 1) * TexelStep);
    return sum;
})"));
    if (HasFatalFailure())
        return;
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", picture));
    const float step[2] = {1.0f / kWidth, 0.0f};
    ASSERT_EQ(kEffectOk, effect->SetFloatArray("TexelStep", step, 2));
    DrawWhole("T");
    ExpectEveryPixel([&](uint32_t x, uint32_t y) {
        const auto left = texel(x == 0 ? 0 : x - 1, y), centre = texel(x, y), right = texel(std::min(x + 1, kWidth - 1), y);
        float rgb[3];
        for (int k = 0; k < 3; ++k)
            rgb[k] = (0.25f * left[k] + 0.5f * centre[k] + 0.25f * right[k]) / 255.0f;
        return Argb(rgb[0], rgb[1], rgb[2]);
    });
}

TEST_F(GfxParameters, AConstMatrixPlacesTheGeometry)
{
    for (const char* declaration : {"const float4x4 WorldViewProj;", "row_major const float4x4 WorldViewProj;",
                                    "const column_major float4x4 WorldViewProj;"}) {
        SCOPED_TRACE(declaration);
        UseEffect(std::string(declaration) + R"(
struct Out { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Out VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Out o; o.pos = mul(p, WorldViewProj); o.uv = uv; return o; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(0, 1, 0, 1); }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
        if (HasFatalFailure())
            return;
        // Half the size, moved a quarter of the target right: the rectangle
        // drawn through it lands on pixels 16..31 by 8..23.
        const float matrix[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0, 1};
        ASSERT_EQ(kEffectOk, effect->SetMatrix("WorldViewProj", matrix));
        std::vector<gfx_test::Vertex> corners = Rectangle(16, 8, 32, 24);
        for (gfx_test::Vertex& v : corners) {
            v.x = (v.x - 0.5f) / 0.5f;
            v.y = v.y / 0.5f;
        }
        Clear();
        SetGeometry(corners, RectangleIndices());
        DrawWith("T");
        ExpectRectangle(16, 8, 32, 24, 0xFF00FF00u);
    }
}

const char* kLitQuad = R"(
struct Light { float3 direction; float4 colour; float ambient; };
Light light = { float3(0, 0, 1), float4(1, 1, 1, 1), 0.25 };
// A bump over the quad: its normal leans with the texture coordinates.
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float3 n = normalize(float3(uv * 2 - 1, 1));
    float lit = saturate(dot(n, -light.direction));
    return float4(light.colour.rgb * (light.ambient + lit * (1 - light.ambient)), 1);
})";

// The bump of kLitQuad under a light of `direction`, `colour` and `ambient`.
std::function<uint32_t(uint32_t, uint32_t)> LitQuad(std::array<float, 3> direction, std::array<float, 3> colour,
                                                    float ambient)
{
    return [=](uint32_t x, uint32_t y) {
        const float n[3] = {Centre(x) * 2 - 1, Centre(y) * 2 - 1, 1};
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const float lit = std::clamp(-(n[0] * direction[0] + n[1] * direction[1] + n[2] * direction[2]) / length, 0.0f, 1.0f);
        const float k = ambient + lit * (1 - ambient);
        return Argb(colour[0] * k, colour[1] * k, colour[2] * k);
    };
}

TEST_F(GfxParameters, AShaderIsLitThroughALightStructSetByMemberNameAndFromItsInitialValue)
{
    UseEffect(Effect(kLitQuad));
    if (HasFatalFailure())
        return;
    // Its initial value first: a white light from behind, the ambient alone.
    DrawWhole("T");
    ExpectEveryPixel(LitQuad({0, 0, 1}, {1, 1, 1}, 0.25f), 1, false);

    const float direction[4] = {0.6f, -0.48f, -0.64f, 0};
    const float colour[4] = {1.0f, 0.75f, 0.5f, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("light.direction", direction));
    ASSERT_EQ(kEffectOk, effect->SetVector("light.colour", colour));
    ASSERT_EQ(kEffectOk, effect->SetFloat("light.ambient", 0.1f));
    DrawWhole("T");
    ExpectEveryPixel(LitQuad({0.6f, -0.48f, -0.64f}, {1.0f, 0.75f, 0.5f}, 0.1f), 1, false);

    // Whole, as the platform packs it.
    const float packed[8] = {0, 0, -1, 0.5f, 0.5f, 0.25f, 1, 0.5f};
    ASSERT_EQ(kEffectOk, effect->SetValue("light", packed, sizeof packed));
    DrawWhole("T");
    ExpectEveryPixel(LitQuad({0, 0, -1}, {0.5f, 0.5f, 0.25f}, 0.5f), 1, false);
}

TEST_F(GfxParameters, AStructsInitialValueMayBeACastOfOneNumber)
{
    std::string source = Effect(kLitQuad);
    const std::string list = "Light light = { float3(0, 0, 1), float4(1, 1, 1, 1), 0.25 };";
    source.replace(source.find(list), list.size(), "Light light = (Light)-0.5;");
    UseEffect(source);
    if (HasFatalFailure())
        return;
    // Every value -0.5: black; a white colour then shows the light, its ambient below zero.
    DrawWhole("T");
    ExpectEveryPixel(LitQuad({-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f}, -0.5f), 1, false);
    const float white[4] = {1, 1, 1, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("light.colour", white));
    DrawWhole("T");
    ExpectEveryPixel(LitQuad({-0.5f, -0.5f, -0.5f}, {1, 1, 1}, -0.5f), 1, false);
}

TEST_F(GfxParameters, AnArrayOfStructsReachesTheShaderElementByElement)
{
    // Spots over the target, each a struct with an array, a bool and a matrix
    // among its members, so that each lies where the compiler packs it.
    UseEffect(Effect(R"(
struct Falloff { float radius; float2 centre; };
struct Spot { float3 colour; bool on; Falloff falloff[2]; float2x2 squash; int weight; };
Spot spots[3] = {
    {1, 0, 0, true, {0.25, 0.25, 0.25, 1, 1, 1}, 1, 0, 0, 1, 1},
    {0, 1, 0, true, {0.5, 0.75, 0.75, 0, 0, 0}, 1, 0, 0, 1, 1},
    {0, 0, 1, false, {0.5, 0.5, 0.5, 0, 0, 0}, 1, 0, 0, 1, 1},
};
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float3 sum = 0;
    for (int i = 0; i < 3; ++i) {
        float2 d = mul(uv - spots[i].falloff[0].centre, spots[i].squash);
        float inside = saturate(1 - length(d) / spots[i].falloff[0].radius);
        sum += spots[i].on ? spots[i].colour * inside * spots[i].weight * 0.5 : 0;
    }
    return float4(sum, 1);
})"));
    if (HasFatalFailure())
        return;
    struct Spot {
        float colour[3];
        bool on;
        float radius, centre[2];
        float squash[4];
        int weight;
    };
    Spot spots[3] = {{{1, 0, 0}, true, 0.25f, {0.25f, 0.25f}, {1, 0, 0, 1}, 1},
                     {{0, 1, 0}, true, 0.5f, {0.75f, 0.75f}, {1, 0, 0, 1}, 1},
                     {{0, 0, 1}, false, 0.5f, {0.5f, 0.5f}, {1, 0, 0, 1}, 1}};
    auto expected = [&](uint32_t x, uint32_t y) {
        float rgb[3] = {};
        for (const Spot& s : spots) {
            const float dx = Centre(x) - s.centre[0], dy = Centre(y) - s.centre[1];
            const float px = dx * s.squash[0] + dy * s.squash[2], py = dx * s.squash[1] + dy * s.squash[3];
            const float inside = std::clamp(1 - std::sqrt(px * px + py * py) / s.radius, 0.0f, 1.0f);
            for (int k = 0; k < 3; ++k)
                rgb[k] += s.on ? s.colour[k] * inside * float(s.weight) * 0.5f : 0.0f;
        }
        return Argb(rgb[0], rgb[1], rgb[2]);
    };
    DrawWhole("T");
    ExpectEveryPixel(expected);

    // Members of elements by name: the third turned on and moved, the first squashed and doubled.
    ASSERT_EQ(kEffectOk, effect->SetFloat("spots[2].on", 1));
    const float centre[4] = {0.25f, 0.75f, 0, 0};
    ASSERT_EQ(kEffectOk, effect->SetVector("spots[2].falloff[0].centre", centre));
    const float squash[16] = {2, 0, 0, 0, 0.5f, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(kEffectOk, effect->SetMatrix("spots[0].squash", squash));
    ASSERT_EQ(kEffectOk, effect->SetFloat("spots[0].weight", 2.5f)); // an int: 2
    spots[2].on = true;
    spots[2].centre[0] = 0.25f;
    spots[2].centre[1] = 0.75f;
    spots[0].squash[0] = 2;
    spots[0].squash[2] = 0.5f;
    spots[0].weight = 2;
    DrawWhole("T");
    ExpectEveryPixel(expected);
}

TEST_F(GfxParameters, APassStateReadsAStructMember)
{
    UseEffect(Effect("struct Look { float4 colour; bool blend; int mask; };\n"
                     "Look look = { float4(0.5, 0.5, 0.5, 0.5), false, 15 };\n"
                     "float4 PS(float2 uv : TEXCOORD0) : COLOR { return look.colour; }",
                     "AlphaBlendEnable = (look.blend); SrcBlend = SrcAlpha; DestBlend = One; ColorWriteEnable = (look.mask);"));
    if (HasFatalFailure())
        return;
    const auto expect = [&](int r, int g, int b) {
        ExpectEveryPixel([&](uint32_t, uint32_t) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); },
                         1, false);
    };
    DrawWhole("T", 0xFF204060u);
    expect(128, 128, 128);
    // Blended: half of the half-grey added over the clear colour.
    ASSERT_EQ(kEffectOk, effect->SetFloat("look.blend", 1));
    DrawWhole("T", 0xFF204060u);
    expect(0x20 + 64, 0x40 + 64, 0x60 + 64);
    ASSERT_EQ(kEffectOk, effect->SetFloat("look.mask", 1)); // red alone
    DrawWhole("T", 0xFF204060u);
    expect(0x20 + 64, 0x40, 0x60);
}

} // namespace
