// Parameters declared the ways other authors declare them, drawn: every global
// that is not static is set by the program and reaches the shaders, and every
// pixel comes out as the CPU computes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/gfx/device/format.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

using gfx::kEffectNotFound;
using gfx::kEffectOk;
using gfx_test::Channel;

// Pixel centres meet texture coordinates (x + 0.5) / 32 over a quad of the whole target.
float Centre(uint32_t x) { return (float(x) + 0.5f) / 32.0f; }
int Byte(float v) { return int(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

class GfxParameters : public gfx_test::RasterTest {
protected:
    void Clear() { ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0)); }
    // Draws a quad over the whole target with `technique`.
    void DrawWhole(const std::string& technique = "T")
    {
        Clear();
        SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
        DrawWith(technique);
    }
    // Every pixel against the colour `expected` gives for it (r, g, b as 0..1), within `tolerance` of 255.
    void ExpectEveryPixel(const std::function<void(uint32_t, uint32_t, float*)>& expected, int tolerance = 1)
    {
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                float rgb[3] = {};
                expected(x, y, rgb);
                const uint32_t p = Pixel(x, y);
                ASSERT_NEAR(Channel(p, 16), Byte(rgb[0]), tolerance) << "at " << x << "," << y << std::hex << " " << p;
                ASSERT_NEAR(Channel(p, 8), Byte(rgb[1]), tolerance) << "at " << x << "," << y << std::hex << " " << p;
                ASSERT_NEAR(Channel(p, 0), Byte(rgb[2]), tolerance) << "at " << x << "," << y << std::hex << " " << p;
            }
    }
};

const char* kVertex = R"(
struct Through { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Through VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Through o; o.pos = p; o.uv = uv; return o; }
)";

TEST_F(GfxParameters, AGlobalThatIsNotStaticIsSetByTheProgramWhateverElseItIsDeclared)
{
    struct Case {
        const char* declaration;
        bool hasDefault; // the declaration gives (0.25, 0.5, 0.75)
    };
    const Case cases[] = {
        {"const float4 Tint;", false},
        {"uniform const float4 Tint;", false},
        {"const uniform float4 Tint = float4(0.25, 0.5, 0.75, 1);", true},
        {"extern const float4 Tint = {0.25, 0.5, 0.75, 1};", true},
        {"shared float4 Tint;", false},
        {"typedef const float4 Colour; Colour Tint;", false},
        {"cbuffer Settings { const float4 Tint = float4(0.25, 0.5, 0.75, 1); }", true},
        {"const float4 Other = 1, Tint = float4(0.25, 0.5, 0.75, 1);", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declaration);
        UseEffect(std::string(kVertex) + c.declaration + R"(
float4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(Tint.rgb * uv.x, 1); }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
        if (HasFatalFailure())
            return;
        DrawWhole();
        const float given = c.hasDefault ? 1.0f : 0.0f;
        ExpectEveryPixel([&](uint32_t x, uint32_t, float* rgb) {
            rgb[0] = 0.25f * given * Centre(x);
            rgb[1] = 0.5f * given * Centre(x);
            rgb[2] = 0.75f * given * Centre(x);
        });
        const float tint[4] = {1.0f, 0.5f, 0.25f, 1.0f};
        ASSERT_EQ(kEffectOk, effect->SetVector("Tint", tint));
        DrawWhole();
        ExpectEveryPixel([&](uint32_t x, uint32_t, float* rgb) {
            for (int k = 0; k < 3; ++k)
                rgb[k] = tint[k] * Centre(x);
        });
    }
}

TEST_F(GfxParameters, ABlurWhoseStepAndKernelAreConstGlobalsBlursThePicture)
{
    gfx::Texture* picture = nullptr;
    ASSERT_EQ(gfx::kOk, device->CreateTexture(kWidth, kHeight, 1, 0, gfx::kFormatA8R8G8B8, gfx::kPoolManaged, &picture));
    owned.push_back(picture);
    auto texel = [](uint32_t x, uint32_t y) {
        return std::array<int, 3>{int((x * 37 + y * 11) % 256), int((x * x + 3 * y) % 256), (x + y) % 3 == 0 ? 255 : 0};
    };
    gfx::LockedRect locked;
    ASSERT_EQ(gfx::kOk, picture->LockRect(0, &locked, nullptr, 0));
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const auto t = texel(x, y);
            const uint32_t argb = 0xFF000000u | uint32_t(t[0]) << 16 | uint32_t(t[1]) << 8 | uint32_t(t[2]);
            std::memcpy(static_cast<uint8_t*>(locked.bits) + y * uint32_t(locked.pitch) + x * 4, &argb, 4);
        }
    ASSERT_EQ(gfx::kOk, picture->UnlockRect(0));
    UseEffect(std::string(kVertex) + R"(
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
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    if (HasFatalFailure())
        return;
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", picture));
    const float step[2] = {1.0f / kWidth, 0.0f};
    ASSERT_EQ(kEffectOk, effect->SetFloatArray("TexelStep", step, 2));
    DrawWhole();
    ExpectEveryPixel([&](uint32_t x, uint32_t y, float* rgb) {
        const uint32_t left = x == 0 ? 0 : x - 1, right = std::min(x + 1, kWidth - 1);
        for (int k = 0; k < 3; ++k)
            rgb[k] = (0.25f * texel(left, y)[k] + 0.5f * texel(x, y)[k] + 0.25f * texel(right, y)[k]) / 255.0f;
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

TEST_F(GfxParameters, AStaticConstStaysAConstantOfTheShaders)
{
    UseEffect(std::string(kVertex) + R"(
static const float4 Fixed = float4(0.25, 0.5, 0.75, 1);
float4 PS(float2 uv : TEXCOORD0) : COLOR { return Fixed; }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    if (HasFatalFailure())
        return;
    const float other[4] = {1, 1, 1, 1};
    EXPECT_EQ(kEffectNotFound, effect->SetVector("Fixed", other));
    DrawWhole();
    ExpectEveryPixel([](uint32_t, uint32_t, float* rgb) {
        rgb[0] = 0.25f;
        rgb[1] = 0.5f;
        rgb[2] = 0.75f;
    });
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
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)";

// The bump of kLitQuad lit by a light of `direction`, `colour` and `ambient` at pixel (x, y).
void LitQuad(uint32_t x, uint32_t y, const float* direction, const float* colour, float ambient, float* rgb)
{
    float n[3] = {Centre(x) * 2 - 1, Centre(y) * 2 - 1, 1};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const float d = -(n[0] * direction[0] + n[1] * direction[1] + n[2] * direction[2]) / length;
    const float lit = std::clamp(d, 0.0f, 1.0f);
    for (int k = 0; k < 3; ++k)
        rgb[k] = colour[k] * (ambient + lit * (1 - ambient));
}

TEST_F(GfxParameters, AShaderIsLitThroughALightStructSetByMemberNameAndFromItsInitialValue)
{
    UseEffect(std::string(kVertex) + kLitQuad);
    if (HasFatalFailure())
        return;
    // Its initial value first: a white light from behind, the ambient alone.
    DrawWhole();
    const float front[3] = {0, 0, 1}, white[3] = {1, 1, 1};
    ExpectEveryPixel([&](uint32_t x, uint32_t y, float* rgb) { LitQuad(x, y, front, white, 0.25f, rgb); });

    const float direction[4] = {0.6f, -0.48f, -0.64f, 0};
    const float colour[4] = {1.0f, 0.75f, 0.5f, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("light.direction", direction));
    ASSERT_EQ(kEffectOk, effect->SetVector("light.colour", colour));
    ASSERT_EQ(kEffectOk, effect->SetFloat("light.ambient", 0.1f));
    DrawWhole();
    ExpectEveryPixel([&](uint32_t x, uint32_t y, float* rgb) { LitQuad(x, y, direction, colour, 0.1f, rgb); });

    // Whole, as the platform packs it.
    const float packed[8] = {0, 0, -1, 0.5f, 0.5f, 0.25f, 1, 0.5f};
    ASSERT_EQ(kEffectOk, effect->SetValue("light", packed, sizeof packed));
    DrawWhole();
    ExpectEveryPixel([&](uint32_t x, uint32_t y, float* rgb) { LitQuad(x, y, packed, packed + 3, 0.5f, rgb); });
}

TEST_F(GfxParameters, AStructsInitialValueMayBeACastOfOneNumber)
{
    std::string source = std::string(kVertex) + kLitQuad;
    const std::string list = "Light light = { float3(0, 0, 1), float4(1, 1, 1, 1), 0.25 };";
    source.replace(source.find(list), list.size(), "Light light = (Light)-0.5;");
    UseEffect(source);
    if (HasFatalFailure())
        return;
    DrawWhole();
    const float direction[3] = {-0.5f, -0.5f, -0.5f}, colour[3] = {-0.5f, -0.5f, -0.5f};
    ExpectEveryPixel([&](uint32_t x, uint32_t y, float* rgb) { LitQuad(x, y, direction, colour, -0.5f, rgb); });
    // Every value -0.5: black; a white colour then shows the light, its ambient below zero.
    const float white[4] = {1, 1, 1, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("light.colour", white));
    DrawWhole();
    ExpectEveryPixel([&](uint32_t x, uint32_t y, float* rgb) { LitQuad(x, y, direction, white, -0.5f, rgb); });
}

TEST_F(GfxParameters, AnArrayOfStructsReachesTheShaderElementByElement)
{
    // Spots over the target, each a struct with an array, a bool and a matrix
    // among its members, so that each lies where the compiler packs it.
    UseEffect(std::string(kVertex) + R"(
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
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
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
    auto expected = [&](uint32_t x, uint32_t y, float* rgb) {
        for (const Spot& s : spots) {
            const float dx = Centre(x) - s.centre[0], dy = Centre(y) - s.centre[1];
            const float px = dx * s.squash[0] + dy * s.squash[2], py = dx * s.squash[1] + dy * s.squash[3];
            const float inside = std::clamp(1 - std::sqrt(px * px + py * py) / s.radius, 0.0f, 1.0f);
            for (int k = 0; k < 3; ++k)
                rgb[k] += s.on ? s.colour[k] * inside * float(s.weight) * 0.5f : 0.0f;
        }
    };
    DrawWhole();
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
    DrawWhole();
    ExpectEveryPixel(expected);
}

TEST_F(GfxParameters, APassStateReadsAStructMember)
{
    UseEffect(std::string(kVertex) + R"(
struct Look { float4 colour; bool blend; int mask; };
Look look = { float4(0.5, 0.5, 0.5, 0.5), false, 15 };
float4 PS(float2 uv : TEXCOORD0) : COLOR { return look.colour; }
technique T {
    pass p {
        VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS();
        AlphaBlendEnable = (look.blend); SrcBlend = SrcAlpha; DestBlend = One;
        ColorWriteEnable = (look.mask);
    }
}
)");
    if (HasFatalFailure())
        return;
    auto drawOver = [&](uint32_t clear) {
        ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, clear, 1.0f, 0));
        SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
        DrawWith("T");
    };
    auto expect = [&](int r, int g, int b) {
        ExpectEveryPixel([&](uint32_t, uint32_t, float* rgb) {
            rgb[0] = float(r) / 255.0f;
            rgb[1] = float(g) / 255.0f;
            rgb[2] = float(b) / 255.0f;
        });
    };
    drawOver(0xFF204060u);
    expect(128, 128, 128);
    // Blended: half of the half-grey added over the clear colour.
    ASSERT_EQ(kEffectOk, effect->SetFloat("look.blend", 1));
    drawOver(0xFF204060u);
    expect(0x20 + 64, 0x40 + 64, 0x60 + 64);
    ASSERT_EQ(kEffectOk, effect->SetFloat("look.mask", 1)); // red alone
    drawOver(0xFF204060u);
    expect(0x20 + 64, 0x40, 0x60);
}

} // namespace
