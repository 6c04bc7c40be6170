// The demonstration's data as the start-up meets it: the scene layout stands
// its casters on the ground, inside the view and inside their light cameras'
// windows; and the files the build wrote into the run folder load through the
// engine's own readers as the tool built them: the scene with its compiled
// effect, the volume and 2D jitter textures and the two transfer textures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "kernel/math/euler.h"
#include "kernel/math/float4x4.h"
#include "kernel/math/projection.h"
#include "kernel/math/rotation_matrix.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/image/image_decode.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/textures/texture_resource.h"
#include "testing/test_files.h"
#include "tests/render/effect_test_support.h"
#include "tools/makedata/demo_scene.h"

namespace {

namespace fs = std::filesystem;
using namespace makedata;

float4x4 WorldOf(const SceneObject& object)
{
    float4x4 world = RotationMatrix(QuatFromEulerDegrees(0.0f, object.yawDegrees, 0.0f));
    world.SetRow(3, {object.position.x, object.position.y, object.position.z, 1.0f});
    return world;
}

bool IsCaster(const SceneObject& object) { return object.name != kGroundName; }

// The start-up's view camera on a 1280 x 720 back buffer: where a world point
// lands in clip space after the divide.
float3 ViewClip(float3 point)
{
    float4x4 world = RotationMatrix(QuatFromEulerDegrees(25.0f, 220.0f, 0.0f));
    world.SetRow(3, {6.877f, 5.581f, 6.895f, 1.0f});
    const float4x4 viewProj = Inverse(world) * PerspectiveFovLH(0.45781732f, 1280.0f / 720.0f, 1.0f, 2000.0f);
    const float4 clip = TransformFloat4({point.x, point.y, point.z, 1.0f}, viewProj);
    return {clip.x / clip.w, clip.y / clip.w, clip.z / clip.w};
}

} // namespace

TEST(MakeDataLayout, CastersStandOnTheGroundInViewAndApart)
{
    const DemoLayout layout = MakeDemoLayout();
    const float3 top0 = layout.GroundTopLow(), top1 = layout.GroundTopHigh();
    EXPECT_FLOAT_EQ(top0.y, 0.0f);
    std::vector<Sphere> placed;
    for (const SceneObject& object : layout.objects) {
        if (!IsCaster(object))
            continue;
        SCOPED_TRACE(object.name);
        const float4x4 world = WorldOf(object);
        float lowest = 1e9f;
        for (const MeshVertex& v : object.mesh.vertices) {
            const float3 p = TransformPoint(v.position, world);
            lowest = std::min(lowest, p.y);
            EXPECT_GT(p.x, top0.x);
            EXPECT_LT(p.x, top1.x);
            EXPECT_GT(p.z, top0.z);
            EXPECT_LT(p.z, top1.z);
            // Every vertex is on screen, in front of the camera.
            const float3 clip = ViewClip(p);
            EXPECT_LT(std::fabs(clip.x), 0.95f);
            EXPECT_LT(std::fabs(clip.y), 0.95f);
            EXPECT_GT(clip.z, 0.0f);
        }
        EXPECT_NEAR(lowest, 0.0f, 1e-4f);
        const Sphere local = BoundsOf(object.mesh);
        placed.push_back({TransformPoint(local.centre, world), local.radius});
    }
    for (size_t i = 0; i < placed.size(); ++i)
        for (size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_GT(Length(placed[i].centre - placed[j].centre), placed[i].radius + placed[j].radius)
                << i << " and " << j << " overlap";
}

TEST(MakeDataLayout, EachCasterFitsItsLightCamerasWindow)
{
    // The start-up gives light camera i the field r / 370 (r / 740 for the
    // fourth) in world units per back-buffer pixel, r the caster's subset
    // radius: the caster's own sphere must fit in half the window's height
    // and width, on a wide and on a 4:3 back buffer.
    const DemoLayout layout = MakeDemoLayout();
    for (size_t i = 0; i < 4; ++i) {
        const SceneObject& caster = layout.objects[i];
        SCOPED_TRACE(caster.name);
        const float actual = BoundsOf(caster.mesh).radius;
        const float stored = actual * caster.windowScale;
        const float field = stored * (i < 3 ? 0.0027027028f : 0.0013513514f);
        for (const auto& [width, height] : {std::pair{1280.0f, 720.0f}, std::pair{800.0f, 600.0f}}) {
            EXPECT_LE(actual, 0.5f * height * field);
            EXPECT_LE(actual, 0.5f * width * field);
        }
    }
}

namespace {

// Checks a scene read back against the layout it was made from.
void ExpectDemoScene(Scene& scene, const DemoLayout& layout)
{
    ASSERT_NE(scene.Nodes(), nullptr);
    ASSERT_EQ(scene.Nodes()->count, layout.objects.size());
    ASSERT_EQ(scene.Materials()->count, layout.objects.size());
    for (size_t i = 0; i < layout.objects.size(); ++i) {
        const SceneObject& object = layout.objects[i];
        SCOPED_TRACE(object.name);
        SceneNode* found = scene.FindNode(object.name);
        ASSERT_EQ(found, scene.Nodes()->items[i]);
        ASSERT_EQ(found->kind, scene_node_kind::kMesh);
        auto* node = static_cast<MeshNode*>(found);
        EXPECT_FLOAT_EQ(node->transform.position.x, object.position.x);
        EXPECT_FLOAT_EQ(node->transform.position.y, object.position.y);
        EXPECT_FLOAT_EQ(node->transform.position.z, object.position.z);

        MeshData* mesh = node->mesh.GetPayload();
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->baseSubsets.count, 1u);
        VertexBufferData* vertices = mesh->baseVertexSet.buffer.GetPayload();
        ASSERT_NE(vertices, nullptr);
        EXPECT_EQ(vertices->vertexCount, object.mesh.vertices.size());
        EXPECT_EQ(vertices->stride, 56u); // position, normal, uv, tangent, binormal
        EXPECT_NE(vertices->buffer, nullptr);

        MeshSubset& subset = mesh->baseSubsets.items[0];
        IndexBufferData* indices = subset.GetPayload();
        ASSERT_NE(indices, nullptr);
        EXPECT_EQ(indices->indexCount, object.mesh.indices.size());
        EXPECT_EQ(indices->indicesPerPrimitive, 3);
        EXPECT_EQ(indices->primitiveCount, object.mesh.indices.size() / 3);
        const Sphere bounds = BoundsOf(object.mesh);
        EXPECT_FLOAT_EQ(indices->subsetValues.x, bounds.centre.x);
        EXPECT_FLOAT_EQ(indices->subsetValues.y, bounds.centre.y);
        EXPECT_FLOAT_EQ(indices->subsetValues.z, bounds.centre.z);
        EXPECT_FLOAT_EQ(indices->subsetValues.w, 1.0f);
        EXPECT_FLOAT_EQ(indices->subsetScalar, bounds.radius * object.windowScale);

        // The subset draws with the material of its own name, whose effect is
        // the scene effect, compiled, with the material's values.
        MaterialResource* material = scene.Materials()->items[i];
        EXPECT_EQ(material->GetId(), RSHash(object.name)); // as the tool made it
        EXPECT_EQ(subset.material.GetPayload(), material->GetPayload());
        Effect* effect = subset.material.GetEffect();
        ASSERT_NE(effect, nullptr);
        ASSERT_NE(effect->GetPayload(), nullptr);
        EXPECT_EQ(effect->GetPayload()->sourceName.View(), kSceneEffect);
        EXPECT_NE(effect->CurrentEffect(), nullptr);
        EffectParamGroup& common = effect->params.Group("");
        EXPECT_FLOAT_EQ(common.vectors["matColor"].x, object.colour.x);
        EXPECT_FLOAT_EQ(common.vectors["matSpecular"].y, object.specular.y);
        ASSERT_EQ(common.autoMatrices.size(), 2u);
        EXPECT_EQ(common.autoMatrices[0].name, "MatWorldViewProj");
        EXPECT_EQ(common.autoMatrices[0].code, 0u);
        EXPECT_EQ(common.autoMatrices[1].name, "MatWorld");
        EXPECT_EQ(common.autoMatrices[1].code, 1u);
    }
}

// A folder made like the run folder: the compiler, the cache, the scene effect.
class DataFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(fs::path(ZANDREL_SOURCE_DIR) / "data" / kSceneEffect, folder_.dir / kSceneEffect);
        fs::create_directories(folder_.dir / "data");
        fs::create_directories(folder_.dir / "textures");
    }

    platform::testing::ScriptedMessageBoxes boxes_;
    effect_test::EffectFolder folder_;
    effect_test::Output output_;
};

} // namespace

TEST_F(DataFolder, TheRunFoldersGeneratedFilesLoadThroughTheEngine)
{
    const fs::path run(ZANDREL_RUN_DIR);
    const char* files[] = {"data/shadowDemo.ids", "textures/Noise3D.dds", "textures/enbjitter.tga",
                           "textures/box2_prtN.BMP", "textures/box2_prtP.BMP"};
    for (const char* file : files) {
        ASSERT_TRUE(fs::exists(run / file)) << file;
        fs::copy_file(run / file, folder_.dir / file);
    }

    Scene scene;
    scene.LoadByName(kSceneFile);
    ExpectDemoScene(scene, MakeDemoLayout());

    struct TextureCase {
        const char* file;
        uint32_t flags;
        uint8_t kind;
        uint32_t width, height, depth;
    };
    const TextureCase textures[] = {
        {"textures/Noise3D.dds", 16, 2, 32, 32, 32},
        {"textures/enbjitter.tga", 0, 0, 64, 64, 1},
        {"textures/box2_prtN.BMP", 0, 0, 256, 256, 1},
        {"textures/box2_prtP.BMP", 0, 0, 256, 256, 1},
    };
    for (const TextureCase& c : textures) {
        SCOPED_TRACE(c.file);
        TextureResource texture;
        texture.SetTextureFlags(c.flags);
        texture.LoadByName(c.file);
        EXPECT_EQ(texture.GetState(), resource_state::kLoaded);
        const TextureData* data = texture.GetPayload();
        ASSERT_NE(data, nullptr);
        ASSERT_NE(data->texture, nullptr);
        EXPECT_EQ(data->kind, c.kind);
        EXPECT_EQ(data->texture->Width(), c.width);
        EXPECT_EQ(data->texture->Height(), c.height);
        EXPECT_EQ(data->texture->Depth(), c.depth);
        EXPECT_EQ(data->texture->Format(), static_cast<uint32_t>(gfx::kFormatA8R8G8B8));
    }
    EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(DataFolder, TheTransferTexturesShowTheCastersOnTheGround)
{
    // Far from every caster the ground sees the open sky; under the cone,
    // whose base stands on it, it sees none.
    const fs::path run(ZANDREL_RUN_DIR);
    const std::vector<uint8_t> positive = zandrel_test::ReadBytes(run / "textures/box2_prtP.BMP");
    const std::vector<uint8_t> negative = zandrel_test::ReadBytes(run / "textures/box2_prtN.BMP");
    gfx::DecodedImage p, n;
    ASSERT_TRUE(gfx::DecodeImage(positive.data(), positive.size(), p).Ok());
    ASSERT_TRUE(gfx::DecodeImage(negative.data(), negative.size(), n).Ok());
    const DemoLayout layout = MakeDemoLayout();
    const float3 low = layout.GroundTopLow(), high = layout.GroundTopHigh();
    auto t0At = [&](float x, float z) {
        float u = 0, v = 0;
        BoxTopUV(low, high, x, z, u, v);
        const size_t texel = (size_t(v * p.height) * p.width + size_t(u * p.width)) * 4;
        return DecodeTransfer(p.bytes[texel + 2], n.bytes[texel + 2]);
    };
    EXPECT_NEAR(t0At(low.x + 1.0f, low.z + 1.0f), 0.2820948, 0.01);
    const SceneObject& cone = layout.objects[2];
    EXPECT_LT(t0At(cone.position.x, cone.position.z), 0.01);
}
