// Pictures drawn with semantics beyond the fixed places: each declaration
// element reaches the vertex input of its usage and index, and the pixel stage
// reads each value from the vertex output of its semantic.
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;

namespace {

const char* kEffect = R"(
void Carried(float4 p : POSITION0, float4 offset : POSITION1, float4 tint : COLOR2, float4 weight : BLENDWEIGHT1,
             out float4 pos : POSITION, out float4 colour : COLOR2)
{
    pos = p + float4(offset.xy, 0, 0);
    colour = tint * weight;
}
float4 Coloured(float4 none : TEXCOORD0, float4 c : COLOR2) : COLOR { return c + none; }
technique usageOne { pass p { VertexShader = compile vs_3_0 Carried(); PixelShader = compile ps_3_0 Coloured(); } }

float4 Placed(float4 p : POSITION, float4x4 w : BLENDWEIGHT, out float4x4 m : NORMAL2) : POSITION
{
    m = w;
    return mul(p, w);
}
float4 ThirdRow(float4x4 m : NORMAL2) : COLOR { return float4(0, 0, m[2].z, 1); }
technique matrixInput { pass p { VertexShader = compile vs_3_0 Placed(); PixelShader = compile ps_3_0 ThirdRow(); } }
)";

class GfxRasterSemantics : public gfx_test::RasterTest {
protected:
    template <class V, class Make>
    void Draw(const char* technique, const std::vector<VertexElement>& elements, Make make, float right, float bottom)
    {
        UseEffect(kEffect);
        VertexDeclaration* declared = nullptr;
        ASSERT_EQ(kOk, device->CreateVertexDeclaration(elements.data(), &declared));
        owned.push_back(declared);
        ASSERT_EQ(kOk, device->SetVertexDeclaration(declared));
        std::vector<V> vertices;
        for (const gfx_test::Vertex& corner : Rectangle(0, 0, right, bottom))
            vertices.push_back(make(corner));
        SetGeometry(vertices, RectangleIndices());
        Clear();
        DrawWith(technique);
    }
    static constexpr float kStep = 2.0f / kWidth; // one pixel in clip units
};

TEST_F(GfxRasterSemantics, InputsOfUsageIndexOneAreReadFromTheElementsOfTheirUsageAndIndex)
{
    struct Carried {
        float pos[4], weight0[4], pos1[4]; // no input reads BLENDWEIGHT0, whose fixed place POSITION1 takes
        uint32_t colour2;
        float weight1[4];
    };
    Draw<Carried>("usageOne",
                  {{0, 0, kDeclFloat4, 0, kDeclUsagePosition, 0}, {0, 16, kDeclFloat4, 0, kDeclUsageBlendWeight, 0},
                   {0, 32, kDeclFloat4, 0, kDeclUsagePosition, 1}, {0, 48, kDeclColor, 0, kDeclUsageColor, 2},
                   {0, 52, kDeclFloat4, 0, kDeclUsageBlendWeight, 1}, kDeclEnd},
                  [](const gfx_test::Vertex& v) {
                      return Carried{{v.x, v.y, v.z, v.w}, {-1.5f, 1.5f, 0, 0}, {8 * kStep, -4 * kStep, 0, 0},
                                     0xFFFF8000u, {0, 1, 1, 1}};
                  },
                  8, 8);
    // Moved by POSITION1, coloured COLOR2 times BLENDWEIGHT1; TEXCOORD0, never
    // written, adds nothing though COLOR2 lies at its fixed place.
    ExpectRectangle(8, 4, 16, 12, 0xFF008000u);
}

TEST_F(GfxRasterSemantics, AMatrixInputReadsFourConsecutiveUsageIndicesWhateverTheirOrder)
{
    struct Placed {
        float pos[4], rows[4][4];
    };
    // Twice as wide, moved right and 6 pixels down: x' = 2x + 1.28125 puts the
    // edges of pixels 0 and 4 at those of pixels 4 and 12.
    Draw<Placed>("matrixInput",
                 {{0, 0, kDeclFloat4, 0, kDeclUsagePosition, 0}, {0, 48, kDeclFloat4, 0, kDeclUsageBlendWeight, 2},
                  {0, 16, kDeclFloat4, 0, kDeclUsageBlendWeight, 0}, {0, 64, kDeclFloat4, 0, kDeclUsageBlendWeight, 3},
                  {0, 32, kDeclFloat4, 0, kDeclUsageBlendWeight, 1}, kDeclEnd},
                 [](const gfx_test::Vertex& v) {
                     return Placed{{v.x, v.y, v.z, v.w},
                                   {{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1.28125f, -6 * kStep, 0, 1}}};
                 },
                 4, 4);
    ExpectRectangle(4, 6, 12, 10, 0xFF0000FFu); // and the pixel stage reads the matrix's third row
}

// Forms of semantics that change what is drawn: a quad over the whole
// target whose colour is its texture coordinates, each pixel compared with
// what they are at its centre.
class GfxRasterSemanticForms : public gfx_test::RasterTest {};

TEST_F(GfxRasterSemanticForms, ArraysCentroidsAndThePositionByItsNewNameCarryTheCoordinates)
{
    const struct {
        const char* name;
        std::string effect;
    } cases[] = {
        {"an array between the stages takes consecutive indices",
         "void VS(float4 p : POSITION, float2 uv : TEXCOORD0, out float4 o : POSITION, out float2 t[3] : TEXCOORD1)\n"
         "{ o = p; t[0] = float2(uv.x, 0); t[1] = float2(0, uv.y); t[2] = float2(0.5, 0); }\n"
         "float4 PS(float2 a : TEXCOORD1, float2 b : TEXCOORD2, float2 c : TEXCOORD3) : COLOR\n"
         "{ return float4(a.x, b.y, c.x, 1); }\n"},
        {"an array in structs of both stages",
         "struct V { float4 pos : POSITION; float2 t[2] : TEXCOORD3; float3x2 m[2] : TEXCOORD5; };\n"
         "V VS(float4 p : POSITION, float2 uv : TEXCOORD0) { V o = (V)0; o.pos = p; o.t[0] = uv.xx;"
         " o.t[1] = uv.yy; o.m[1][2] = float2(0, 0.5); return o; }\n"
         "float4 PS(V i) : COLOR { return float4(i.t[0].x, i.t[1].y, i.m[1][2].y, 1); }\n"},
        {"semantics read at the centroid",
         "void VS(float4 p : POSITION, float2 uv : TEXCOORD0, out float4 o : POSITION,"
         " out float2 t : TEXCOORD2_centroid) { o = p; t = uv; }\n"
         "float4 PS(float2 t : texcoord2_CENTROID) : COLOR { return float4(t, 0.5, 1); }\n"},
        {"the position by its new name in any letter case, in and out",
         "struct V { float4 pos : Sv_Position; float2 uv : TEXCOORD0; };\n"
         "V VS(float4 p : sv_position, float2 uv : TEXCOORD0) { V o; o.pos = p; o.uv = uv; return o; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return float4(uv, 0.5, 1); }\n"},
        {"inputs the pixel stage cannot read, left unread",
         "struct V { float4 pos : POSITION; float fog : FOG; float size : PSIZE; float2 uv : TEXCOORD0; };\n"
         "V VS(float4 p : POSITION, float2 uv : TEXCOORD0) { V o; o.pos = p; o.fog = 1; o.size = 4; o.uv = uv;"
         " return o; }\n"
         "float4 PS(V i) : COLOR { return float4(i.uv, 0.5, 1); }\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string profile = std::string(c.name).find("cannot read") != std::string::npos ? "2_0" : "3_0";
        UseEffect(c.effect + "technique T { pass p { VertexShader = compile vs_" + profile +
                  " VS(); PixelShader = compile ps_" + profile + " PS(); } }\n");
        if (HasFatalFailure())
            return;
        DrawWhole("T");
        ExpectEveryPixel([](uint32_t x, uint32_t y) {
            return gfx_test::Argb((x + 0.5) / kWidth, (y + 0.5) / kHeight, 0.5);
        });
    }
}

} // namespace
