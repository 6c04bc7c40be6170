#include "scene/scene_node_script.h"

#include <gtest/gtest.h>

#include <vector>

#include "../script/script_test_support.h"
#include "kernel/error_stream.h"
#include "kernel/math/euler.h"
#include "testing/message_box_script.h"
#include "scene/heightfield.h"
#include "scene/scene_node.h"
#include "script/script_component.h"
#include "script/script_handles.h"
#include "scene_test_support.h"

using namespace AngelScript;

using SceneNodeScriptTest = ScriptEngineTest;

TEST_F(SceneNodeScriptTest, AScriptFindsItsNodeAndMovesIt)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int node;
        float3 before; float3 after; float3 dirBefore; float3 dirAfter; float3 right; quat rot;
        void Move() {
            node = GetNode();
            before = GetNodePos(node);
            SetNodePos(node, float3(before.x, before.y, before.z + 5));
            after = GetNodePos(node);
            dirBefore = GetNodeDir(node);
            SetNodeRot(node, quat(0, 0.70710678, 0, 0.70710678));
            dirAfter = GetNodeDir(node);
            rot = GetNodeRot(node);
        }
        void Look() { dirAfter = GetNodeDir(node); right = GetNodeRight(node); })");
    SceneNode node;
    node.transform.position = {1, 2, 3, 1};
    node.GetWorldMatrix();
    ScriptComponent script(module);
    node.AttachComponent(&script);

    ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Move"), false), asEXECUTION_FINISHED);
    EXPECT_EQ(ScriptObjectOf(Global<int>(module, "node"), ScriptHandleKind::SceneNode), &node);
    ExpectNear3(Global<float3>(module, "before"), {1, 2, 3});
    ExpectNear3(Global<float3>(module, "after"), {1, 2, 8});
    ExpectNear4(node.transform.position, {1, 2, 8, 1});
    EXPECT_EQ(node.transform.translationDirty, 1);
    EXPECT_EQ(node.transform.rotationDirty, 1);
    // The direction follows a new rotation only once the matrix is rebuilt.
    ExpectNear3(Global<float3>(module, "dirBefore"), {0, 0, 1});
    ExpectNear3(Global<float3>(module, "dirAfter"), {0, 0, 1});
    ExpectNearQ(Global<quat>(module, "rot"), {0, 0.70710678f, 0, 0.70710678f});

    ExpectNear3(node.GetWorldMatrix()->Row(3).XYZ(), {1, 2, 8});
    ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Look"), false), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "dirAfter"), {1, 0, 0});
    ExpectNear3(Global<float3>(module, "right"), {0, 0, -1});
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SceneNodeScriptTest, NoNodeOrAStaleHandleIsRefused)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int node = 7; float3 pos = float3(9, 9, 9);
        void Ask() { node = GetNode(); }
        void Use() { pos = GetNodePos(node); SetNodePos(node, float3(1, 1, 1)); })");
    Component owner;
    ScriptComponent script(module);
    owner.AttachComponent(&script);
    ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Ask"), false), asEXECUTION_FINISHED);
    EXPECT_EQ(Global<int>(module, "node"), 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't request component for script.\n"));
    boxes.Clear();

    int32_t handle = 0;
    {
        SceneNode gone;
        handle = ScriptHandleOf(&gone, ScriptHandleKind::SceneNode);
    }
    Global<int>(module, "node") = handle;
    ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Use"), false), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "pos"), {0, 0, 0});
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Invalid script handle: " + std::to_string(handle) + "\n"));
}

TEST_F(SceneNodeScriptTest, AScriptReadsTheHeightfield)
{
    asIScriptModule* module = Build(R"(
        float none; float inside; float edge;
        void Sample() {
            none = GetHeightfieldHeight(15, 15);
            SetUp();
            inside = GetHeightfieldHeight(15, 15);
            edge = GetHeightfieldHeight(5, 15);
        }
        void SetUp() {})");
    std::vector<uint8_t> samples(16, 255);
    HeightfieldDescription description{16};
    Heightfield field;
    field.description = &description;
    field.dataSize = 16;
    field.data = samples.data();
    field.extent = {30, 1, 30};
    field.minCorner = {0, -2, 0};
    field.maxCorner = {30, 4, 30};
    field.width = field.depth = 4;

    SetHeightfield(nullptr);
    ASSERT_EQ(Run(module, "Sample"), asEXECUTION_FINISHED);
    EXPECT_EQ(Global<float>(module, "none"), 0.0f);
    SetHeightfield(&field);
    ASSERT_EQ(Run(module, "Sample"), asEXECUTION_FINISHED);
    EXPECT_NEAR(Global<float>(module, "inside"), 4.0f, 1e-4f);
    EXPECT_FLOAT_EQ(Global<float>(module, "edge"), -2.0f);
    SetHeightfield(nullptr);
}

TEST_F(SceneNodeScriptTest, FunctionsAreRegisteredInTheirOrder)
{
    const char* expected[] = {"int GetNode()", "float3 GetNodeDir(int)", "float3 GetNodeRight(int)",
                              "float3 GetNodePos(int)", "quat GetNodeRot(int)", "void SetNodePos(int, float3)",
                              "void SetNodeRot(int, quat)"};
    std::vector<std::string> declarations;
    for (asUINT i = 0; i < engine->GetGlobalFunctionCount(); ++i)
        declarations.push_back(engine->GetGlobalFunctionByIndex(i)->GetDeclaration());
    size_t at = 0;
    for (const char* declaration : expected) {
        const auto found = std::find(declarations.begin() + static_cast<long>(at), declarations.end(), declaration);
        ASSERT_NE(found, declarations.end()) << declaration;
        at = static_cast<size_t>(found - declarations.begin());
    }
    EXPECT_NE(engine->GetGlobalFunctionByDecl("float GetHeightfieldHeight(float,float)"), nullptr);
}
