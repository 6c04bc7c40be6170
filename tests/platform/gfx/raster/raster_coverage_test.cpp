// Which pixels a triangle covers: the platform puts pixel centres on whole
// coordinates, and a centre that lies exactly on an edge belongs to the
// triangle only when the edge is a top edge (horizontal, the others below it)
// or a left edge. Every picture here is checked pixel for pixel against that
// rule computed on the CPU, under additive blending, so a pixel drawn twice
// shows as well as one left out.
#include <cmath>

#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;
using gfx_test::Channel;
using gfx_test::Vertex;

namespace {

const std::string kEffect = R"(
float4 Colour;
float4 PassOn(float4 pos : POSITION) : POSITION { return pos; }
float4 Flat() : COLOR { return Colour; }
technique added
{
    pass p
    {
        CullMode = None; ZEnable = false;
        AlphaBlendEnable = true; SrcBlend = One; DestBlend = One;
        VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 Flat();
    }
}
)";

using gfx_test::Covers;
using gfx_test::Point;

class GfxRasterCoverage : public gfx_test::RasterTestWith<kEffect> {
protected:
    static constexpr int kStep = 0x20; // what one draw adds to a pixel's red

    void SetUp() override
    {
        RasterTestWith::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            SetColour(kStep / 255.0f, 0, 0, 1);
    }

    // Clip space of a point; whole and half pixels are exact in it.
    static Vertex ClipOf(Point p)
    {
        return {float(p.x * 2.0 / kWidth - 1.0), float(1.0 - p.y * 2.0 / kHeight), 0.5f, 1.0f, 0, 0};
    }

    // Draws the triangles (three points each, either winding) at once and
    // counts, for every pixel, the triangles the rule gives it; where they
    // tile the target, that is one for every pixel.
    void DrawAndExpect(const std::vector<Point>& corners, bool tiling = false)
    {
        Clear();
        std::vector<Vertex> vertices;
        std::vector<uint16_t> indices;
        for (const Point& p : corners) {
            indices.push_back(uint16_t(vertices.size()));
            vertices.push_back(ClipOf(p));
        }
        SetGeometry(vertices, indices);
        DrawWith("added");
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                int count = 0;
                for (size_t t = 0; t + 2 < corners.size(); t += 3)
                    count += Covers(&corners[t], {double(x), double(y)}) ? 1 : 0;
                if (tiling) {
                    ASSERT_EQ(count, 1) << "the rule itself at " << x << "," << y;
                }
                ASSERT_EQ(std::min(255, count * kStep), Channel(Pixel(x, y), 16))
                    << "pixel " << x << "," << y << " is drawn " << count << " times by the rule";
            }
    }

    // Two triangles of the rectangle between the corners, in pixel coordinates.
    static std::vector<Point> Quad(double left, double top, double right, double bottom)
    {
        return {{left, top}, {right, top}, {right, bottom}, {left, top}, {right, bottom}, {left, bottom}};
    }
};

TEST_F(GfxRasterCoverage, AQuadAtExactlyTheClipEdgesCoversEveryPixelOnce)
{
    // -1..1 in clip space: its edges run through the centres of the first row and column.
    DrawAndExpect(Quad(0, 0, kWidth, kHeight), true);
}

TEST_F(GfxRasterCoverage, FourQuadsTilingTheTargetDrawEveryPixelOnce)
{
    struct Case {
        double x, y; // where the four meet
        double shift; // of every corner
    } cases[] = {{16, 16, 0}, {13, 7, 0}, {1, 30, 0}, {16, 16, -0.5}, {13, 7, -0.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE("meeting at " + std::to_string(c.x) + "," + std::to_string(c.y) + " moved " + std::to_string(c.shift));
        const double s = c.shift;
        std::vector<Point> corners;
        for (const auto& q : {Quad(s, s, c.x + s, c.y + s), Quad(c.x + s, s, kWidth + s, c.y + s),
                              Quad(s, c.y + s, c.x + s, kHeight + s), Quad(c.x + s, c.y + s, kWidth + s, kHeight + s)})
            corners.insert(corners.end(), q.begin(), q.end());
        DrawAndExpect(corners, true);
    }
}

TEST_F(GfxRasterCoverage, EdgesThroughPixelCentresInEveryDirectionFollowTheTopLeftRule)
{
    // Fans around a centre whose spokes and rims run through pixel centres
    // at every slope the rings give: horizontal, vertical, diagonal and
    // steeper and shallower ones, each triangle in both windings.
    struct Fan {
        Point centre;
        std::vector<Point> rim;
    } fans[] = {
        {{16, 16}, {{6, 6}, {16, 6}, {26, 6}, {26, 16}, {26, 26}, {16, 26}, {6, 26}, {6, 16}}},
        {{15, 17}, {{16, 3}, {22, 9}, {29, 16}, {23, 21}, {16, 29}, {9, 22}, {3, 16}, {10, 10}}},
        {{11, 13}, {{11, 2}, {19, 4}, {24, 13}, {19, 22}, {11, 25}, {3, 21}, {1, 13}, {3, 5}}},
    };
    for (const Fan& fan : fans) {
        std::vector<Point> corners;
        for (size_t i = 0; i < fan.rim.size(); ++i) {
            const Point& a = fan.rim[i];
            const Point& b = fan.rim[(i + 1) % fan.rim.size()];
            if (i % 2 == 0)
                corners.insert(corners.end(), {fan.centre, a, b});
            else
                corners.insert(corners.end(), {fan.centre, b, a});
        }
        DrawAndExpect(corners);
        if (HasFatalFailure())
            return;
    }
    // And lone triangles whose edges alone pass through centres: each edge a
    // top, bottom, left or right one.
    DrawAndExpect({{2, 2}, {12, 2}, {2, 12},     // top and left
                   {29, 2}, {29, 12}, {19, 12},  // right and bottom
                   {4, 28}, {14, 18}, {14, 28},  // bottom and right, a diagonal on the other side
                   {20, 16}, {30, 20}, {22, 30}}); // no edge straight
}

} // namespace
