// Statics whose values call the effect's functions with a parameter's value,
// and those that read them, given their values at the start of the entry
// points: drawn, against the values computed here, before and after the
// parameter changes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

class GfxStaticAssignments : public gfx_test::RasterTest {};

TEST_F(GfxStaticAssignments, StaticsComputedByFunctionsFollowTheParameters)
{
    // Every form: a scalar, one that reads it, an array of unstated size in
    // braces, a const over lines, a struct, and one the vertex stage reads.
    UseEffect(R"(
float P = 2;
float4 Tint = float4(0.25, 0.5, 0.75, 1);
struct Pair { float a; float2 b; };
float Twice(float x) { return x * 2; }
float2 Halves(float2 v) { return v * 0.5; }
static float K = Twice(P);
static float J = K / 16;
static float L[] = { Twice(P) / 8, 1 };
static const float3 M =
    Tint.rgb *
        Twice(0.5);
static Pair Q = { Twice(P), Halves(Tint.xy) };
static float Spread = Twice(P) / 4;
struct Through { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Through VS(float4 p : POSITION, float2 uv : TEXCOORD0) { Through o; o.pos = p; o.uv = uv * Spread; return o; }
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    return float4(J * 2 * uv.x + L[1] * 0.25, L[0] * uv.y, M.b * Q.b.y * 2 + Q.a / 16, 1);
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
                const float expected[3] = {j * 2 * u + 0.25f, l0 * v, blue};
                const uint32_t pixel = Pixel(x, y);
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(gfx_test::Channel(pixel, 16 - 8 * c), std::lround(expected[c] * 255), 1)
                        << "channel " << c << " at " << x << "," << y;
            }
    }
}

} // namespace
