// The data tool's pieces: the shapes are closed, face outwards and carry a
// full vertex; the ground's transfer is the cosine lobe's projection where
// nothing blocks the sky and loses what a blocker hides; the transfer's byte
// encoding round-trips; the image files read back through the engine's own
// decoder texel for texel.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/image_decode.h"
#include "tools/makedata/ground_transfer.h"
#include "tools/makedata/image_files.h"
#include "tools/makedata/noise.h"
#include "tools/makedata/shapes.h"

namespace {

using namespace makedata;
constexpr double kPi = std::numbers::pi;

struct ShapeCase {
    const char* name;
    std::function<MeshGeometry()> make;
    double volume; // of the smooth shape
    double tolerance;
};

// The signed volume the triangles enclose: positive when they face outwards.
double EnclosedVolume(const MeshGeometry& mesh)
{
    double volume = 0.0;
    for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
        const float3 a = mesh.vertices[mesh.indices[i]].position;
        const float3 b = mesh.vertices[mesh.indices[i + 1]].position;
        const float3 c = mesh.vertices[mesh.indices[i + 2]].position;
        volume += Dot(a, Cross(b, c)) / 6.0;
    }
    return volume;
}

const ShapeCase kShapes[] = {
    {"sphere", [] { return MakeSphere(0.75f, 32, 16); }, 4.0 / 3.0 * kPi * 0.75 * 0.75 * 0.75, 0.03},
    {"cylinder", [] { return MakeCylinder(0.45f, 1.8f, 32); }, kPi * 0.45 * 0.45 * 1.8, 0.02},
    {"cone", [] { return MakeCone(0.8f, 1.6f, 32); }, kPi * 0.8 * 0.8 * 1.6 / 3.0, 0.02},
    {"torus", [] { return MakeTorus(0.7f, 0.25f, 48, 16); }, 2.0 * kPi * kPi * 0.7 * 0.25 * 0.25, 0.03},
    {"box", [] { return MakeBox({-2, -0.5f, -3}, {2, 0, 3}); }, 4.0 * 0.5 * 6.0, 1e-5},
};

} // namespace

TEST(MakeDataShapes, AreClosedFaceOutwardsAndCarryFullVertices)
{
    for (const ShapeCase& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        const MeshGeometry mesh = shape.make();
        ASSERT_FALSE(mesh.indices.empty());
        ASSERT_EQ(mesh.indices.size() % 3, 0u);
        // Outward facing, and closed: the volume is the shape's.
        const double volume = EnclosedVolume(mesh);
        EXPECT_NEAR(volume, shape.volume, shape.volume * shape.tolerance);
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
            const MeshVertex& a = mesh.vertices[mesh.indices[i]];
            const MeshVertex& b = mesh.vertices[mesh.indices[i + 1]];
            const MeshVertex& c = mesh.vertices[mesh.indices[i + 2]];
            const float3 face = Cross(b.position - a.position, c.position - a.position);
            ASSERT_GT(Dot(face, a.normal + b.normal + c.normal), 0.0f) << "triangle " << i / 3;
        }
        for (const MeshVertex& v : mesh.vertices) {
            EXPECT_NEAR(Length(v.normal), 1.0f, 1e-4f);
            EXPECT_NEAR(Length(v.tangent), 1.0f, 1e-4f);
            EXPECT_NEAR(Dot(v.normal, v.tangent), 0.0f, 1e-4f);
            EXPECT_NEAR(Dot(v.normal, v.binormal), 0.0f, 1e-4f);
            EXPECT_GE(v.u, 0.0f);
            EXPECT_LE(v.u, 1.0f);
            EXPECT_GE(v.v, 0.0f);
            EXPECT_LE(v.v, 1.0f);
        }
        const Sphere bounds = BoundsOf(mesh);
        for (const MeshVertex& v : mesh.vertices)
            EXPECT_LE(Length(v.position - bounds.centre), bounds.radius + 1e-5f);
    }
}

TEST(MakeDataShapes, BoxFacesContinueTheTopFaceMapping)
{
    const float3 low{-2, -1, -4}, high{2, 0, 4};
    const MeshGeometry box = MakeBox(low, high);
    for (const MeshVertex& v : box.vertices) {
        float u = 0, w = 0;
        BoxTopUV(low, high, v.position.x, v.position.z, u, w);
        EXPECT_FLOAT_EQ(v.u, u);
        EXPECT_FLOAT_EQ(v.v, w);
    }
    float u = 0, v = 0;
    BoxTopUV(low, high, -2, 4, u, v); // low x, high z: the texture's first texel
    EXPECT_FLOAT_EQ(u, 0.0f);
    EXPECT_FLOAT_EQ(v, 0.0f);
    BoxTopUV(low, high, 1, -2, u, v);
    EXPECT_FLOAT_EQ(u, 0.75f);
    EXPECT_FLOAT_EQ(v, 0.75f);
}

namespace {

// A flat square of two triangles at height y, centred on (x, z).
Occluder Roof(float x, float z, float y, float half)
{
    Occluder roof;
    const float3 a{x - half, y, z - half}, b{x + half, y, z - half}, c{x - half, y, z + half}, d{x + half, y, z + half};
    roof.triangles = {{a, b, c}, {b, d, c}};
    roof.bounds = {{x, y, z}, half * 1.5f};
    return roof;
}

// A wall standing on the x = 0 plane's +x side, reaching far up and along z.
Occluder WallOnPlusX()
{
    Occluder wall;
    const float h = 1000.0f;
    const float3 a{1e-2f, -1, -h}, b{1e-2f, -1, h}, c{1e-2f, h, -h}, d{1e-2f, h, h};
    wall.triangles = {{a, b, c}, {b, d, c}};
    wall.bounds = {{0, 0, 0}, 2000.0f};
    return wall;
}

} // namespace

TEST(MakeDataTransfer, OpenSkyGivesTheCosineLobesProjection)
{
    double t[kTransferTerms];
    TransferAt({}, {0, 0, 0}, 16, t);
    // Y00 everywhere; Y10 = 0.4886 cos, whose cosine-weighted mean is 2/3 of it.
    EXPECT_NEAR(t[0], 0.28209479, 1e-6);
    EXPECT_NEAR(t[1], 0.0, 0.01);
    EXPECT_NEAR(t[2], 0.48860251 * 2.0 / 3.0, 0.005);
    EXPECT_NEAR(t[3], 0.0, 0.01);
}

TEST(MakeDataTransfer, BlockersTakeAwayWhatTheyHide)
{
    struct Case {
        const char* what;
        std::vector<Occluder> occluders;
        double t0, t1, t3;
        double tolerance;
    };
    const Case cases[] = {
        {"a roof over everything", {Roof(0, 0, 0.5f, 1000.0f)}, 0.0, 0.0, 0.0, 1e-9},
        {"a roof far off to the side", {Roof(50, 50, 0.5f, 1.0f)}, 0.28209479, 0.0, 0.0, 0.01},
        // Only rays towards -x get out: Y11 = -0.4886 x is then positive.
        {"a wall on the +x side", {WallOnPlusX()}, 0.28209479 / 2, 0.0, 0.48860251 * 2.0 / (3.0 * kPi), 0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double t[kTransferTerms];
        TransferAt(c.occluders, {0, 0, 0}, 24, t);
        EXPECT_NEAR(t[0], c.t0, c.tolerance);
        EXPECT_NEAR(t[1], c.t1, c.tolerance);
        EXPECT_NEAR(t[3], c.t3, c.tolerance);
    }
}

TEST(MakeDataTransfer, PartsEncodeAndDecode)
{
    for (const double value : {0.0, 0.1, -0.1, 0.2820948, -0.3257, 0.49, -0.49}) {
        SCOPED_TRACE(value);
        const double back = DecodeTransfer(EncodeTransferPart(value), EncodeTransferPart(-value));
        EXPECT_NEAR(back, value, 0.5 / (255.0 * kTransferScale) + 1e-12);
        // One of the two bytes is always 0.
        EXPECT_EQ(std::min(EncodeTransferPart(value), EncodeTransferPart(-value)), 0);
    }
    EXPECT_EQ(EncodeTransferPart(1.0), 255); // beyond the scale: clamped
    EXPECT_EQ(EncodeTransferPart(-0.2), 0);
}

TEST(MakeDataTransfer, BakedTexelsHoldTheTransferOfTheirPoint)
{
    const std::vector<Occluder> occluders = {Roof(1.0f, 1.0f, 0.3f, 1.5f)};
    const float3 low{0, 0, 0}, high{4, 0, 4};
    const TransferTextures baked = BakeGroundTransfer(occluders, low, high, 8, 8);
    ASSERT_EQ(baked.positive.width, 8u);
    ASSERT_EQ(baked.negative.height, 8u);
    // Texel (2, 5): u = 2.5 / 8 -> x 1.25, v = 5.5 / 8 -> z 4 - 2.75 = 1.25, under the roof.
    const Image& p = baked.positive;
    const Image& n = baked.negative;
    auto term = [&](uint32_t i, uint32_t j, int byte) {
        return DecodeTransfer(const_cast<Image&>(p).Texel(i, j)[byte], const_cast<Image&>(n).Texel(i, j)[byte]);
    };
    EXPECT_LT(term(2, 5, 2), 0.1); // R: T0, mostly hidden
    // Texel (7, 0) is far from it: nearly the open sky.
    EXPECT_NEAR(term(7, 0, 2), 0.2820948, 0.03);
    EXPECT_NEAR(term(7, 0, 0), 0.3257, 0.03); // B: T2
}

TEST(MakeDataImages, ReadBackThroughTheEngineDecoderTexelForTexel)
{
    struct Case {
        const char* what;
        Image image;
        std::function<std::vector<uint8_t>(const Image&)> encode;
        gfx::ImageFileType type;
        gfx::ImageKind kind;
    };
    const Case cases[] = {
        {"volume DDS", WhiteNoise(8, 4, 7), EncodeDds, gfx::ImageFileType::Dds, gfx::ImageKind::Volume},
        {"2D DDS", WhiteNoise(16, 1, 8), EncodeDds, gfx::ImageFileType::Dds, gfx::ImageKind::Texture2D},
        {"TGA", WhiteNoise(16, 1, 9), EncodeTga, gfx::ImageFileType::Tga, gfx::ImageKind::Texture2D},
        {"BMP", WhiteNoise(16, 1, 10), EncodeBmp, gfx::ImageFileType::Bmp, gfx::ImageKind::Texture2D},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = c.encode(c.image);
        gfx::DecodedImage decoded;
        const gfx::DecodeResult result = gfx::DecodeImage(file.data(), file.size(), decoded);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(decoded.fileType, c.type);
        EXPECT_EQ(decoded.kind, c.kind);
        EXPECT_EQ(decoded.format, static_cast<uint32_t>(gfx::kFormatA8R8G8B8));
        EXPECT_EQ(decoded.width, c.image.width);
        EXPECT_EQ(decoded.height, c.image.height);
        EXPECT_EQ(decoded.depth, c.image.depth);
        EXPECT_EQ(decoded.levels, 1u);
        EXPECT_TRUE(std::equal(decoded.bytes.begin(), decoded.bytes.end(), c.image.bgra.begin(), c.image.bgra.end()));
    }
}

