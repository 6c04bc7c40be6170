// Statics whose values call the effect's functions with a parameter's value,
// and those that read them, given their values at the start of the entry
// points: drawn, against the values computed here, before and after the
// parameter changes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

class GfxStaticAssignments : public gfx_test::RasterTest {};

TEST_F(GfxStaticAssignments, StaticsComputedByFunctionsFollowTheParameters)
{
    // Every form: a scalar, one that reads it, an array of unstated size in
    // braces, a const over lines, a struct, one the vertex stage reads, and
    // one of a loop the parameter decides (in alpha).
    UseEffect(R"(
float P = 2;
float4 Tint = float4(0.25, 0.5, 0.75, 1);
struct Pair { float a; float2 b; };
float Twice(float x) { return x * 2; }
float Steps(float n) { float s = 0; for (int i = 0; i < n; i++) s += 0.25; return s; }
float2 Halves(float2 v) { return v * 0.5; }
static float K = Twice(P);
static float J = K / 16;
static float L[] = { Twice(P) / 8, 1 };
static const float3 M =
    Tint.rgb *
        Twice(0.5);
static Pair Q = { Twice(P), Halves(Tint.xy) };
static float Spread = Twice(P) / 4;
static float Rounds = Steps(P);
struct Through { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Through VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Through o; o.pos = p; o.uv = uv * Spread; return o; }
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    return float4(J * 2 * uv.x + L[1] * 0.25, L[0] * uv.y, M.b * Q.b.y * 2 + Q.a / 16, Rounds);
}
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    if (HasFatalFailure())
        return;
    SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
    for (const float p : {2.0f, 1.0f}) {
        SCOPED_TRACE(p);
        ASSERT_EQ(gfx::kEffectOk, effect->SetFloat("P", p));
        ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0));
        DrawWith("T");
        const float k = p * 2, j = k / 16, l0 = p * 2 / 8, spread = p * 2 / 4;
        const float blue = 0.75f * 1 * (0.5f * 0.5f) * 2 + k / 16;
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const float u = (x + 0.5f) / kWidth * spread, v = (y + 0.5f) / kHeight * spread;
                const float expected[4] = {p * 0.25f, j * 2 * u + 0.25f, l0 * v, blue};
                const uint32_t pixel = Pixel(x, y);
                for (int c = 0; c < 4; ++c)
                    ASSERT_NEAR(gfx_test::Channel(pixel, 24 - 8 * c), std::lround(expected[c] * 255), 1)
                        << "channel " << c << " at " << x << "," << y;
            }
    }
}

TEST_F(GfxStaticAssignments, AStaticFromAFunctionThatBranchesOnAParameterFollowsIt)
{
    UseEffect(std::string(gfx_test::kPassOn) + R"(
float3 LightDirection = float3(0.3, -1, 0.2);
float4x4 GetLightViewMatrix(float3 lightDir)
{
    float3 zAxis = lightDir;
    float3 up = float3(0, 1, 0);
    float3 right = cross(up, zAxis);
    if (any(right))
        right = normalize(right);
    else
        right = float3(1, 0, 0);
    float3 yAxis = cross(zAxis, right);
    return float4x4(right.x, yAxis.x, zAxis.x, 0,
                    right.y, yAxis.y, zAxis.y, 0,
                    right.z, yAxis.z, zAxis.z, 0,
                    0, 0, 0, 1);
}
static float4x4 LightView = GetLightViewMatrix(normalize(LightDirection));
float4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(mul(float4(uv, 1, 0), LightView).xyz * 0.5 + 0.5, 1); }
PASS(T, PS)
)");
    if (HasFatalFailure())
        return;
    SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
    // Lit from aside, then from straight above: the other way of the `if`.
    for (const std::array<float, 4>& light : {std::array<float, 4>{0.3f, -1, 0.2f, 0}, {0, -1, 0, 0}}) {
        SCOPED_TRACE(light[0]);
        ASSERT_EQ(gfx::kEffectOk, effect->SetVector("LightDirection", light.data()));
        ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF000000u, 1.0f, 0));
        DrawWith("T");
        using V = std::array<double, 3>;
        const auto cross = [](V a, V b) {
            return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        };
        const auto normalize = [](V a) {
            const double n = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
            return V{a[0] / n, a[1] / n, a[2] / n};
        };
        const V z = normalize({light[0], light[1], light[2]});
        V right = cross({0, 1, 0}, z);
        right = right != V{0, 0, 0} ? normalize(right) : V{1, 0, 0};
        const V y = cross(z, right);
        ExpectEveryPixel([&](uint32_t px, uint32_t py) {
            const double u = (px + 0.5) / kWidth, v = (py + 0.5) / kHeight;
            // The row (u, v, 1, 0) times the matrix whose columns are the axes.
            const auto out = [&](const V& axis) { return (u * axis[0] + v * axis[1] + axis[2]) * 0.5 + 0.5; };
            return gfx_test::Argb(out(right), out(y), out(z));
        });
    }
}

} // namespace
