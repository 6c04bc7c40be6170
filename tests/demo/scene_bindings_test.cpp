// The start-up's bindings on the scene: the five named nodes looked up once
// (a missing or subset-less one reported once and left out), the ten lighting
// and shadow parameters on every scene material and on nothing else, the
// self-shadow map on the self-shadowed caster only, and the object
// identifiers by node.
#include "demo/scene_bindings.h"

#include <gtest/gtest.h>

#include <string>

#include "render/effects/effect.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
#include "render/textures/texture_resource.h"
#include "testing/message_box_script.h"

namespace {

class DemoScene : public ::testing::Test {
protected:
    DemoScene()
    {
        scene.CreateUnique();
        scene.Materials()->Allocate(8);
        scene.Nodes()->Allocate(8);
    }

    MaterialResource* AddMaterial()
    {
        MaterialResource* material = scene.Materials()->Push() = new MaterialResource;
        MakeUniqueMaterial(*material);
        material->GetEffect()->CreateUnique();
        return material;
    }

    // A mesh node with one subset drawn with a material of its own.
    MeshNode* AddObject(const char* name)
    {
        MaterialResource* material = AddMaterial();
        auto* node = new MeshNode;
        scene.Nodes()->Push() = node;
        node->SetName(name);
        node->mesh.CreateUnique();
        node->mesh.AllocSubsets(1);
        node->mesh.GetPayload()->currentSubsets->items[0].material.AttachById(material->GetId());
        return node;
    }

    void AddAll()
    {
        for (const char* name : kDemoNodeNames)
            AddObject(name);
    }

    std::string BoxTexts() const
    {
        std::string all;
        for (const auto& box : boxes.Shown())
            all += box.text.substr(0, box.text.find_first_of("\r\n")) + "|";
        return all;
    }

    static EffectParamGroup& Common(Effect* effect) { return effect->params.Group(""); }

    platform::testing::ScriptedMessageBoxes boxes;
    Scene scene;
};

} // namespace

TEST_F(DemoScene, TheFiveNodesAreFoundInTheirOrder)
{
    // Listed in another order, with a node of another name among them.
    AddObject("Box01");
    AddObject("Object03");
    AddObject("Other");
    AddObject("Object01");
    AddObject("Object04");
    AddObject("Object02");
    SceneNode* nodes[kDemoNodeCount] = {};
    FindDemoNodes(scene, nodes);
    for (uint32_t i = 0; i < kDemoNodeCount; ++i) {
        ASSERT_NE(nodes[i], nullptr) << i;
        EXPECT_EQ(nodes[i]->name.View(), kDemoNodeNames[i]);
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(DemoScene, AMissingOrSubsetLessNodeIsReportedOnceAndLeftOut)
{
    AddObject("Object01");
    auto* bare = new MeshNode; // a mesh node whose mesh has no subset
    scene.Nodes()->Push() = bare;
    bare->SetName("Object02");
    auto* plain = new SceneNode; // not a mesh node at all
    scene.Nodes()->Push() = plain;
    plain->SetName("Object03");
    AddObject("Box01");
    SceneNode* nodes[kDemoNodeCount] = {};
    FindDemoNodes(scene, nodes);
    EXPECT_NE(nodes[0], nullptr);
    EXPECT_EQ(nodes[1], nullptr);
    EXPECT_EQ(nodes[2], nullptr);
    EXPECT_EQ(nodes[3], nullptr);
    EXPECT_NE(nodes[4], nullptr);
    EXPECT_EQ(BoxTexts(), "Node has no mesh subset: Object02|Node has no mesh subset: Object03|"
                          "Can't find node: Object04|");

    // The later steps skip the empty slots without a word.
    boxes.Clear();
    TextureResource self;
    BindObjectParameters(nodes, &self);
    EXPECT_EQ(FirstSubsetEffect(nullptr), nullptr);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(Common(FirstSubsetEffect(nodes[0])).floats["objectID"], 0.0f);
    EXPECT_EQ(Common(FirstSubsetEffect(nodes[4])).floats["objectID"], -1.0f);
}

TEST_F(DemoScene, EverySceneMaterialTakesTheLightingAndShadowParameters)
{
    AddAll();
    AddMaterial(); // a material no node draws with is still a scene material
    MaterialResource grid;
    MakeUniqueMaterial(grid);
    grid.GetEffect()->CreateUnique();

    alignas(16) float4 splats[16];
    TextureResource atlas, table, noise, jitter, prtN, prtP;
    SceneMaterialInputs inputs;
    inputs.shCoeffSplats = splats;
    inputs.shadowAtlas = &atlas;
    inputs.shadowAtlasSAT = &table;
    inputs.noiseTexture = &noise;
    inputs.jitterVolume = &jitter;
    inputs.prtNTexture = &prtN;
    inputs.prtPTexture = &prtP;
    inputs.lightDirection = {-0.5f, 0.7071068f, 0.5f, 0.0f};
    BindSceneMaterials(scene, inputs);

    ASSERT_EQ(scene.Materials()->count, 6u);
    for (uint32_t i = 0; i < scene.Materials()->count; ++i) {
        SCOPED_TRACE(i);
        EffectParamGroup& common = Common(scene.Materials()->items[i]->GetEffect());
        EXPECT_EQ(common.vectorArrays["shCoeffs"], splats);
        EXPECT_EQ(common.vectorArrayCounts["shCoeffs"], 16u);
        EXPECT_EQ(common.floats["atlasRes"], 512.0f);
        EXPECT_EQ(common.textures["shadowAtlas"], &atlas);
        EXPECT_EQ(common.textures["shadowAtlasLinear"], &atlas);
        EXPECT_EQ(common.textures["shadowAtlasSAT"], &table);
        EXPECT_EQ(common.textures["noisemap"], &noise);
        EXPECT_EQ(common.textures["jittermap"], &jitter);
        EXPECT_EQ(common.textures["PRTn"], &prtN);
        EXPECT_EQ(common.textures["PRTp"], &prtP);
        EXPECT_EQ(common.vectors["lht"].x, -0.5f);
        EXPECT_EQ(common.vectors["lht"].y, 0.7071068f);
        EXPECT_EQ(common.vectors["lht"].z, 0.5f);
        EXPECT_EQ(common.textures.size(), 7u);
        EXPECT_EQ(common.floats.size(), 1u);
    }
    // The grid's material is no scene material.
    EXPECT_TRUE(Common(grid.GetEffect()).textures.empty());
    EXPECT_TRUE(Common(grid.GetEffect()).floats.empty());
}

TEST_F(DemoScene, ObjectIdentifiersAndTheSelfShadowMapGoByNode)
{
    AddAll();
    SceneNode* nodes[kDemoNodeCount] = {};
    FindDemoNodes(scene, nodes);
    TextureResource self;
    BindObjectParameters(nodes, &self);
    const float expected[kDemoNodeCount] = {0.0f, 1.0f, 2.0f, 3.0f, -1.0f};
    for (uint32_t i = 0; i < kDemoNodeCount; ++i) {
        SCOPED_TRACE(kDemoNodeNames[i]);
        EffectParamGroup& common = Common(FirstSubsetEffect(nodes[i]));
        EXPECT_EQ(common.floats["objectID"], expected[i]);
        if (i == kSelfShadowedNode)
            EXPECT_EQ(common.textures["shadowSelf"], &self);
        else
            EXPECT_EQ(common.textures.count("shadowSelf"), 0u);
    }
}
