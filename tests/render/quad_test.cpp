// Screen quads: vertices, texture coordinates, normals and indices of grids
// of several sizes, the half-pixel shift and refused divisions.
#include "render/resources/quad.h"

#include <gtest/gtest.h>

#include "mesh_test_support.h"
#include "render/resources/mesh.h"
#include "tests/render/device_fixture.h"

using mesh_test::Component;
using mesh_test::Indices;
using render_test::DeviceRun;

namespace {
class Quads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run.Start()); }
    DeviceRun run;
};

using Floats = std::vector<float>;
} // namespace

TEST_F(Quads, ATwoByTwoQuadOfOneDivision)
{
    MeshResource mesh;
    run.ClearOut();
    ASSERT_TRUE(CreateQuadOfSize(mesh, 2, 2, 1, 0));
    EXPECT_EQ(run.Out(), "Quad created.\n");
    EXPECT_EQ(mesh.GetState(), 2u);
    const Floats positions[] = {{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0}};
    const Floats texcoords[] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};
    for (uint32_t v = 0; v < 4; ++v) {
        EXPECT_EQ(Component(mesh, v, gfx::kDeclUsagePosition, 3), positions[v]) << v;
        EXPECT_EQ(Component(mesh, v, gfx::kDeclUsageTexcoord, 2), texcoords[v]) << v;
        EXPECT_EQ(Component(mesh, v, gfx::kDeclUsageNormal, 3), (Floats{0, 0, -1})) << v;
    }
    MeshData* data = mesh.GetPayload();
    ASSERT_EQ(data->baseSubsets.count, 1u);
    MeshSubset& subset = data->baseSubsets.items[0];
    EXPECT_EQ(Indices(subset), (std::vector<uint32_t>{3, 0, 2, 3, 1, 0}));
    IndexBufferData* indices = subset.GetPayload();
    EXPECT_EQ(indices->indicesPerPrimitive, 3);
    EXPECT_EQ(indices->primitiveCount, 2u);
    EXPECT_EQ(indices->subsetScalar, 2.0f);
    EXPECT_EQ(indices->subsetValues.w, 1.0f);
    // The default declaration: 56 bytes per vertex.
    EXPECT_EQ(data->baseDecl.GetPayload()->GetStreamStride(0), 56u);
    EXPECT_EQ(data->baseVertexSet.buffer.GetPayload()->vertexCount, 4u);
}

TEST_F(Quads, GridsOfSeveralSizesIndexEveryCell)
{
    for (uint32_t d : {2u, 3u, 5u}) {
        MeshResource mesh;
        ASSERT_TRUE(mesh.CreateQuad(4, 2, d, 0));
        MeshSubset& subset = mesh.GetPayload()->baseSubsets.items[0];
        const std::vector<uint32_t> indices = Indices(subset);
        ASSERT_EQ(indices.size(), 6u * d * d);
        // Cell (r, c) is split along a-f: f, a, e, f, b, a.
        for (uint32_t r = 0; r < d; ++r) {
            for (uint32_t c = 0; c < d; ++c) {
                const uint32_t a = r * (d + 1) + c, b = a + 1, e = a + d + 1, f = e + 1;
                const size_t at = 6 * (r * d + c);
                EXPECT_EQ((std::vector<uint32_t>(indices.begin() + at, indices.begin() + at + 6)),
                          (std::vector<uint32_t>{f, a, e, f, b, a}))
                    << d << " " << r << " " << c;
            }
        }
        // The far corner and the texture coordinates of the middle of the first row.
        EXPECT_EQ(Component(mesh, (d + 1) * (d + 1) - 1, gfx::kDeclUsagePosition, 3), (Floats{2, 1, 0}));
        const float s = 1.0f / static_cast<float>(d);
        EXPECT_EQ(Component(mesh, 1, gfx::kDeclUsageTexcoord, 2), (Floats{s, 1}));
        EXPECT_EQ(subset.GetPayload()->subsetScalar, 4.0f);
    }
}

TEST_F(Quads, HalfPixelShiftsLeftAndUp)
{
    MeshResource mesh;
    ASSERT_TRUE(CreateQuadOfSize(mesh, 1280, 720, 1, 1));
    EXPECT_EQ(Component(mesh, 0, gfx::kDeclUsagePosition, 3), (Floats{-640.5f, -359.5f, 0}));
    EXPECT_EQ(Component(mesh, 3, gfx::kDeclUsagePosition, 3), (Floats{639.5f, 360.5f, 0}));
    EXPECT_EQ(mesh.GetPayload()->baseSubsets.items[0].GetPayload()->subsetScalar, 1280.0f);
}

TEST_F(Quads, FlippedAndWideIndexTables)
{
    MeshResource mesh;
    ASSERT_TRUE(mesh.CreateQuad(2, 2, 1, 0));
    MeshData* data = mesh.GetPayload();
    IndexBufferData* indices = data->baseSubsets.items[0].GetPayload();
    mesh.lockedIndices16 = static_cast<uint16_t*>(indices->LockIndexBuffer(0));
    mesh.FillVertexStreams(0, 0, false, 1, -1, 1, -1, 1, 0, 0, 1);
    indices->UnlockIndexBuffer();
    EXPECT_EQ(Indices(data->baseSubsets.items[0]), (std::vector<uint32_t>{2, 0, 3, 0, 1, 3}));

    // 32-bit indices: split along b-e.
    indices->AllocIndexBuffer(6, 70000, 8);
    mesh.lockedIndices32 = static_cast<uint32_t*>(indices->LockIndexBuffer(0));
    mesh.lockedIndices16 = nullptr;
    mesh.FillVertexStreams(0, 0, true, 1, -1, 1, -1, 1, 0, 0, 0);
    indices->UnlockIndexBuffer();
    EXPECT_EQ(Indices(data->baseSubsets.items[0]), (std::vector<uint32_t>{2, 1, 0, 2, 3, 1}));
    mesh.lockedIndices32 = static_cast<uint32_t*>(indices->LockIndexBuffer(0));
    mesh.FillVertexStreams(0, 0, true, 1, -1, 1, -1, 1, 0, 0, 1);
    indices->UnlockIndexBuffer();
    EXPECT_EQ(Indices(data->baseSubsets.items[0]), (std::vector<uint32_t>{0, 1, 2, 1, 3, 2}));
    mesh.lockedIndices32 = nullptr;
}

TEST_F(Quads, ZeroDivisionsAreRefused)
{
    MeshResource mesh;
    run.ClearOut();
    EXPECT_FALSE(CreateQuadOfSize(mesh, 2, 2, 0, 0));
    EXPECT_EQ(run.Out(), "");
    EXPECT_FALSE(mesh.IsValid());
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_NE(run.Boxes()[0].text.find("Quad of 0 divisions refused."), std::string::npos);
}

TEST_F(Quads, BuiltVertexBuffersIndexEveryPoint)
{
    MeshResource mesh;
    const std::vector<float3> positions = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const std::vector<MeshResource::TexCoord> uvs = {{0.5f, 0.25f}, {1, 0}, {0, 1}};
    mesh.BuildVertexBuffer(positions, &uvs, nullptr);
    EXPECT_EQ(mesh.GetState(), 2u);
    MeshSubset& subset = mesh.GetPayload()->baseSubsets.items[0];
    EXPECT_EQ(Indices(subset), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(subset.GetPayload()->indicesPerPrimitive, 2);
    EXPECT_EQ(subset.GetPayload()->primitiveCount, 1u);
    EXPECT_EQ(subset.GetPayload()->subsetScalar, 1000.0f);
    EXPECT_EQ(Component(mesh, 1, gfx::kDeclUsagePosition, 3), (Floats{4, 5, 6}));
    EXPECT_EQ(Component(mesh, 0, gfx::kDeclUsageTexcoord, 2), (Floats{0.5f, 0.25f}));
    // A second mesh shares the one default declaration.
    MeshResource other;
    other.BuildVertexBufferNoNormals(positions, nullptr);
    EXPECT_EQ(other.GetPayload()->baseDecl.GetBlock(), mesh.GetPayload()->baseDecl.GetBlock());
}
