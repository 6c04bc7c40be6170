// Pictures drawn by the rasterizing device, each checked against what the
// system's meaning of the calls computes: texel for texel, pixel for pixel.
#include <algorithm>
#include <cmath>

#include "platform/gfx/device/format.h"
#include "platform/gfx/fx/compiled/pass_compiler.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;
using gfx_test::Channel;
using gfx_test::Vertex;

namespace {

const std::string kEffect = gfx_test::kPointSampled + R"(
float4 Colour = float4(1, 1, 1, 1);
float4x4 Transform;
Through Shifted(float4 pos : POSITION, float2 uv : TEXCOORD0, float4 offset : TEXCOORD1)
{
    Through o;
    o.pos = pos + float4(offset.xy, 0, 0);
    o.uv = uv;
    return o;
}
float4 Moved(float4 pos : POSITION) : POSITION { return mul(pos, Transform); }
float4 Flat() : COLOR { return Colour; }

PASS(flat, Flat)
technique flatNoDepth { pass p { ZEnable = false; VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Flat(); } }
technique blended
{
    pass p
    {
        AlphaBlendEnable = true; SrcBlend = SrcAlpha; DestBlend = InvSrcAlpha;
        VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Flat();
    }
}
technique moved { pass p { VertexShader = compile vs_3_0 Moved(); PixelShader = compile ps_3_0 Flat(); } }
textureCUBE Sky;
samplerCUBE SkySampler = sampler_state { Texture = <Sky>; MinFilter = Point; MagFilter = Point; };
texture3D Volume;
sampler3D VolumeSampler = sampler_state { Texture = <Volume>; MinFilter = Point; MagFilter = Point; AddressW = Clamp; };
float4 Direction;
float4 SkyColour() : COLOR { return texCUBE(SkySampler, Direction.xyz); }
float4 Slice(float2 uv : TEXCOORD0) : COLOR { return tex3D(VolumeSampler, float3(uv, Direction.w)); }
sampler2D WrapSampler = sampler_state { Texture = <Picture>; MinFilter = Point; MagFilter = Point; AddressU = Wrap; };
sampler2D MirrorSampler = sampler_state { Texture = <Picture>; MinFilter = Point; MagFilter = Point; AddressU = Mirror; };
sampler2D BorderSampler = sampler_state
{
    Texture = <Picture>; MinFilter = Point; MagFilter = Point; AddressU = Border; BorderColor = 0xFF00FF00;
};
sampler2D FloatBorderSampler = sampler_state
{
    Texture = <Picture>; MinFilter = Point; MagFilter = Point; AddressU = Border; BorderColor = float4(0, 1, 0, 1);
};
sampler2D LinearSampler = sampler_state { Texture = <Picture>; MinFilter = Linear; MagFilter = Linear; AddressU = Clamp; };
float4 Wrapped(float2 uv : TEXCOORD0) : COLOR { return tex2D(WrapSampler, float2(uv.x * 3 - 1, uv.y)); }
float4 Mirrored(float2 uv : TEXCOORD0) : COLOR { return tex2D(MirrorSampler, float2(uv.x * 3 - 1, uv.y)); }
float4 Clamped(float2 uv : TEXCOORD0) : COLOR { return tex2D(PictureSampler, float2(uv.x * 3 - 1, uv.y)); }
float4 Bordered(float2 uv : TEXCOORD0) : COLOR { return tex2D(BorderSampler, float2(uv.x * 3 - 1, uv.y)); }
float4 FloatBordered(float2 uv : TEXCOORD0) : COLOR { return tex2D(FloatBorderSampler, float2(uv.x * 3 - 1, uv.y)); }
float4 Filtered(float2 uv : TEXCOORD0) : COLOR { return tex2D(LinearSampler, uv); }
PASS(wrapped, Wrapped)
PASS(mirrored, Mirrored)
PASS(clamped, Clamped)
PASS(bordered, Bordered)
PASS(floatBordered, FloatBordered)
PASS(filtered, Filtered)
PASS(sky, SkyColour)
PASS(slice, Slice)
technique instanced { pass p { VertexShader = compile vs_3_0 Shifted(); PixelShader = compile ps_3_0 Flat(); } }
struct Held { float4 pos : POSITION; nointerpolation float2 uv : TEXCOORD0; };
Held PassOnHeld(float4 pos : POSITION, float2 uv : TEXCOORD0) { Held o; o.pos = pos; o.uv = uv; return o; }
float4 HeldUv(Held i) : COLOR { return float4(i.uv, 0, 1); }
technique held { pass p { VertexShader = compile vs_3_0 PassOnHeld(); PixelShader = compile ps_3_0 HeldUv(); } }
)";

using GfxRaster = gfx_test::RasterTestWith<kEffect>;

TEST_F(GfxRaster, ATexturedQuadDrawnOneToOneReproducesItsTexelsInPlace)
{
    // Every texel different, and channels that tell a swapped byte order apart.
    auto texel = [](uint32_t x, uint32_t y) { return 0xFF000000u | (x * 8) << 16 | (y * 8) << 8 | ((x + y) & 7) * 32; };
    Texture* picture = MakeTexture(kWidth, kHeight, texel);
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", picture));
    SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
    DrawWith("textured");
    ExpectEveryPixel(texel, 0);
}

TEST_F(GfxRaster, EachTexelFormatIsSampledAsTheSystemReadsIt)
{
    auto u16 = [](uint16_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)}; };
    auto u32 = [](uint32_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
    auto floats = [](std::initializer_list<float> values) {
        std::vector<uint8_t> out(values.size() * 4);
        std::memcpy(out.data(), values.begin(), out.size());
        return out;
    };
    auto halves = [](std::initializer_list<uint16_t> values) {
        std::vector<uint8_t> out(values.size() * 2);
        size_t at = 0;
        for (uint16_t v : values) {
            out[at++] = uint8_t(v);
            out[at++] = uint8_t(v >> 8);
        }
        return out;
    };
    // One red 4 x 4 block: both end colours pure red (5:6:5), every index 0.
    const std::vector<uint8_t> redBlock = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    std::vector<uint8_t> alphaRedBlock = {0x80, 0x80, 0, 0, 0, 0, 0, 0};
    alphaRedBlock.insert(alphaRedBlock.end(), redBlock.begin(), redBlock.end());
    struct Case {
        uint32_t format;
        std::vector<uint8_t> texel; // every texel (or block) holds it
        uint32_t expected;
    } cases[] = {
        {kFormatA8R8G8B8, u32(0x80402010u), 0x80402010u},
        {kFormatX8R8G8B8, u32(0x00402010u), 0xFF402010u},
        {kFormatR5G6B5, u16(0xF81F), 0xFFFF00FFu},
        {kFormatA8, {0x80}, 0x80000000u},
        {kFormatL8, {0x40}, 0xFF404040u},
        {kFormatA8L8, {0x40, 0x80}, 0x80404040u},
        {kFormatR32F, floats({0.25f}), 0xFF40FFFFu},
        {kFormatG32R32F, floats({1.0f, 0.25f}), 0xFFFF40FFu},
        {kFormatA32B32G32R32F, floats({0.25f, 1.0f, 0.0f, 1.0f}), 0xFF40FF00u},
        {kFormatA16B16G16R16F, halves({0x3400, 0x3C00, 0x0000, 0x3C00}), 0xFF40FF00u}, // 0.25, 1, 0, 1
        {kFormatDXT1, redBlock, 0xFFFF0000u},
        {kFormatDXT5, alphaRedBlock, 0x80FF0000u},
    };
    SetGeometry(Rectangle(0, 0, 4, 4), RectangleIndices());
    for (const Case& c : cases) {
        Texture* texture = nullptr;
        ASSERT_EQ(kOk, device->CreateTexture(4, 4, 1, 0, c.format, kPoolManaged, &texture)) << c.format;
        owned.push_back(texture);
        std::span<uint8_t> bytes = platform::testing::TextureBytes(*texture);
        for (size_t at = 0; at + c.texel.size() <= bytes.size(); at += c.texel.size())
            std::memcpy(bytes.data() + at, c.texel.data(), c.texel.size());
        ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0));
        ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", texture));
        DrawWith("textured");
        const uint32_t got = Pixel(1, 1);
        for (int shift : {24, 16, 8, 0})
            EXPECT_NEAR(Channel(got, shift), Channel(c.expected, shift), 1)
                << "format " << c.format << ": 0x" << std::hex << got << " for 0x" << c.expected;
    }
}

TEST_F(GfxRaster, CubeFacesAndVolumeSlicesAreSampledWhereTheyLie)
{
    // Each cube face a colour of its own, in the order +x, -x, +y, -y, +z, -z.
    const uint32_t faces[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
    CubeTexture* sky = nullptr;
    ASSERT_EQ(kOk, device->CreateCubeTexture(4, 1, 0, kFormatA8R8G8B8, kPoolManaged, &sky));
    owned.push_back(sky);
    for (uint32_t face = 0; face < 6; ++face) {
        LockedRect locked;
        ASSERT_EQ(kOk, sky->LockRect(face, 0, &locked, nullptr, 0));
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 4; ++x)
                std::memcpy(static_cast<uint8_t*>(locked.bits) + y * uint32_t(locked.pitch) + x * 4, &faces[face], 4);
        ASSERT_EQ(kOk, sky->UnlockRect(face, 0));
    }
    ASSERT_EQ(kEffectOk, effect->SetTexture("Sky", sky));
    SetGeometry(Rectangle(0, 0, 4, 4), RectangleIndices());
    const float directions[6][4] = {{1, 0.1f, 0.2f, 0}, {-1, 0.1f, 0.2f, 0}, {0.1f, 1, 0.2f, 0},
                                    {0.1f, -1, 0.2f, 0}, {0.1f, 0.2f, 1, 0}, {0.1f, 0.2f, -1, 0}};
    for (uint32_t face = 0; face < 6; ++face) {
        ASSERT_EQ(kEffectOk, effect->SetVector("Direction", directions[face]));
        DrawWith("sky");
        EXPECT_EQ(faces[face], Pixel(1, 1)) << "face " << face;
    }
    // A volume of four slices, each of one colour.
    VolumeTexture* volume = nullptr;
    ASSERT_EQ(kOk, device->CreateVolumeTexture(2, 2, 4, 1, 0, kFormatA8R8G8B8, kPoolManaged, &volume));
    owned.push_back(volume);
    LockedBox box;
    ASSERT_EQ(kOk, volume->LockBox(0, &box, nullptr, 0));
    for (uint32_t z = 0; z < 4; ++z)
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 2; ++x)
                std::memcpy(static_cast<uint8_t*>(box.bits) + z * uint32_t(box.slicePitch) + y * uint32_t(box.rowPitch) +
                                x * 4,
                            &faces[z], 4);
    ASSERT_EQ(kOk, volume->UnlockBox(0));
    ASSERT_EQ(kEffectOk, effect->SetTexture("Volume", volume));
    for (uint32_t z = 0; z < 4; ++z) {
        const float at[4] = {0, 0, 0, (float(z) + 0.5f) / 4.0f};
        ASSERT_EQ(kEffectOk, effect->SetVector("Direction", at));
        DrawWith("slice");
        EXPECT_EQ(faces[z], Pixel(1, 1)) << "slice " << z;
    }
}

TEST_F(GfxRaster, SamplerStatesAddressAndFilterAsTheirBlocksSay)
{
    // Two texels, red then blue, read across three widths of the texture.
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", MakeRow({0xFFFF0000u, 0xFF0000FFu})));
    // Six pixels across: u = -1 .. 2 in steps of half a texture, at the texel centres.
    SetGeometry(Rectangle(0, 0, 6, 1), RectangleIndices());
    const uint32_t r = 0xFFFF0000u, b = 0xFF0000FFu, g = 0xFF00FF00u;
    struct Case {
        const char* technique;
        uint32_t expected[6];
    } cases[] = {
        {"wrapped", {r, b, r, b, r, b}},
        {"mirrored", {b, r, r, b, b, r}},
        {"clamped", {r, r, r, b, b, b}},
        {"bordered", {g, g, r, b, g, g}},
        {"floatBordered", {g, g, r, b, g, g}}, // the border colour given as a float4
    };
    for (const Case& c : cases) {
        DrawWith(c.technique);
        for (uint32_t x = 0; x < 6; ++x)
            EXPECT_EQ(c.expected[x], Pixel(x, 0)) << c.technique << " at " << x;
    }
    // Linear filtering between the two texels' centres: an even mix in the middle.
    SetGeometry(Rectangle(0, 0, 4, 1), RectangleIndices());
    DrawWith("filtered");
    EXPECT_EQ(r, Pixel(0, 0)); // u = 1/8, clamped to the red centre's side
    const uint32_t mixed = Pixel(1, 0); // u = 3/8: a quarter of the way from red to blue
    EXPECT_NEAR(Channel(mixed, 16), 255 * 0.75, 1.5);
    EXPECT_NEAR(Channel(mixed, 0), 255 * 0.25, 1.5);
}

TEST_F(GfxRaster, APointTransformedBySetMatrixLandsOnThePixelComputedOnTheCpu)
{
    // Rows as the effect's mul(v, M) reads them: a point is a row vector.
    const float m[16] = {0.5f, -0.25f, 0, 0, 0.25f, 0.5f, 0, 0, 0, 0, 1, 0, -0.375f, 0.125f, 0.5f, 2.0f};
    ASSERT_EQ(kEffectOk, effect->SetMatrix("Transform", m));
    const float p[4] = {1.0f, 2.0f, 0.0f, 1.0f};
    float clip[4] = {};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            clip[c] += p[r] * m[r * 4 + c];
    const double x = (clip[0] / clip[3] + 1.0) / 2.0 * kWidth;
    const double y = (1.0 - clip[1] / clip[3]) / 2.0 * kHeight;
    ASSERT_EQ(21.0, x); // chosen to land on a pixel centre
    ASSERT_EQ(9.0, y);
    SetColour(0, 1, 0, 1);
    SetGeometry({{p[0], p[1], p[2], p[3], 0, 0}}, {0});
    DrawWith("moved", kPrimitivePointList);
    ExpectRectangle(21, 9, 22, 10, 0xFF00FF00u);
}

TEST_F(GfxRaster, TheNearerSurfaceWinsTheDepthTestWhateverTheOrder)
{
    // Left half: far first, then near; right half: near first, then far.
    std::vector<Vertex> v;
    for (const auto& rect : {Rectangle(0, 0, 16, 32, 0.8f), Rectangle(0, 0, 16, 32, 0.3f),
                             Rectangle(16, 0, 32, 32, 0.3f), Rectangle(16, 0, 32, 32, 0.8f)})
        v.insert(v.end(), rect.begin(), rect.end());
    const uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF00FF00u, 0xFFFF0000u}; // near ones green
    auto drawEach = [&](const std::string& technique) {
        for (uint16_t k = 0; k < 4; ++k) {
            SetColour(Channel(colours[k], 16) / 255.0f, Channel(colours[k], 8) / 255.0f, 0, 1);
            SetGeometry(v, RectangleIndices(uint16_t(k * 4)));
            DrawWith(technique);
        }
    };
    ASSERT_EQ(kOk, device->SetRenderState(kRsZEnable, kZBufferTrue));
    drawEach("flat");
    ExpectRectangle(0, 0, 32, 32, 0xFF00FF00u);
    // Without the depth test the last one drawn shows.
    Clear();
    drawEach("flatNoDepth");
    ExpectRectangle(0, 0, 16, 32, 0xFF00FF00u, 0xFFFF0000u);
}

TEST_F(GfxRaster, BlendingMixesKnownColoursByTheSourceAlpha)
{
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF2040C0u, 1.0f, 0));
    SetColour(1.0f, 0.5f, 0.0f, 0.25f);
    SetGeometry(Rectangle(4, 4, 12, 12), RectangleIndices());
    DrawWith("blended");
    const uint32_t mixed = Pixel(6, 6);
    const double a = 0.25;
    EXPECT_NEAR(Channel(mixed, 16), 255 * a + 0x20 * (1 - a), 1.0);
    EXPECT_NEAR(Channel(mixed, 8), 127.5 * a + 0x40 * (1 - a), 1.0);
    EXPECT_NEAR(Channel(mixed, 0), 0 * a + 0xC0 * (1 - a), 1.0);
    EXPECT_EQ(0xFF2040C0u, Pixel(2, 2));
}

TEST_F(GfxRaster, TheAlphaTestKeepsOnlyPixelsThatPassTheReference)
{
    ASSERT_EQ(kOk, device->SetRenderState(kRsAlphaTestEnable, 1));
    ASSERT_EQ(kOk, device->SetRenderState(kRsAlphaRef, 150));
    ASSERT_EQ(kOk, device->SetRenderState(kRsAlphaFunc, kCompareGreater));
    SetGeometry(Rectangle(0, 0, 16, 32), RectangleIndices());
    SetColour(1, 1, 1, 100 / 255.0f);
    DrawWith("flat");
    SetGeometry(Rectangle(16, 0, 32, 32), RectangleIndices());
    SetColour(1, 1, 1, 200 / 255.0f);
    DrawWith("flat");
    ExpectRectangle(16, 0, 32, 32, 0xC8FFFFFFu);
}

TEST_F(GfxRaster, APassWhoseStagesDoNotLinkIsRefusedAtCompileAndFailsItsDrawsSayingSoOnce)
{
    const std::string source = "float4 Colour;\nfloat4 Place(float4 p : POSITION) : POSITION { return p; }\n"
                               "float4 Flat() : COLOR { return Colour; }\n"
                               "technique Spoilt { pass Only { VertexShader = compile vs_3_0 Place();\n"
                               "PixelShader = compile ps_3_0 Flat(); } pass Again { VertexShader = compile vs_3_0 "
                               "Place();\nPixelShader = compile ps_3_0 Flat(); } }\n";
    // Each stage's text spoilt where it is made: the pixel one's; the vertex
    // one's as it is drawn; the two compiling but not linking (one block's
    // name, of other members in each); past the bounds of a compiled file.
    const std::pair<gfx::detail::TranslationHook, std::string> spoilt[] = {
        {[](std::string& glsl, bool vertex) { glsl += vertex ? "" : "\nspoilt;\n"; },
         "its pixel stage made for drawing does not compile: "},
        {[](std::string& glsl, bool vertex) { glsl += vertex ? "\nvoid zl_stage_main() {}\n" : ""; },
         "its vertex stage made for drawing does not compile: "},
        {[](std::string& glsl, bool vertex) {
             glsl += std::string("\nuniform zl_B { vec") + (vertex ? "4" : "2") + " zl_c; } zl_b;\n"
                     "vec4 zl_u() { return vec4(zl_b.zl_c.x); }\n";
         },
         "its stages made for drawing do not link: "},
        {[](std::string& glsl, bool vertex) { glsl += vertex ? "" : std::string(2000, '+'); },
         "its pixel stage made for drawing nests deeper than 1024"},
        {[](std::string& glsl, bool vertex) { glsl.resize(vertex ? 1 << 20 | 1 : glsl.size(), ' '); },
         "its vertex stage made for drawing comes to 1048577 bytes"},
    };
    for (const auto& [spoil, why] : spoilt) {
        gfx::detail::TranslationOverride() = spoil;
        std::unique_ptr<RuntimeEffect> refused;
        std::string errors;
        EXPECT_EQ(kEffectInvalidData,
                  RuntimeEffect::Create(source.data(), source.size(), {}, refused, errors, "spoilt.fx"));
        gfx::detail::TranslationOverride() = nullptr;
        EXPECT_EQ(errors.rfind("spoilt.fx(3,1): error X3000: pass 'Only' of technique 'Spoilt': " + why, 0), 0u)
            << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    }

    // One that compiled, the program its passes share spoilt after: each draw
    // fails, with the alpha test or without, and one line says so for both.
    UseEffect(source);
    EffectDescription spoiltCopy = effect->Description();
    ASSERT_EQ(spoiltCopy.techniques.size(), 1u);
    spoiltCopy.techniques[0].passes[0].program.Own().pixel.glsl += "\nspoilt;\n";
    spoiltCopy.techniques[0].passes[1].program = spoiltCopy.techniques[0].passes[0].program;
    effect = std::make_unique<RuntimeEffect>(std::move(spoiltCopy));
    effect->SetDevice(device);
    SetGeometry(Rectangle(0, 0, 32, 32), RectangleIndices());
    testing::internal::CaptureStdout();
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, effect->Begin(passes));
    for (uint32_t draw = 0; draw < 8; ++draw) {
        ASSERT_EQ(kEffectOk, effect->BeginPass(draw / 4));
        ASSERT_EQ(kOk, device->SetRenderState(kRsAlphaTestEnable, draw % 2));
        EXPECT_EQ(kInvalidCall, device->DrawIndexedPrimitive(kPrimitiveTriangleList, 0, 0, vertexCount, 0, 2));
        effect->EndPass();
    }
    effect->End();
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said.rfind("Graphics: pass 'Only' of technique 'Spoilt' of effect 'memory' does not link and is not "
                         "drawn, nor is the other pass that shares its program: ",
                         0),
              0u)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(GfxRaster, APassWithoutShadersFailsItsDrawsSayingSoOnce)
{
    UseEffect(kEffect + "technique Fixed { pass P0 { Texture[0] = <Picture>; ColorOp[0] = SelectArg1; "
                        "ColorArg1[0] = Texture; } }");
    SetGeometry(Rectangle(0, 0, 32, 32), RectangleIndices());
    testing::internal::CaptureStdout();
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, effect->SetTechnique("Fixed"));
    for (int begin = 0; begin < 2; ++begin, effect->EndPass(), effect->End()) {
        ASSERT_EQ(kEffectOk, effect->Begin(passes));
        ASSERT_EQ(kEffectOk, effect->BeginPass(0));
        EXPECT_EQ(kInvalidCall, device->DrawIndexedPrimitive(kPrimitiveTriangleList, 0, 0, vertexCount, 0, 2));
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Graphics: pass 'P0' of technique 'Fixed' of effect 'memory' is not drawn: a pass without shaders "
              "(fixed-function drawing) is not drawn here\n");
    ExpectRectangle(0, 0, 32, 32, 0xFF000000u);
}

TEST_F(GfxRaster, ANoInterpolationValueHoldsTheFirstVertexsValueOverTheTriangle)
{
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFFFFFFFFu, 1.0f, 0));
    SetGeometry(Rectangle(0, 0, 32, 32), RectangleIndices()); // the first vertex's uv is (0, 0)
    DrawWith("held");
    ExpectRectangle(0, 0, 32, 32, 0xFF000000u);
}

TEST_F(GfxRaster, TheColourWriteMaskKeepsTheMaskedChannels)
{
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0x80402010u, 1.0f, 0));
    ASSERT_EQ(kOk, device->SetRenderState(kRsColorWriteEnable, kColorWriteRed | kColorWriteBlue));
    SetColour(1, 1, 1, 1);
    SetGeometry(Rectangle(0, 0, 32, 32), RectangleIndices());
    DrawWith("flat");
    ExpectRectangle(0, 0, 32, 32, 0x80FF20FFu);
}

TEST_F(GfxRaster, TheStencilTestDrawsOnlyWhereAnEarlierDrawMarkedThoughTheDepthWasClearedSince)
{
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0));
    // Mark a rectangle in the stencil buffer without touching the colours.
    ASSERT_EQ(kOk, device->SetRenderState(kRsStencilEnable, 1));
    ASSERT_EQ(kOk, device->SetRenderState(kRsStencilFunc, kCompareAlways));
    ASSERT_EQ(kOk, device->SetRenderState(kRsStencilPass, 3)); // replace
    ASSERT_EQ(kOk, device->SetRenderState(kRsStencilRef, 1));
    ASSERT_EQ(kOk, device->SetRenderState(kRsColorWriteEnable, 0));
    SetColour(1, 0, 0, 1);
    SetGeometry(Rectangle(4, 6, 12, 20), RectangleIndices());
    DrawWith("flatNoDepth");
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearZBuffer, 0, 1.0f, 0));
    // Then the whole target, where the mark is.
    ASSERT_EQ(kOk, device->SetRenderState(kRsColorWriteEnable, kColorWriteAll));
    ASSERT_EQ(kOk, device->SetRenderState(kRsStencilFunc, kCompareEqual));
    ASSERT_EQ(kOk, device->SetRenderState(kRsStencilPass, 1)); // keep
    SetColour(0, 1, 1, 1);
    SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
    DrawWith("flatNoDepth");
    ExpectRectangle(4, 6, 12, 20, 0xFF00FFFFu);
}

TEST_F(GfxRaster, CullingRemovesTheWindingItNames)
{
    // Left: clockwise on screen; right: the same triangle wound the other way.
    std::vector<Vertex> v = Rectangle(0, 0, 16, 32);
    const std::vector<Vertex> right = Rectangle(16, 0, 32, 32);
    v.insert(v.end(), right.begin(), right.end());
    const std::vector<uint16_t> clockwiseLeft = {0, 1, 2, 0, 2, 3};
    const std::vector<uint16_t> counterRight = {4, 6, 5, 4, 7, 6};
    std::vector<uint16_t> both = clockwiseLeft;
    both.insert(both.end(), counterRight.begin(), counterRight.end());
    SetGeometry(v, both);
    SetColour(0, 0, 1, 1);
    struct Case {
        uint32_t cull;
        bool left, right;
    };
    for (const Case& c : {Case{kCullCounterClockwise, true, false}, Case{kCullClockwise, false, true},
                          Case{kCullNone, true, true}}) {
        Clear();
        ASSERT_EQ(kOk, device->SetRenderState(kRsCullMode, c.cull));
        DrawWith("flat");
        EXPECT_EQ(c.left ? 0xFF0000FFu : 0xFF000000u, Pixel(8, 16)) << "cull mode " << c.cull;
        EXPECT_EQ(c.right ? 0xFF0000FFu : 0xFF000000u, Pixel(24, 16)) << "cull mode " << c.cull;
    }
}

TEST_F(GfxRaster, ARenderedTextureKeepsItsOrientationWhenSampled)
{
    Texture* target = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(kWidth, kHeight, 1, kUsageRenderTarget, kFormatA8R8G8B8, kPoolDefault, &target));
    owned.push_back(target);
    Surface* level = nullptr;
    ASSERT_EQ(kOk, target->GetSurfaceLevel(0, &level));
    ASSERT_EQ(kOk, device->SetRenderTarget(0, level));
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0));
    SetColour(1, 0, 0, 1);
    SetGeometry(Rectangle(0, 0, 8, 4), RectangleIndices());
    DrawWith("flatNoDepth");
    // Row 0 of the texture's bytes is its top row.
    EXPECT_EQ(0xFFFF0000u, PixelOf(*level, 0, 0));
    EXPECT_EQ(0xFF000000u, PixelOf(*level, 0, kHeight - 1));
    level->Release();
    ASSERT_EQ(kOk, device->SetRenderTarget(0, back));
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", target));
    SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
    DrawWith("textured");
    ExpectRectangle(0, 0, 8, 4, 0xFFFF0000u);
}

TEST_F(GfxRaster, FloatAndDepthTargetsHoldWhatWasDrawnAndSampleBack)
{
    // A float target keeps the drawn value exactly; a depth texture keeps the
    // depth, which a later pass reads back through a sampler.
    Texture* floats = nullptr;
    Texture* depth = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(kWidth, kHeight, 1, kUsageRenderTarget, kFormatR32F, kPoolDefault, &floats));
    ASSERT_EQ(kOk, device->CreateTexture(kWidth, kHeight, 1, kUsageDepthStencil, kFormatD24S8, kPoolDefault, &depth));
    owned.push_back(floats);
    owned.push_back(depth);
    Surface* floatLevel = nullptr;
    Surface* depthLevel = nullptr;
    ASSERT_EQ(kOk, floats->GetSurfaceLevel(0, &floatLevel));
    ASSERT_EQ(kOk, depth->GetSurfaceLevel(0, &depthLevel));
    Surface* mainDepth = nullptr;
    ASSERT_EQ(kOk, device->GetDepthStencilSurface(&mainDepth));
    ASSERT_EQ(kOk, device->SetRenderTarget(0, floatLevel));
    ASSERT_EQ(kOk, device->SetDepthStencilSurface(depthLevel));
    Clear();
    SetColour(0.3125f, 0, 0, 1);
    SetGeometry(Rectangle(0, 0, 16, 32, 0.25f), RectangleIndices());
    DrawWith("flat");
    // The depth buffer's bytes: depth in the upper 24 bits of each texel.
    const std::span<uint8_t> depthBytes = platform::testing::TextureBytes(*depth);
    uint32_t inside = 0, outside = 0;
    std::memcpy(&inside, depthBytes.data() + (4 * kWidth + 4) * 4, 4);
    std::memcpy(&outside, depthBytes.data() + (4 * kWidth + 20) * 4, 4);
    EXPECT_NEAR(double(inside >> 8), 0.25 * 0xFFFFFF, 2.0);
    EXPECT_EQ(outside >> 8, 0xFFFFFFu);
    const std::span<uint8_t> floatBytes = platform::testing::TextureBytes(*floats);
    float value = 0;
    std::memcpy(&value, floatBytes.data() + (4 * kWidth + 4) * 4, 4);
    EXPECT_EQ(0.3125f, value);
    floatLevel->Release();
    depthLevel->Release();
    ASSERT_EQ(kOk, device->SetRenderTarget(0, back));
    ASSERT_EQ(kOk, device->SetDepthStencilSurface(mainDepth));
    mainDepth->Release();
    // Sampled, the float target reads (r, 1, 1, 1) and the depth texture its depth in red.
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", floats));
    SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
    DrawWith("textured");
    EXPECT_EQ(0xFF50FFFFu, Pixel(4, 4)); // 0.3125 of 255 is 79.7
    EXPECT_EQ(0xFF00FFFFu, Pixel(20, 4));
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", depth));
    DrawWith("textured");
    EXPECT_NEAR(Channel(Pixel(4, 4), 16), 0.25 * 255, 1.0);
    EXPECT_EQ(255, Channel(Pixel(20, 4), 16));
}

TEST_F(GfxRaster, GeneratedMipLevelsAverageTheFirstLevel)
{
    Texture* target = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(8, 8, 0, kUsageRenderTarget | kUsageAutoGenMipMap, kFormatA8R8G8B8,
                                         kPoolDefault, &target));
    owned.push_back(target);
    Surface* level = nullptr;
    ASSERT_EQ(kOk, target->GetSurfaceLevel(0, &level));
    ASSERT_EQ(kOk, device->SetRenderTarget(0, level));
    level->Release();
    const Rect left{0, 0, 4, 8}, right{4, 0, 8, 8};
    ASSERT_EQ(kOk, device->Clear(1, &left, kClearTarget, 0xFFFF0000u, 1.0f, 0));
    ASSERT_EQ(kOk, device->Clear(1, &right, kClearTarget, 0xFF0000FFu, 1.0f, 0));
    ASSERT_EQ(kOk, target->GenerateMipSubLevels());
    ASSERT_EQ(kOk, device->SetRenderTarget(0, back));
    // The last of the four levels (8, 4, 2, 1 texels wide) lies at the end of the storage.
    const std::span<uint8_t> bytes = platform::testing::TextureBytes(*target);
    uint32_t lowest = 0;
    std::memcpy(&lowest, bytes.data() + bytes.size() - 4, 4);
    EXPECT_NEAR(Channel(lowest, 16), 128, 1);
    EXPECT_NEAR(Channel(lowest, 0), 128, 1);
    EXPECT_EQ(Channel(lowest, 8), 0);
    EXPECT_EQ(Channel(lowest, 24), 255);
}

TEST_F(GfxRaster, AnInstancedDrawCoversOneRectangleForEachInstance)
{
    SetGeometry(Rectangle(0, 0, 4, 4), RectangleIndices());
    // Each instance moves the rectangle by whole pixels, in clip units.
    const float step = 2.0f / kWidth;
    const float offsets[3][4] = {{0, 0, 0, 0}, {8 * step, -8 * step, 0, 0}, {20 * step, -4 * step, 0, 0}};
    VertexBuffer* perInstance = nullptr;
    ASSERT_EQ(kOk, device->CreateVertexBuffer(sizeof offsets, 0, 0, kPoolDefault, &perInstance));
    owned.push_back(perInstance);
    Fill(perInstance, offsets, sizeof offsets);
    ASSERT_EQ(kOk, device->SetStreamSource(1, perInstance, 0, 16));
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(0, kStreamIndexedData | 3));
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(1, kStreamInstanceData | 1));
    SetColour(1, 1, 0, 1);
    DrawWith("instanced");
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(0, 1));
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(1, 1));
    const uint32_t rects[3][2] = {{0, 0}, {8, 8}, {20, 4}};
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            bool in = false;
            for (const auto& r : rects)
                in = in || (x >= r[0] && x < r[0] + 4 && y >= r[1] && y < r[1] + 4);
            ASSERT_EQ(in ? 0xFFFFFF00u : 0xFF000000u, Pixel(x, y)) << "at " << x << "," << y;
        }
}

TEST_F(GfxRaster, ClearsStayInsideTheViewportAndCopiesStretch)
{
    const Viewport view{8, 4, 8, 8, 0.0f, 1.0f};
    ASSERT_EQ(kOk, device->SetViewport(&view));
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF123456u, 1.0f, 0));
    ExpectRectangle(8, 4, 16, 12, 0xFF123456u);
    // The viewport's square, doubled into the top-left corner of a second target.
    Surface* copy = nullptr;
    ASSERT_EQ(kOk, device->CreateRenderTarget(kWidth, kHeight, kFormatA8R8G8B8, 0, 0, true, &copy));
    owned.push_back(copy);
    const Rect from{8, 4, 16, 12};
    const Rect to{0, 0, 16, 16};
    ASSERT_EQ(kOk, device->StretchRect(back, &from, copy, &to, kFilterPoint));
    // And a same-size copy of the square's corner and what lies around it, moved by (12, 14).
    const Rect around{6, 2, 18, 14};
    const Rect moved{18, 16, 30, 28};
    ASSERT_EQ(kOk, device->StretchRect(back, &around, copy, &moved, kFilterPoint));
    LockedRect locked;
    ASSERT_EQ(kOk, copy->LockRect(&locked, nullptr, kLockReadOnly));
    auto at = [&](uint32_t x, uint32_t y) {
        uint32_t texel = 0;
        std::memcpy(&texel, static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * 4, 4);
        return texel;
    };
    // The doubled square's corner, a texel never written (the zeros it was made with), the moved
    // square's first and last texels, and the texels left of, above and beyond it.
    const std::vector<uint32_t> texels{at(15, 15), at(16, 16), at(20, 18), at(27, 25), at(19, 18), at(20, 17), at(28, 26)};
    ASSERT_EQ(kOk, copy->UnlockRect());
    EXPECT_EQ((std::vector<uint32_t>{0xFF123456u, 0, 0xFF123456u, 0xFF123456u, 0xFF000000u, 0xFF000000u, 0xFF000000u}),
              texels);
}

} // namespace

// ---- Pictures of presented frames ----

#include "testing/test_files.h"
#include "tests/support/png_picture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

// The colour of the picture's pixel (x, y) as 0xRRGGBB, or -1 when there is no picture.
long PictureColour(const std::string& path, int x, int y)
{
    zandrel_test::PngPicture picture;
    if (!picture.Load(path))
        return -1;
    const unsigned char* p = picture.At(x, y);
    return long(p[0]) << 16 | long(p[1]) << 8 | long(p[2]);
}

TEST(GfxMode, TheEnvironmentDecidesWhenItSaysElseTheDefault)
{
    struct Case {
        const char* value; // null: unset
        GfxMode fallback;
        GfxMode expected;
    } cases[] = {
        {nullptr, GfxMode::Record, GfxMode::Record}, {nullptr, GfxMode::Raster, GfxMode::Raster},
        {"raster", GfxMode::Record, GfxMode::Raster}, {"record", GfxMode::Raster, GfxMode::Record},
        {"RASTER", GfxMode::Record, GfxMode::Record}, {"", GfxMode::Raster, GfxMode::Raster},
    };
    const char* saved = std::getenv("ZANDREL_GFX");
    const std::string keep = saved ? saved : "";
    for (const Case& c : cases) {
        if (c.value)
            setenv("ZANDREL_GFX", c.value, 1);
        else
            unsetenv("ZANDREL_GFX");
        SetDefaultGfxMode(c.fallback);
        EXPECT_EQ(CurrentGfxMode(), c.expected) << (c.value ? c.value : "(unset)");
    }
    SetDefaultGfxMode(GfxMode::Record);
    if (saved)
        setenv("ZANDREL_GFX", keep.c_str(), 1);
    else
        unsetenv("ZANDREL_GFX");
}

// A drawing device of 16 x 8 whose presented frames go to `path`.
std::unique_ptr<gfx_test::TestDevice> CapturingDevice(const std::string& path)
{
    setenv("ZANDREL_CAPTURE", path.c_str(), 1);
    SetDefaultGfxMode(GfxMode::Raster);
    auto test = std::make_unique<gfx_test::TestDevice>(16, 8, false);
    SetDefaultGfxMode(GfxMode::Record);
    unsetenv("ZANDREL_CAPTURE");
    return test;
}

TEST(GfxCapture, TheFirstFrameIsWrittenAtOnceAndTheLastOneWhenTheDeviceGoes)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("zandrel_capture_" + std::to_string(getpid()) + ".png")).string();
    std::filesystem::remove(path);
    auto test = CapturingDevice(path);
    Device* device = test->device;
    ASSERT_NE(nullptr, device);
    if (!device->Rasterizes())
        GTEST_SKIP() << "no OpenGL 4.5 context can be made here; nothing is drawn";
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF336699u, 1.0f, 0));
    ASSERT_EQ(kOk, device->Present());
    EXPECT_EQ(0x336699, PictureColour(path, 15, 7));
    // Within the second the next frame waits for the device to go.
    const Rect corner{0, 0, 4, 4};
    ASSERT_EQ(kOk, device->Clear(1, &corner, kClearTarget, 0xFFCC2211u, 1.0f, 0));
    ASSERT_EQ(kOk, device->Present());
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0)); // not presented
    EXPECT_EQ(0x336699, PictureColour(path, 0, 0));
    test.reset();
    EXPECT_EQ(0xCC2211, PictureColour(path, 0, 0));
    EXPECT_EQ(0x336699, PictureColour(path, 15, 7));
    std::filesystem::remove(path);
}

// A full disk loses every picture: said once, with the system's reason, not
// once a second.
TEST(GfxCapture, APictureLostToAFullDiskIsSaidOnce)
{
    auto test = CapturingDevice("/dev/full");
    Device* device = test->device;
    ASSERT_NE(nullptr, device);
    if (!device->Rasterizes())
        GTEST_SKIP() << "no OpenGL 4.5 context can be made here; nothing is drawn";
    zandrel_test::CoutCapture out;
    ASSERT_EQ(kOk, device->Present()); // written at once
    ASSERT_EQ(kOk, device->Present()); // written when the device goes
    test.reset();
    EXPECT_EQ(out.Text(), "Graphics: cannot write the frame picture '/dev/full': " + std::string(std::strerror(ENOSPC)) +
                              ".\n");
}

} // namespace
