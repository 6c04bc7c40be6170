// Mesh payload copies, the render thread's "UnlockVB", and what a mesh does
// when it is given a name.
#include <gtest/gtest.h>

#include "kernel/resource_tasks.h"
#include "mesh_test_support.h"
#include "platform/gfx/device/vertex_layout.h"
#include "render/resources/material.h"
#include "render/resources/mesh.h"
#include "tests/render/device_fixture.h"

using mesh_test::Component;
using mesh_test::Indices;
using render_test::DeviceRun;

namespace {
class Meshes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run.Start()); }
    DeviceRun run;
};

void BuildTriangle(MeshResource& mesh)
{
    mesh.BuildVertexBuffer({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, nullptr, nullptr);
}
} // namespace

TEST_F(Meshes, ANewMeshStartsAtTheBaseWithADistanceOfMinusOne)
{
    MeshResource mesh;
    mesh.CreateUnique();
    MeshData* data = mesh.GetPayload();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->baseLodDistance, -1.0f);
    EXPECT_EQ(data->currentLodDistance, &data->baseLodDistance);
    EXPECT_EQ(data->CurrentLevel(), -1);
    EXPECT_EQ(data->LevelCount(), 0);
}

TEST_F(Meshes, ACopySharesEveryBlockCountedAndOutlivesItsSource)
{
    auto target = std::make_unique<MeshResource>();
    MaterialResource material;
    MakeUniqueMaterial(material);
    {
        MeshResource source;
        BuildTriangle(source);
        MeshData* from = source.GetPayload();
        from->baseSubsets.items[0].material.AttachById(material.GetId());

        target->CreateUnique();
        source.CopyPayloadTo(*target);
        MeshData* to = target->GetPayload();
        EXPECT_EQ(target->GetState(), resource_state::kLoaded);
        EXPECT_EQ(to->baseVertexSet.buffer.GetBlock(), from->baseVertexSet.buffer.GetBlock());
        EXPECT_EQ(to->baseDecl.GetBlock(), from->baseDecl.GetBlock());
        ASSERT_EQ(to->baseSubsets.count, 1u);
        EXPECT_NE(to->baseSubsets.items.get(), from->baseSubsets.items.get());
        EXPECT_EQ(to->baseSubsets.items[0].GetBlock(), from->baseSubsets.items[0].GetBlock());
        EXPECT_EQ(to->baseSubsets.items[0].material.GetBlock(), material.GetBlock());
        EXPECT_EQ(to->currentSubsets, &to->baseSubsets);
        EXPECT_EQ(VertexBufferResource::ReferenceCount(from->baseVertexSet.buffer.GetId()), 2u);
    }
    // The source is gone; the copy still draws the triangle.
    EXPECT_EQ(Component(*target, 2, gfx::kDeclUsagePosition, 3), (std::vector<float>{7, 8, 9}));
    EXPECT_EQ(Indices(target->GetPayload()->baseSubsets.items[0]), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(target->GetPayload()->baseSubsets.items[0].material.GetBlock(), material.GetBlock());
    target.reset();
    EXPECT_TRUE(material.IsValid());
}

TEST_F(Meshes, ACopyShowsTheSameLevelAndSharesEveryLevel)
{
    MeshResource source;
    BuildTriangle(source);
    source.AllocLods(2);
    MeshData* from = source.GetPayload();
    from->lodDistances.items[0] = 10.0f;
    from->lodDistances.items[1] = 20.0f;
    from->SelectLevel(1);

    MeshResource target;
    target.CreateUnique();
    source.CopyPayloadTo(target);
    MeshData* to = target.GetPayload();
    EXPECT_EQ(to->LevelCount(), 2);
    EXPECT_EQ(to->CurrentLevel(), 1);
    EXPECT_EQ(*to->currentLodDistance, 20.0f);
    for (int level = 0; level < 2; ++level)
        EXPECT_EQ(to->lodVertexSets.items[level].buffer.GetBlock(), from->lodVertexSets.items[level].buffer.GetBlock());
    EXPECT_EQ(to->currentVertexSet, &to->lodVertexSets.items[1]);
}

TEST_F(Meshes, NothingIsCopiedIntoAHandleWithoutABlockOrIntoItself)
{
    MeshResource source;
    BuildTriangle(source);
    MeshResource empty;
    source.CopyPayloadTo(empty);
    EXPECT_FALSE(empty.IsValid());
    source.CopyPayloadTo(source);
    EXPECT_EQ(source.GetPayload()->baseSubsets.count, 1u);
}

TEST_F(Meshes, UnlockVBUnlocksTheMeshBufferAndMarksTheWordDone)
{
    MeshResource mesh;
    BuildTriangle(mesh);
    ASSERT_NE(mesh.LockVertexBuffer(0), nullptr);
    gfx::VertexBuffer* buffer = mesh.GetPayload()->currentVertexSet->buffer.GetPayload()->buffer;
    ASSERT_EQ(buffer->LockCount(), 1u);

    uint32_t done = 0;
    TaskMessage task;
    task.taskId = kUnlockVBTask;
    task.Set<UnlockVBArgs::Mesh>(&mesh);
    task.Set<UnlockVBArgs::Done>(&done);
    UnlockVBModule module;
    module.HandleUnlockVB(&task);
    EXPECT_EQ(buffer->LockCount(), 0u);
    EXPECT_EQ(done, 2u);
}

TEST_F(Meshes, ANameSharesARegisteredMeshAndLoadsNothing)
{
    MeshResource rock;
    BuildTriangle(rock);
    rock.SetName("rock");
    run.ClearOut();
    MeshResource named;
    EXPECT_FALSE(named.LoadByName("rock"));
    EXPECT_EQ(named.GetBlock(), rock.GetBlock());

    MeshResource unknown;
    EXPECT_TRUE(unknown.LoadByName("nowhere"));
    EXPECT_EQ(unknown.GetState(), resource_state::kLoading);
    EXPECT_EQ(unknown.GetPayload()->baseSubsets.count, 0u);
    EXPECT_EQ(run.Out(), "");
    unknown.SetState(resource_state::kLoaded);

    // Index buffers keep the template's own load, which says so.
    IndexBufferResource indices;
    indices.LoadByName("indices");
    EXPECT_EQ(run.Out(), "Sick my duck\n");
    indices.SetState(resource_state::kLoaded);
}
