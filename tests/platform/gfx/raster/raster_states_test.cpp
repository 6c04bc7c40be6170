// Pictures drawn with the states an effect's passes set on the device: sRGB
// writes and sRGB texture reads, sampler states set in a pass, states taken
// from parameters, each checked against what the states mean.
#include <cmath>
#include <cstring>

#include "platform/gfx/device/format.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;
using gfx_test::Channel;

namespace {

const std::string kEffect = gfx_test::kPassOn + std::string(R"(
texture Picture;
sampler2D Plain = sampler_state { Texture = <Picture>; AddressU = Clamp; AddressV = Clamp; };
sampler2D Decoded = sampler_state { Texture = <Picture>; SRGBTexture = true; MinFilter = Point; MagFilter = Point; };
float4 Colour = float4(0.5, 0.5, 0.5, 1);

float4 Flat() : COLOR { return Colour; }
float4 ReadPlain(float2 uv : TEXCOORD0) : COLOR { return tex2D(Plain, uv); }
float4 ReadDecoded(float2 uv : TEXCOORD0) : COLOR { return tex2D(Decoded, uv); }

technique encoded
{
    pass p { SRGBWriteEnable = true; VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Flat(); }
}
PASS(flat, Flat)
technique plain { pass p { SRGBWriteEnable = false; VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Flat(); } }
PASS(decoded, ReadDecoded)
technique filteredInPass
{
    pass p
    {
        MinFilter[0] = Linear; MagFilter[0] = Linear; MipFilter[0] = None;
        VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 ReadPlain();
    }
}
technique pointInPass
{
    pass p
    {
        MinFilter[0] = Point; MagFilter[0] = Point;
        VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 ReadPlain();
    }
}

bool Blend = false;
float DestFactor = 6;
float4 Tint = float4(1, 0, 0, 0.25);
float4 Tinted() : COLOR { return Tint; }
technique fromParameters
{
    pass p
    {
        AlphaBlendEnable = Blend; SrcBlend = SrcAlpha; DestBlend = (DestFactor);
        VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Tinted();
    }
}

int Shift = 0;
float4 Moved(float4 pos : POSITION, uniform float pixels) : POSITION { return pos + float4(pixels / 16, 0, 0, 0); }
VertexShader MovedBy[3] = { compile vs_3_0 Moved(0), compile vs_3_0 Moved(4), compile vs_3_0 Moved(8) };
technique chosen { pass p { VertexShader = (MovedBy[Shift]); PixelShader = compile ps_3_0 Tinted(); } }

float Distance = 5;
float Range = 10;
bool ChooseZEnable()
{
    if (Distance < Range)
        return false;
    else
        return true;
}
int ChooseCullMode() { if (Distance < Range) return 1; return 2; } // none, else clockwise
technique depthByDistance
{
    pass p { ZEnable = ChooseZEnable(); VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Tinted(); }
}
technique cullByDistance
{
    pass p
    {
        ZEnable = false; CullMode = ChooseCullMode();
        VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Tinted();
    }
}
)");

class GfxRasterStates : public gfx_test::RasterTestWith<kEffect> {
protected:
    // A texture of `texels` (A8R8G8B8) in a row, set as the effect's picture.
    void Picture(const std::vector<uint32_t>& texels)
    {
        ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", MakeRow(texels)));
    }
};

double Encoded(double linear)
{
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

double Decoded(double encoded)
{
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

TEST_F(GfxRasterStates, SrgbWritesEncodeTheColourAndStaySetAfterThePassUntilAPassTurnsThemOff)
{
    SetGeometry(Rectangle(0, 0, 8, 8), RectangleIndices());
    DrawWith("encoded");
    const double expected = Encoded(0.5) * 255;
    EXPECT_NEAR(Channel(Pixel(4, 4), 16), expected, 1.0);
    EXPECT_NEAR(Channel(Pixel(4, 4), 0), expected, 1.0);
    EXPECT_EQ(Channel(Pixel(4, 4), 24), 255); // alpha is never encoded
    // The pass left the state set: a pass that says nothing of it still encodes.
    SetGeometry(Rectangle(8, 0, 16, 8), RectangleIndices());
    DrawWith("flat");
    EXPECT_NEAR(Channel(Pixel(12, 4), 8), expected, 1.0);
    SetGeometry(Rectangle(16, 0, 24, 8), RectangleIndices());
    DrawWith("plain");
    EXPECT_NEAR(Channel(Pixel(20, 4), 8), 127.5, 1.0);
    uint32_t held = 1;
    ASSERT_EQ(kOk, device->GetRenderState(kRsSrgbWriteEnable, &held));
    EXPECT_EQ(held, 0u);
}

TEST_F(GfxRasterStates, SrgbTextureReadsDecodeTheTexels)
{
    Picture({0xFF80C020u});
    SetGeometry(Rectangle(0, 0, 4, 4), RectangleIndices());
    DrawWith("decoded");
    const uint32_t p = Pixel(1, 1);
    EXPECT_NEAR(Channel(p, 16), Decoded(0x80 / 255.0) * 255, 1.0);
    EXPECT_NEAR(Channel(p, 8), Decoded(0xC0 / 255.0) * 255, 1.0);
    EXPECT_NEAR(Channel(p, 0), Decoded(0x20 / 255.0) * 255, 1.0);
    EXPECT_EQ(Channel(p, 24), 0xFF);
    uint32_t srgb = 0;
    ASSERT_EQ(kOk, device->GetSamplerState(0, kSampSrgbTexture, &srgb));
    EXPECT_EQ(srgb, 1u);
}

TEST_F(GfxRasterStates, SamplerStatesSetInAPassFilterTheSamplerOfThatUnit)
{
    // Two texels, red then blue, across four pixels: linear filtering mixes them.
    Picture({0xFFFF0000u, 0xFF0000FFu});
    SetGeometry(Rectangle(0, 0, 4, 1), RectangleIndices());
    DrawWith("filteredInPass");
    const uint32_t mixed = Pixel(1, 0); // u = 3/8: a quarter of the way from red to blue
    EXPECT_NEAR(Channel(mixed, 16), 255 * 0.75, 1.5);
    EXPECT_NEAR(Channel(mixed, 0), 255 * 0.25, 1.5);
    DrawWith("pointInPass");
    EXPECT_EQ(Pixel(1, 0), 0xFFFF0000u);
}

TEST_F(GfxRasterStates, ABlendStateTakenFromAParameterChangesTheFrameWithTheParameter)
{
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF0040C0u, 1.0f, 0));
    SetGeometry(Rectangle(0, 0, 8, 8), RectangleIndices());
    DrawWith("fromParameters");
    EXPECT_EQ(Pixel(4, 4), 0x40FF0000u); // not blended: the colour as it is
    ASSERT_EQ(kEffectOk, effect->SetFloat("Blend", 1));
    SetGeometry(Rectangle(8, 0, 16, 8), RectangleIndices());
    DrawWith("fromParameters");
    const uint32_t mixed = Pixel(12, 4); // a quarter red over the clear colour
    EXPECT_NEAR(Channel(mixed, 16), 255 * 0.25, 1.0);
    EXPECT_NEAR(Channel(mixed, 8), 0x40 * 0.75, 1.0);
    EXPECT_NEAR(Channel(mixed, 0), 0xC0 * 0.75, 1.0);
    ASSERT_EQ(kEffectOk, effect->SetFloat("DestFactor", 2)); // One: added to what is there
    SetGeometry(Rectangle(16, 0, 24, 8), RectangleIndices());
    DrawWith("fromParameters");
    const uint32_t added = Pixel(20, 4);
    EXPECT_NEAR(Channel(added, 16), 255 * 0.25, 1.0);
    EXPECT_NEAR(Channel(added, 0), 0xC0, 1.0);
}

TEST_F(GfxRasterStates, AShaderChosenFromAnArrayByAParameterDrawsWhereThatElementPutsIt)
{
    const float white[4] = {1, 1, 1, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("Tint", white));
    SetGeometry(Rectangle(0, 0, 4, 4), RectangleIndices());
    for (int shift = 0; shift < 3; ++shift) {
        ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0));
        ASSERT_EQ(kEffectOk, effect->SetFloat("Shift", float(shift)));
        DrawWith("chosen");
        // Each element moves the rectangle right by its own number of pixels.
        for (uint32_t x = 0; x < kWidth; ++x) {
            const bool inside = x >= uint32_t(shift * 4) && x < uint32_t(shift * 4 + 4);
            EXPECT_EQ(Pixel(x, 1), inside ? 0xFFFFFFFFu : 0xFF000000u) << "shift " << shift << " at " << x;
        }
    }
    // An index outside the array begins no pass: nothing is drawn, nothing read outside it.
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0));
    ASSERT_EQ(kEffectOk, effect->SetFloat("Shift", 3));
    ASSERT_EQ(kEffectOk, effect->SetTechnique("chosen"));
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, effect->Begin(passes));
    EXPECT_EQ(kEffectInvalidCall, effect->BeginPass(0));
    EXPECT_EQ(effect->ActivePass(), -1);
    effect->End();
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u);
}

TEST_F(GfxRasterStates, AStateAFunctionChoosesByAParameterFollowsIt)
{
    const float white[4] = {1, 1, 1, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("Tint", white));
    // The depth cleared to 0 hides what a depth test lets through; the
    // rectangle's triangles run clockwise.
    const struct {
        const char* technique;
        float distance;
        bool drawn;
    } rows[] = {
        {"depthByDistance", 5, true}, {"depthByDistance", 20, false}, {"depthByDistance", 5, true},
        {"cullByDistance", 5, true},  {"cullByDistance", 20, false},  {"cullByDistance", 5, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.technique) + " at " + std::to_string(row.distance));
        ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget | kClearZBuffer, 0xFF000000u, 0.0f, 0));
        ASSERT_EQ(kEffectOk, effect->SetFloat("Distance", row.distance));
        SetGeometry(Rectangle(4, 4, 12, 12), RectangleIndices());
        DrawWith(row.technique);
        ExpectRectangle(4, 4, 12, 12, row.drawn ? 0xFFFFFFFFu : 0xFF000000u);
    }
}

} // namespace
