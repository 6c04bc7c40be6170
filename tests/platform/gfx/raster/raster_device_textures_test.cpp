// Which texture a sampler draws: the one its effect assigns where it names
// one, else the one the program set on the device's unit, which a pass's
// begin leaves as it was (sprite and post-processing effects are used so).
// A sampler bound by register reads that unit; an array reads a unit an element.
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;

namespace {

const std::string kEffect = gfx_test::kPassOn + std::string(R"(
sampler ByRegister : register(s0);
sampler2D Bare;
sampler2D NoTexture = sampler_state { MinFilter = Point; MagFilter = Point; AddressU = Clamp; };
sampler Second : register(s2);
sampler2D SecondInProfile : register(ps_3_0, s1);
texture Named;
sampler2D FromEffect = sampler_state { Texture = <Named>; MinFilter = Point; MagFilter = Point; };

float4 ReadByRegister(float2 uv : TEXCOORD0) : COLOR { return tex2D(ByRegister, uv); }
float4 ReadBare(float2 uv : TEXCOORD0) : COLOR { return tex2D(Bare, uv); }
float4 ReadNoTexture(float2 uv : TEXCOORD0) : COLOR { return tex2D(NoTexture, uv); }
float4 ReadFromEffect(float2 uv : TEXCOORD0) : COLOR { return tex2D(FromEffect, uv); }
// Thirds of the quad, each from one unit.
#define THIRDS(a, b, c) uv.x < 1.0 / 3 ? tex2D(a, uv) : uv.x < 2.0 / 3 ? tex2D(b, uv) : tex2D(c, uv)
float4 ReadTwo(float2 uv : TEXCOORD0) : COLOR { return THIRDS(Second, SecondInProfile, Second); }
PASS(byRegister, ReadByRegister)
PASS(bare, ReadBare)
PASS(noTexture, ReadNoTexture)
PASS(fromEffect, ReadFromEffect)
PASS(two, ReadTwo)
sampler Array[4];
sampler AfterArray;
float4 ReadArray(float2 uv : TEXCOORD0) : COLOR { return THIRDS(Array[1], Array[3], AfterArray); }
sampler2D Triple[3];
sampler Low;
sampler Pair[2] : register(s1);
float4 ReadAround(float2 uv : TEXCOORD0) : COLOR { return THIRDS(Triple[2], Pair[1], Low); }
PASS(array, ReadArray)
PASS(around, ReadAround)
)");

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kBlack = 0xFF000000u;
constexpr uint32_t kColours[] = {kRed, kGreen, kBlue, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};

class GfxRasterDeviceTextures : public gfx_test::RasterTestWith<kEffect> {
protected:
    void SetUp() override
    {
        RasterTestWith::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
        for (uint32_t colour : kColours)
            textures.push_back(MakeTexture(2, 2, [=](uint32_t, uint32_t) { return colour; }));
    }
    void Begin(const char* technique)
    {
        Clear();
        ASSERT_EQ(kEffectOk, effect->SetTechnique(technique));
        uint32_t passes = 0;
        ASSERT_EQ(kEffectOk, effect->Begin(passes));
        ASSERT_EQ(kEffectOk, effect->BeginPass(0));
    }
    // Draws the quad within the begun pass; every pixel is then `colour`.
    void DrawAndExpect(uint32_t colour)
    {
        ASSERT_EQ(kOk, device->DrawIndexedPrimitive(kPrimitiveTriangleList, 0, 0, vertexCount, 0, indexCount / 3));
        ExpectRectangle(0, 0, kWidth, kHeight, colour);
    }
    void End()
    {
        effect->EndPass();
        effect->End();
    }
    std::vector<Texture*> textures; // of kColours: red, green, blue, ...
};

TEST_F(GfxRasterDeviceTextures, ASamplerThatNamesNoTextureDrawsTheDevicesTexture)
{
    for (const char* technique : {"byRegister", "bare", "noTexture"}) {
        ASSERT_EQ(kOk, device->SetTexture(0, textures[0]));
        Begin(technique);
        DrawAndExpect(kRed);
        End();
        BaseTexture* held = nullptr;
        ASSERT_EQ(kOk, device->GetTexture(0, &held));
        EXPECT_EQ(textures[0], held) << technique << ": the pass's begin kept the unit's texture";
        SafeRelease(held);
    }
}

TEST_F(GfxRasterDeviceTextures, ATextureSetOnTheDeviceInsideThePassIsTheOneDrawn)
{
    ASSERT_EQ(kOk, device->SetTexture(0, textures[0]));
    Begin("bare");
    ASSERT_EQ(kOk, device->SetTexture(0, textures[2]));
    DrawAndExpect(kBlue);
    ASSERT_EQ(kOk, device->SetTexture(0, textures[1]));
    ASSERT_EQ(kEffectOk, effect->CommitChanges()); // a commit leaves it too
    DrawAndExpect(kGreen);
    End();
}

TEST_F(GfxRasterDeviceTextures, ATextureTheEffectAssignsReplacesTheDevicesAndACommitSetsItAgain)
{
    ASSERT_EQ(kOk, device->SetTexture(0, textures[2]));
    ASSERT_EQ(kEffectOk, effect->SetTexture("Named", textures[0]));
    Begin("fromEffect");
    DrawAndExpect(kRed);
    ASSERT_EQ(kEffectOk, effect->SetTexture("Named", textures[1]));
    ASSERT_EQ(kEffectOk, effect->CommitChanges());
    DrawAndExpect(kGreen);
    End();
    // A texture parameter never set is set as none: the sampler reads black.
    ASSERT_EQ(kEffectOk, effect->SetTexture("Named", nullptr));
    ASSERT_EQ(kOk, device->SetTexture(0, textures[2]));
    Begin("fromEffect");
    DrawAndExpect(kBlack);
    End();
}

// Samplers bound by register read their units, whatever the order of use;
// the others take the lowest free runs long enough for them, an array's
// elements a unit each: no two share one. Each unit holds a texture of its own colour.
TEST_F(GfxRasterDeviceTextures, SamplersReadTheUnitsTheirRegistersOrArraysTake)
{
    for (uint32_t unit = 0; unit < 6; ++unit)
        ASSERT_EQ(kOk, device->SetTexture(unit, textures[unit]));
    const struct {
        const char* technique;
        uint32_t units[3]; // that the thirds read
    } cases[] = {
        {"two", {2, 1, 2}},    // s2, then s1 in its profile
        {"array", {1, 3, 4}},  // the array 0 to 3, the sampler after it
        {"around", {5, 2, 0}}, // the pair 1 and 2, the triple past them, the one left below
    };
    for (const auto& c : cases) {
        Clear();
        DrawWith(c.technique);
        // The third of a pixel's centre, u = (x + 0.5) / kWidth.
        ExpectEveryPixel([&](uint32_t x, uint32_t) { return kColours[c.units[(2 * x + 1) * 3 / (2 * kWidth)]]; }, 0);
    }
}

} // namespace
