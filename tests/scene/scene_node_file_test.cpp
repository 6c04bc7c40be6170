// Scene nodes in resource files, byte for byte.
#include <gtest/gtest.h>

#include "tests/support/archive_bytes.h"
#include "kernel/archive.h"
#include "kernel/math/euler.h"
#include "testing/message_box_script.h"
#include "scene/scene_node.h"
#include "scene_test_support.h"

TEST(SceneNodeFile, ANodeIsItsRadiusStaticFlagAndFramedTransform)
{
    SceneNode node;
    node.radius = 2.5f;
    node.isStatic = 1;
    node.transform.position = {1, 2, 3, 1};
    node.transform.rotation = quat{0, 0.6f, 0, 0.8f};
    node.transform.scale = {4, 5, 6, 7};
    const Bytes saved = SavedBytes(node);
    ByteBuilder expected;
    expected.U16(0).F32(2.5f).U8(1).U16(0).F4(1, 2, 3, 1).F4(0, 0.6f, 0, 0.8f).F4(4, 5, 6, 7);
    EXPECT_EQ(saved, expected.bytes);

    SceneNode back;
    back.GetWorldMatrix();
    ASSERT_EQ(LoadBytes(back, saved), FileReadResult::Read);
    EXPECT_EQ(back.radius, 2.5f);
    EXPECT_EQ(back.isStatic, 1);
    ExpectNear4(back.transform.scale, {4, 5, 6, 7}, 0);
    ExpectNearQ(back.transform.rotation, {0, 0.6f, 0, 0.8f}, 0);
    // Reading leaves the flags; the node still computes from the new values
    // once they are marked.
    back.transform.MarkPositionChanged();
    EXPECT_EQ(SavedBytes(back), saved);
}

TEST(SceneNodeFile, AVersionedNodeTakesItsNameFromTheIdText)
{
    SceneNode node;
    node.formatVersion = 1;
    node.SetComponentName("lamp");
    ByteBuilder file;
    file.U16(1).Text("lamp").F32(0).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1);
    SceneNode back;
    ASSERT_EQ(LoadBytes(back, file.bytes), FileReadResult::Read);
    EXPECT_EQ(back.name.View(), "lamp");
    EXPECT_EQ(back.name.hash, node.name.hash);
    EXPECT_EQ(back.formatVersion, 1);
}

TEST(SceneNodeFile, ATruncatedNodeIsReportedDamaged)
{
    SceneNode node;
    Bytes saved = SavedBytes(node);
    saved.resize(saved.size() - 5);
    SceneNode back;
    platform::testing::ScriptedMessageBoxes boxes;
    EXPECT_EQ(LoadBytes(back, saved), FileReadResult::Damaged);
    EXPECT_EQ(boxes.Shown().size(), 1u);
}
