// Pictures drawn with vertex inputs and values between the stages beyond the
// fixed places: each declaration element reaches the input of its usage and
// index, and each value the pixel stage reads comes from the vertex output of
// its semantic.
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;

namespace {

const char* kEffect = R"(
float4 Colour = float4(1, 1, 1, 1);
float4 Flat() : COLOR { return Colour; }

struct Lit { float4 pos : POSITION; float4 colour : COLOR0; };
Lit Carried(float4 p : POSITION0, float4 offset : POSITION1, float4 tint : COLOR2, float4 weight : BLENDWEIGHT1)
{
    Lit o;
    o.pos = p + float4(offset.xy, 0, 0);
    o.colour = tint * weight;
    return o;
}
float4 Coloured(float4 c : COLOR0) : COLOR { return c; }
technique usageOne { pass p { VertexShader = compile vs_3_0 Carried(); PixelShader = compile ps_3_0 Coloured(); } }

float4 Placed(float4 p : POSITION, float4x4 w : BLENDWEIGHT) : POSITION { return mul(p, w); }
technique matrixInput { pass p { VertexShader = compile vs_3_0 Placed(); PixelShader = compile ps_3_0 Flat(); } }

struct Spread { float4 pos : POSITION; float4 tint : COLOR2; float4x4 m : NORMAL2; };
Spread Spreading(float4 p : POSITION)
{
    Spread o;
    o.pos = p;
    o.tint = float4(0.4, 0, 0, 1);
    o.m = float4x4(0, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,  0, 0, 0, 0);
    return o;
}
float4 Gathered(float4 none : TEXCOORD0, float4 tint : COLOR2, float4x4 m : NORMAL2) : COLOR
{
    return tint + m[2] + none;
}
technique spread { pass p { VertexShader = compile vs_3_0 Spreading(); PixelShader = compile ps_3_0 Gathered(); } }
)";

class GfxRasterSemantics : public gfx_test::RasterTest {
protected:
    void SetUp() override
    {
        RasterTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        UseEffect(kEffect);
        ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0));
    }

    // The four corners of a rectangle, each made from the clip-space position
    // the fixture's rectangle has there, drawn through `elements`.
    template <class V, class Make>
    void SetVertices(const std::vector<VertexElement>& elements, Make make, float left, float top, float right,
                     float bottom)
    {
        VertexDeclaration* declared = nullptr;
        ASSERT_EQ(kOk, device->CreateVertexDeclaration(elements.data(), &declared));
        owned.push_back(declared);
        ASSERT_EQ(kOk, device->SetVertexDeclaration(declared));
        std::vector<V> vertices;
        for (const gfx_test::Vertex& corner : Rectangle(left, top, right, bottom))
            vertices.push_back(make(corner));
        const std::vector<uint16_t> indices = RectangleIndices();
        VertexBuffer* vb = nullptr;
        IndexBuffer* ib = nullptr;
        const auto vbBytes = static_cast<uint32_t>(vertices.size() * sizeof(V));
        ASSERT_EQ(kOk, device->CreateVertexBuffer(vbBytes, 0, 0, kPoolDefault, &vb));
        owned.push_back(vb);
        ASSERT_EQ(kOk, device->CreateIndexBuffer(12, 0, kFormatIndex16, kPoolDefault, &ib));
        owned.push_back(ib);
        Fill(vb, vertices.data(), vbBytes);
        Fill(ib, indices.data(), 12);
        ASSERT_EQ(kOk, device->SetStreamSource(0, vb, 0, sizeof(V)));
        ASSERT_EQ(kOk, device->SetIndices(ib));
        vertexCount = 4;
        indexCount = 6;
    }

    void ExpectRectangle(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint32_t inside)
    {
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const bool in = x >= left && x < right && y >= top && y < bottom;
                ASSERT_EQ(in ? inside : 0xFF000000u, Pixel(x, y)) << "at " << x << "," << y;
            }
    }

    static constexpr float kStep = 2.0f / kWidth; // one pixel in clip units
};

TEST_F(GfxRasterSemantics, InputsOfUsageIndexOneAreReadFromTheElementsOfTheirUsageAndIndex)
{
    struct Carried {
        float pos[4];
        float weight0[4]; // read by no input, though its usage has a fixed place the shader's inputs take
        float pos1[4];
        uint32_t colour2;
        float weight1[4];
    };
    const std::vector<VertexElement> elements = {{0, 0, kDeclFloat4, 0, kDeclUsagePosition, 0},
                                                 {0, 16, kDeclFloat4, 0, kDeclUsageBlendWeight, 0},
                                                 {0, 32, kDeclFloat4, 0, kDeclUsagePosition, 1},
                                                 {0, 48, kDeclColor, 0, kDeclUsageColor, 2},
                                                 {0, 52, kDeclFloat4, 0, kDeclUsageBlendWeight, 1},
                                                 kDeclEnd};
    SetVertices<Carried>(
        elements,
        [](const gfx_test::Vertex& v) {
            return Carried{{v.x, v.y, v.z, v.w}, {-1.5f, 1.5f, 0, 0}, {8 * kStep, -4 * kStep, 0, 0}, 0xFFFF8000u,
                           {0, 1, 1, 1}};
        },
        0, 0, 8, 8);
    DrawWith("usageOne");
    // Moved by POSITION1 (8 right, 4 down), coloured COLOR2 times BLENDWEIGHT1.
    ExpectRectangle(8, 4, 16, 12, 0xFF008000u);
}

TEST_F(GfxRasterSemantics, AMatrixInputReadsFourConsecutiveUsageIndicesInWhateverOrderDeclared)
{
    struct Placed {
        float pos[4];
        float rows[4][4];
    };
    const std::vector<VertexElement> elements = {{0, 0, kDeclFloat4, 0, kDeclUsagePosition, 0},
                                                 {0, 48, kDeclFloat4, 0, kDeclUsageBlendWeight, 2},
                                                 {0, 16, kDeclFloat4, 0, kDeclUsageBlendWeight, 0},
                                                 {0, 64, kDeclFloat4, 0, kDeclUsageBlendWeight, 3},
                                                 {0, 32, kDeclFloat4, 0, kDeclUsageBlendWeight, 1},
                                                 kDeclEnd};
    // Twice as wide, moved right and 6 pixels down: x' = 2x + 1.28125 puts the
    // edges of pixels 0 and 4 at those of pixels 4 and 12.
    SetVertices<Placed>(
        elements,
        [](const gfx_test::Vertex& v) {
            return Placed{{v.x, v.y, v.z, v.w}, {{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1.28125f, -6 * kStep, 0, 1}}};
        },
        0, 0, 4, 4);
    const float colour[4] = {0, 0, 1, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("Colour", colour));
    DrawWith("matrixInput");
    ExpectRectangle(4, 6, 12, 10, 0xFF0000FFu);
}

TEST_F(GfxRasterSemantics, ValuesOfAnySemanticReachThePixelStageAndOnesNeverWrittenReadZero)
{
    struct Plain {
        float pos[4];
    };
    SetVertices<Plain>({{0, 0, kDeclFloat4, 0, kDeclUsagePosition, 0}, kDeclEnd},
                       [](const gfx_test::Vertex& v) { return Plain{{v.x, v.y, v.z, v.w}}; }, 2, 2, 10, 10);
    DrawWith("spread");
    // COLOR2's red and the matrix's third row's blue; TEXCOORD0 adds nothing,
    // though COLOR2 lies where TEXCOORD0 has its fixed place.
    ExpectRectangle(2, 2, 10, 10, 0xFF6600FFu);
}

} // namespace
