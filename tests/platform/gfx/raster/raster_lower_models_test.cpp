// What the drawing does below shader model 3 that it does not from it: the
// colours between the stages pass in registers that hold 0 to 1, and the
// fixed-function fog blends the pixel stage's colour with the fog colour,
// by the vertex stage's FOG or by the depth through the table mode. Every
// expected colour is computed here from the platform's formulas.
#include <cmath>

#include "platform/gfx/device/render_state.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;
using gfx_test::Argb;
using gfx_test::Channel;
using gfx_test::Vertex;

namespace {

const std::string kEffect = R"(
float4 Colour;
float Fog;
float4 Tint = float4(1, 1, 1, 1);

struct Lit { float4 pos : POSITION; float4 colour : COLOR0; float4 second : COLOR1; };
Lit Coloured(float4 pos : POSITION)
{
    Lit o;
    o.pos = pos;
    o.colour = Colour;
    o.second = Colour.yxzw;
    return o;
}
float4 Quarter(float4 c : COLOR0) : COLOR { return c * 0.25 + 0.25; }
float4 Both(float4 c : COLOR0, float4 d : COLOR1) : COLOR { return c * 0.25 + d * 0.125 + 0.125; }

struct Fogged { float4 pos : POSITION; float fog : FOG; };
Fogged WithFog(float4 pos : POSITION) { Fogged o; o.pos = pos; o.fog = Fog; return o; }
float4 PassOn(float4 pos : POSITION) : POSITION { return pos; }
float4 Green() : COLOR { return float4(0, 1, 0, 0.5); }
struct Plain { float4 pos : POSITION; float4 colour : COLOR0; float fog : FOG; };
Plain ColourAndFog(float4 pos : POSITION) { Plain o; o.pos = pos; o.colour = Colour; o.fog = Fog; return o; }

technique clamp20 { pass p { VertexShader = compile vs_2_0 Coloured(); PixelShader = compile ps_2_0 Quarter(); } }
technique clamp11 { pass p { VertexShader = compile vs_1_1 Coloured(); PixelShader = compile ps_1_4 Both(); } }
technique clamp11to20 { pass p { VertexShader = compile vs_1_1 Coloured(); PixelShader = compile ps_2_0 Both(); } }
technique unclamped30 { pass p { VertexShader = compile vs_3_0 Coloured(); PixelShader = compile ps_3_0 Quarter(); } }

technique vertexFog { pass p { VertexShader = compile vs_2_0 WithFog(); PixelShader = compile ps_2_0 Green(); } }
technique noFogWritten { pass p { VertexShader = compile vs_2_0 PassOn(); PixelShader = compile ps_2_0 Green(); } }
technique fog30 { pass p { VertexShader = compile vs_3_0 WithFog(); PixelShader = compile ps_3_0 Green(); } }
technique fixedPixel { pass p { VertexShader = compile vs_2_0 ColourAndFog(); } }
technique fogFromStates
{
    pass p
    {
        FogEnable = true; FogColor = 0xFF0000FF; FogTableMode = Linear; FogStart = 0.2; FogEnd = 0.8;
        VertexShader = compile vs_2_0 PassOn(); PixelShader = compile ps_2_0 Green();
    }
}
)";

constexpr uint32_t kFogBlue = 0xFF0000FFu;

class GfxRasterLowerModels : public gfx_test::RasterTestWith<kEffect> {
protected:
    void SetUp() override
    {
        RasterTestWith::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            ASSERT_EQ(kOk, device->SetRenderState(kRsZEnable, 0));
        }
    }
    void SetFogStates(uint32_t table, float start, float end, float density)
    {
        for (auto [state, value] : std::initializer_list<std::pair<uint32_t, uint32_t>>{
                 {kRsFogEnable, 1u}, {kRsFogColor, kFogBlue}, {kRsFogTableMode, table},
                                    {kRsFogStart, std::bit_cast<uint32_t>(start)},
                                    {kRsFogEnd, std::bit_cast<uint32_t>(end)},
                                    {kRsFogDensity, std::bit_cast<uint32_t>(density)}})
            ASSERT_EQ(kOk, device->SetRenderState(state, value));
    }
    // Green (alpha one half) fogged blue by factor f, as the target holds it.
    static uint32_t Fogged(double f) { return Argb(0, f, 1 - f, 0.5); }
    // Clears, draws `technique` and expects `expected` on every pixel.
    void DrawAndExpect(const std::string& technique, uint32_t expected, const std::string& what)
    {
        SCOPED_TRACE(what);
        Clear();
        DrawWith(technique);
        ExpectEveryPixel([=](uint32_t, uint32_t) { return expected; });
    }
    // A quad over the whole target at depth z, with w as given (x, y and z scaled by it).
    void Quad(float z, float w = 1.0f)
    {
        std::vector<Vertex> v = Rectangle(0, 0, kWidth, kHeight, z);
        for (Vertex& corner : v) {
            corner.x *= w;
            corner.y *= w;
            corner.z *= w;
            corner.w = w;
        }
        SetGeometry(v, RectangleIndices());
    }
};

TEST_F(GfxRasterLowerModels, ColoursReachPixelShadersBelowModelThreeClampedAndModelThreeOnesAsWritten)
{
    Quad(0.5f);
    const double r = 2, g = -1, b = 0.5, a = 1; // written by the vertex stage as COLOR0; COLOR1 swaps r and g
    auto quarter = [](double c) { return c * 0.25 + 0.25; };
    auto both = [](double c, double d) { return c * 0.25 + d * 0.125 + 0.125; };
    struct Case {
        const char* technique;
        uint32_t expected;
    } cases[] = {
        {"clamp20", Argb(quarter(1), quarter(0), quarter(b), quarter(a))}, // (128, 64, 96, 128)
        {"clamp11", Argb(both(1, 0), both(0, 1), both(b, b), both(a, a))},
        {"clamp11to20", Argb(both(1, 0), both(0, 1), both(b, b), both(a, a))},
        {"unclamped30", Argb(quarter(r), quarter(g), quarter(b), quarter(a))}, // (191, 0, 96, 128)
    };
    SetColour(float(r), float(g), float(b), float(a));
    for (const Case& c : cases)
        DrawAndExpect(c.technique, c.expected, c.technique);
}

TEST_F(GfxRasterLowerModels, VertexFogBlendsThePixelShadersColourWithTheFogColour)
{
    Quad(0.5f);
    SetFogStates(0, 0, 1, 1);
    struct Case {
        const char* technique;
        float fog;
        uint32_t expected;
    } cases[] = {
        {"vertexFog", 0.25f, Fogged(0.25)}, // (0, 64, 191)
        {"vertexFog", 0.0f, Fogged(0.0)},
        {"vertexFog", 1.5f, Fogged(1.0)},   // clamped as it leaves the vertex stage
        {"vertexFog", -2.0f, Fogged(0.0)},
        {"noFogWritten", 0.25f, Fogged(1.0)}, // no factor: no fog
        {"fog30", 0.25f, Fogged(1.0)},        // after shader model 3 fog does nothing
    };
    for (const Case& c : cases) {
        ASSERT_EQ(kEffectOk, effect->SetFloat("Fog", c.fog));
        DrawAndExpect(c.technique, c.expected, std::string(c.technique) + " with fog " + std::to_string(c.fog));
    }
    ASSERT_EQ(kOk, device->SetRenderState(kRsFogEnable, 0));
    DrawAndExpect("vertexFog", Fogged(1.0), "fog off");
}

TEST_F(GfxRasterLowerModels, TableFogTakesItsFactorFromTheDepthByItsMode)
{
    constexpr uint32_t kExp = 1, kExp2 = 2, kLinear = 3;
    struct Case {
        uint32_t table;
        float start, end, density;
        float z;
        double f;
    } cases[] = {
        {kLinear, 0.2f, 0.8f, 1, 0.5f, 0.5},
        {kLinear, 0.2f, 0.8f, 1, 0.35f, 0.75},
        {kLinear, 0.2f, 0.8f, 1, 0.1f, 1.0},
        {kLinear, 0.2f, 0.8f, 1, 0.9f, 0.0},
        {kExp, 0, 1, 2.0f, 0.25f, std::exp(-0.5)},
        {kExp2, 0, 1, 2.0f, 0.25f, std::exp(-0.25)},
        {kExp2, 0, 1, 0.5f, 0.75f, std::exp(-0.375 * 0.375)},
    };
    ASSERT_EQ(kEffectOk, effect->SetFloat("Fog", 0.0f)); // the vertex stage's factor is not the table's
    for (const Case& c : cases) {
        SetFogStates(c.table, c.start, c.end, c.density);
        Quad(c.z);
        DrawAndExpect("vertexFog", Fogged(c.f), "table mode " + std::to_string(c.table) + " at depth " + std::to_string(c.z));
    }
}

TEST_F(GfxRasterLowerModels, UnderAPerspectiveProjectionTableFogReadsTheEyeDepth)
{
    // The projection the device holds decides: its fourth column (0, 0, 1, 0)
    // makes the depth w, here 4 at depth 0.5.
    const Matrix4 perspective = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0};
    SetFogStates(3, 2.0f, 6.0f, 1);
    Quad(0.5f, 4.0f);
    ASSERT_EQ(kOk, device->SetTransform(kTransformProjection, &perspective));
    DrawAndExpect("noFogWritten", Fogged(0.5), "w fog");
    ASSERT_EQ(kOk, device->SetTransform(kTransformProjection, &kIdentity));
    SetFogStates(3, 0.25f, 0.75f, 1);
    DrawAndExpect("noFogWritten", Fogged(0.5), "z fog");
}

TEST_F(GfxRasterLowerModels, APassWithoutPixelShaderClampsAndFogsItsColourToo)
{
    Quad(0.5f);
    SetFogStates(0, 0, 1, 1);
    SetColour(0, 2, -1, 0.5f);
    ASSERT_EQ(kEffectOk, effect->SetFloat("Fog", 0.25f));
    DrawAndExpect("fixedPixel", Fogged(0.25), "fixed-function pixel stage");
}

TEST_F(GfxRasterLowerModels, FogStatesSetByThePassDrawAndStaySet)
{
    Quad(0.5f);
    DrawAndExpect("fogFromStates", Fogged(0.5), "the pass's fog");
    uint32_t enabled = 0;
    ASSERT_EQ(kOk, device->GetRenderState(kRsFogEnable, &enabled));
    EXPECT_EQ(1u, enabled);
}

// A lit cube: a sample effect's way of lighting, three directional lights
// added in a vs_2_0 vertex shader, the sum read by a ps_2_0 pixel shader that
// scales it. Where more than one light falls the sum passes 1 and the clamp
// between the stages shows.
const char* kLitCube = R"(
float4x4 WorldViewProj;
float4 LightDirection[3]; // towards each light, in the cube's space
float4 LightColour[3];
float4 Ambient;
float4 Tint;
struct LitVertex { float4 pos : POSITION; float4 diffuse : COLOR0; };
LitVertex Light3(float3 pos : POSITION, float3 normal : NORMAL)
{
    LitVertex o;
    o.pos = mul(float4(pos, 1), WorldViewProj);
    float3 c = Ambient.rgb;
    for (int i = 0; i < 3; ++i)
        c += max(0, dot(normal, LightDirection[i].xyz)) * LightColour[i].rgb;
    o.diffuse = float4(c, 1);
    return o;
}
float4 Shade(float4 diffuse : COLOR0) : COLOR { return float4(diffuse.rgb * Tint.rgb, 1); }
technique litCube
{
    pass p
    {
        CullMode = CCW; ZEnable = true; ZFunc = Less;
        VertexShader = compile vs_2_0 Light3(); PixelShader = compile ps_2_0 Shade();
    }
}
)";

struct CubeVertex {
    float x, y, z;
    float nx, ny, nz;
};

using Vec3 = std::array<double, 3>;
using Mat4 = std::array<double, 16>; // row by row, points as rows: p' = p M

Mat4 Multiply(const Mat4& a, const Mat4& b)
{
    Mat4 out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                out[size_t(r * 4 + c)] += a[size_t(r * 4 + k)] * b[size_t(k * 4 + c)];
    return out;
}

TEST_F(GfxRasterLowerModels, ALitCubeMatchesTheCpusLightingWithItsColoursClampedBetweenTheStages)
{
    UseEffect(kLitCube);
    // The cube: six faces of two triangles, each wound clockwise as seen from
    // outside (its edges' cross product along its outward normal).
    const double h = 0.75;
    std::vector<CubeVertex> vertices;
    std::vector<uint16_t> indices;
    for (int axis = 0; axis < 3; ++axis)
        for (int sign : {-1, 1}) {
            Vec3 n{}, u{}, v{};
            n[size_t(axis)] = sign;
            u[size_t((axis + 1) % 3)] = 1;
            v[size_t((axis + 2) % 3)] = 1;
            const auto first = uint16_t(vertices.size());
            for (auto [a, b] : {std::pair{-1, -1}, std::pair{1, -1}, std::pair{1, 1}, std::pair{-1, 1}}) {
                CubeVertex cv{};
                float* p = &cv.x;
                for (size_t k = 0; k < 3; ++k)
                    p[k] = float(h * (n[k] + a * u[k] + b * v[k]));
                cv.nx = float(n[0]), cv.ny = float(n[1]), cv.nz = float(n[2]);
                vertices.push_back(cv);
            }
            // u x v is along the axis: in this order the corners wind so for
            // the face on its positive side, the other way for the other.
            const uint16_t q[4] = {first, uint16_t(first + 1), uint16_t(first + 2), uint16_t(first + 3)};
            if (sign > 0)
                indices.insert(indices.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
            else
                indices.insert(indices.end(), {q[0], q[2], q[1], q[0], q[3], q[2]});
        }
    // Turned about y and x, three units in front of a perspective camera.
    const double ay = 0.6, ax = 0.45;
    const Mat4 turnY = {std::cos(ay), 0, -std::sin(ay), 0, 0, 1, 0, 0, std::sin(ay), 0, std::cos(ay), 0, 0, 0, 0, 1};
    const Mat4 turnX = {1, 0, 0, 0, 0, std::cos(ax), std::sin(ax), 0, 0, -std::sin(ax), std::cos(ax), 0, 0, 0, 0, 1};
    const Mat4 away = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.05, -0.03, 3.5, 1};
    const double zn = 1, zf = 10, q = zf / (zf - zn), scale = 1.7;
    const Mat4 projection = {scale, 0, 0, 0, 0, scale, 0, 0, 0, 0, q, 1, 0, 0, -q * zn, 0};
    const Mat4 wvp = Multiply(Multiply(Multiply(turnY, turnX), away), projection);
    float m[16];
    for (size_t i = 0; i < 16; ++i)
        m[i] = float(wvp[i]);
    ASSERT_EQ(kEffectOk, effect->SetMatrix("WorldViewProj", m));
    const float lightDirection[12] = {0.6f, 0.48f, -0.64f, 0, -0.8f, 0.6f, 0, 0, 0, 0.6f, -0.8f, 0};
    const float lightColour[12] = {0.9f, 0.7f, 0.5f, 0, 0.5f, 0.8f, 0.3f, 0, 0.4f, 0.3f, 0.9f, 0};
    const float ambient[4] = {0.15f, 0.1f, 0.2f, 0};
    const float tint[4] = {0.6f, 0.7f, 0.5f, 0};
    ASSERT_EQ(kEffectOk, effect->SetVectorArray("LightDirection", lightDirection, 3));
    ASSERT_EQ(kEffectOk, effect->SetVectorArray("LightColour", lightColour, 3));
    ASSERT_EQ(kEffectOk, effect->SetVector("Ambient", ambient));
    ASSERT_EQ(kEffectOk, effect->SetVector("Tint", tint));

    const VertexElement elements[] = {{0, 0, kDeclFloat3, 0, kDeclUsagePosition, 0},
                                      {0, 12, kDeclFloat3, 0, kDeclUsageNormal, 0}, kDeclEnd};
    VertexDeclaration* declared = nullptr;
    ASSERT_EQ(kOk, device->CreateVertexDeclaration(elements, &declared));
    owned.push_back(declared);
    ASSERT_EQ(kOk, device->SetVertexDeclaration(declared));
    SetGeometry(vertices, indices);
    Clear();
    DrawWith("litCube");

    // The reference: each face's colour from its normal, clamped to 0..1 as
    // the colour registers hold it, then tinted; each pixel from the face whose
    // front triangle covers its centre by the top-left rule, with the corners
    // where the rasterizer puts them (on a grid of 1/256 pixel).
    struct ScreenTriangle {
        gfx_test::Point corners[3];
        uint32_t colour;
    };
    std::vector<ScreenTriangle> front;
    int clampedFaces = 0;
    for (size_t t = 0; t < indices.size(); t += 3) {
        ScreenTriangle s{};
        const CubeVertex& face = vertices[indices[t]];
        double c[3] = {ambient[0], ambient[1], ambient[2]};
        for (int l = 0; l < 3; ++l) {
            const double d = std::max(0.0, face.nx * double(lightDirection[l * 4]) +
                                               face.ny * double(lightDirection[l * 4 + 1]) +
                                               face.nz * double(lightDirection[l * 4 + 2]));
            for (int k = 0; k < 3; ++k)
                c[k] += d * lightColour[l * 4 + k];
        }
        uint32_t argb = 0xFF000000u;
        bool over = false;
        for (int k = 0; k < 3; ++k) {
            over = over || c[k] > 1.0;
            argb |= uint32_t(std::lround(255.0 * std::clamp(c[k], 0.0, 1.0) * tint[k])) << (16 - 8 * k);
        }
        clampedFaces += over && t % 6 == 0 ? 1 : 0;
        s.colour = argb;
        for (int k = 0; k < 3; ++k) {
            const CubeVertex& v = vertices[indices[t + size_t(k)]];
            double clip[4] = {};
            for (int col = 0; col < 4; ++col)
                clip[col] = v.x * wvp[size_t(col)] + v.y * wvp[size_t(4 + col)] + v.z * wvp[size_t(8 + col)] +
                            wvp[size_t(12 + col)];
            s.corners[k] = {std::round(((clip[0] / clip[3] + 1.0) * kWidth / 2.0) * 256.0) / 256.0,
                            std::round(((1.0 - clip[1] / clip[3]) * kHeight / 2.0) * 256.0) / 256.0};
        }
        const gfx_test::Point* p = s.corners;
        if ((p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[1].y - p[0].y) * (p[2].x - p[0].x) > 0) // clockwise: a front face
            front.push_back(s);
    }
    ASSERT_GE(clampedFaces, 1) << "no face sums more than one light's worth: the clamp is not tried";
    int drawn = 0;
    ExpectEveryPixel(
        [&](uint32_t x, uint32_t y) {
            uint32_t expected = 0xFF000000u;
            int hits = 0;
            for (const ScreenTriangle& s : front)
                if (gfx_test::Covers(s.corners, {double(x), double(y)})) {
                    expected = s.colour;
                    ++hits;
                }
            EXPECT_LE(hits, 1) << "front faces overlap at " << x << "," << y;
            drawn += hits;
            return expected;
        },
        2, false);
    EXPECT_GT(drawn, 200); // the cube fills a good part of the target
}

} // namespace
