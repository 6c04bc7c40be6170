// The free camera: gathering its node and binding its actions on attachment,
// the movement the held keys ask for, and the smoothed mouse turn, against
// values worked out by hand with a frame step of 0.5 s.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/time.h"
#include "scene/dynamic.h"
#include "scene/free_camera.h"
#include "scene/scene_node.h"
#include "script/component_messages.h"
#include "tests/scene/input_test_support.h"
#include "tests/scene/scene_test_support.h"

using namespace input_test;

namespace {

const char* const kControls = "[Controls]\ncameraFWD = W\ncameraBWD = S\ncameraLEFT = A\ncameraRIGHT = D\n";

// A frame list, a global clock stepping 0.5 s, the devices and the controls.
class CameraRig : public InputRig {
public:
    explicit CameraRig(const char* settings = kControls) : InputRig(settings) { clock.delta = 0.5; }

    // What a frame does for the camera: read the devices, deliver the actions,
    // run the per-frame objects.
    void Frame()
    {
        Poll();
        list.UpdateDynamics();
    }

    DynamicsList list;
    RootTime clock;
};

size_t BindingsOf(const Component* target, uint8_t code)
{
    auto it = GetControls()->bindings.find(code);
    if (it == GetControls()->bindings.end())
        return 0;
    size_t n = 0;
    for (const KeyBinding& b : it->second)
        n += b.target == target;
    return n;
}

} // namespace

TEST(FreeCamera, BuiltWithItsDefaultsAndRegisteredForFrames)
{
    CameraRig rig;
    FreeCamera camera;
    EXPECT_TRUE(camera.nodes.empty());
    EXPECT_EQ(camera.smoothX, 0.0f);
    EXPECT_EQ(camera.smoothY, 0.0f);
    ExpectNear4(camera.move, float4{0, 0, 0, 0}, 0.0f);
    EXPECT_EQ(camera.moved, 0);
    EXPECT_EQ(camera.mouseScale, 1.0f);
    EXPECT_EQ(camera.smoothing, 30.0f);
    EXPECT_EQ(camera.xScale, 1.0f);
    EXPECT_EQ(camera.yScale, 1.0f);
    EXPECT_EQ(camera.speed, 1.0f);
    EXPECT_EQ(rig.list.Entries(), (std::vector<Dynamic*>{&camera}));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&camera.move) % 16, 0u);
}

TEST(FreeCamera, AttachedToANodeItGathersItOnceAndBindsEachActionTwice)
{
    CameraRig rig;
    SceneNode node;
    FreeCamera camera;
    node.AttachComponent(&camera);
    EXPECT_EQ(camera.nodes, (std::vector<SceneNode*>{&node}));
    for (uint8_t code : {kKeyW, kKeyS, kKeyA, kKeyD})
        EXPECT_EQ(BindingsOf(&camera, code), 2u) << int(code);
    EXPECT_EQ(GetControls()->bindings.size(), 4u);
    const auto& w = GetControls()->bindings[kKeyW];
    EXPECT_EQ(w[0].messageId, IMSG_ACTION_FWD);
    EXPECT_EQ(GetControls()->bindings[kKeyD][1].messageId, IMSG_ACTION_RIGHT);
    // The camera asked its own composite, so it heard its own request: no
    // other node came of it.
    EXPECT_EQ(node.components, (std::vector<Component*>{&camera}));
}

TEST(FreeCamera, HoldingForwardMovesTheNodeTwiceTheStepPerSecondAlongItsOwnZ)
{
    CameraRig rig;
    SceneNode node;
    FreeCamera camera;
    node.AttachComponent(&camera);
    inject::PressKey(kKeyW);
    rig.Poll();
    // Two messages, one per binding.
    ExpectNear4(camera.move, float4{0, 0, 2, 0});
    EXPECT_EQ(camera.moved, 1);
    rig.list.UpdateDynamics();
    // 2 units/s x 0.5 s.
    ExpectNear4(node.transform.position, float4{0, 0, 1, 1});
    ExpectNear4(camera.move, float4{0, 0, 0, 0}, 0.0f);
    EXPECT_EQ(camera.moved, 0);
    rig.Frame();
    ExpectNear4(node.transform.position, float4{0, 0, 2, 1});

    // Along the node's own axes: turned 90 degrees about y (and the rotation
    // matrix refreshed), forward is world +x.
    node.transform.SetRotationEuler(0.0f, 90.0f, 0.0f);
    node.transform.RefreshRotationMatrix();
    rig.Frame();
    ExpectNear4(node.transform.position, float4{1, 0, 2, 1});
}

TEST(FreeCamera, TwoKeysAddUpAndOppositeKeysCancel)
{
    CameraRig rig;
    SceneNode node;
    FreeCamera camera;
    camera.speed = 3.0f;
    node.AttachComponent(&camera);

    inject::PressKey(kKeyW);
    inject::PressKey(kKeyD);
    rig.Poll();
    ExpectNear4(camera.move, float4{6, 0, 6, 0});
    rig.list.UpdateDynamics();
    ExpectNear4(node.transform.position, float4{3, 0, 3, 1});

    inject::ReleaseKey(kKeyD);
    inject::PressKey(kKeyS);
    rig.Poll();
    EXPECT_EQ(camera.moved, 1);
    ExpectNear4(camera.move, float4{0, 0, 0, 0}, 0.0f);
    node.transform.translationDirty = 0;
    rig.list.UpdateDynamics();
    // Translated, by nothing.
    ExpectNear4(node.transform.position, float4{3, 0, 3, 1});
    EXPECT_EQ(node.transform.translationDirty, 1);
    EXPECT_EQ(camera.moved, 0);

    // Left alone: no translation at all.
    inject::ReleaseKey(kKeyW);
    inject::ReleaseKey(kKeyS);
    node.transform.translationDirty = 0;
    rig.Frame();
    EXPECT_EQ(node.transform.translationDirty, 0);
    EXPECT_EQ(camera.moved, 0);
}

TEST(FreeCamera, TheMouseTurnsTheNodeBySmoothedCounts)
{
    CameraRig rig;
    SceneNode node;
    FreeCamera camera;
    node.AttachComponent(&camera);

    // n = 30: smoothed = 0 - (0 - raw) / 30.
    inject::MoveMouse(30, -60, 0);
    rig.Frame();
    EXPECT_FLOAT_EQ(camera.smoothX, 1.0f);
    EXPECT_FLOAT_EQ(camera.smoothY, -2.0f);
    // Own x by -2 rad/s and parent y by 1 rad/s, for 0.5 s: half-angles -0.5 and 0.25.
    const float a = std::sin(-0.5f), ca = std::cos(-0.5f);
    const float b = std::sin(0.25f), cb = std::cos(0.25f);
    // qY(0.5 rad) x qX(-1 rad).
    ExpectNearQ(node.transform.rotation, quat{cb * a, ca * b, -a * b, cb * ca});
    ExpectNear4(node.transform.position, float4{0, 0, 0, 1}, 0.0f);

    // The mouse at rest: the smoothed values decay by 1/30 of the way per frame.
    rig.Frame();
    EXPECT_FLOAT_EQ(camera.smoothX, 1.0f - 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(camera.smoothY, -2.0f + 2.0f / 30.0f);
}

TEST(FreeCamera, TheTuningScalesTheMouseAndSmoothingOfOneOrLessUsesItRaw)
{
    CameraRig rig;
    SceneNode node;
    FreeCamera camera;
    node.AttachComponent(&camera);
    camera.mouseScale = 0.5f;
    camera.xScale = 3.0f;
    camera.yScale = 2.0f;
    for (float smoothing : {1.0f, 1.9f, 0.0f, -4.0f}) {
        camera.smoothing = smoothing;
        inject::MoveMouse(4, 10, 0);
        rig.Frame();
        EXPECT_FLOAT_EQ(camera.smoothX, 6.0f) << smoothing;   // 4 x 3 x 0.5
        EXPECT_FLOAT_EQ(camera.smoothY, 10.0f) << smoothing;  // 10 x 2 x 0.5
    }
    // The demonstration's tuning: 100 frames.
    camera.smoothing = 100.0f;
    camera.smoothX = 0.0f;
    inject::MoveMouse(100, 0, 0);
    rig.Frame();
    EXPECT_FLOAT_EQ(camera.smoothX, 1.5f); // 100 x 3 x 0.5 / 100
}

TEST(FreeCamera, EveryGatheredNodeTurnsButOnlyTheFirstMoves)
{
    CameraRig rig;
    SceneNode composite, second;
    FreeCamera camera;
    composite.AttachComponent(&camera);
    // A node joining the composite later is gathered once and binds twice more.
    composite.AttachComponent(&second);
    EXPECT_EQ(camera.nodes, (std::vector<SceneNode*>{&composite, &second}));
    EXPECT_EQ(BindingsOf(&camera, kKeyW), 4u);

    inject::PressKey(kKeyW);
    inject::MoveMouse(30, 0, 0);
    rig.Frame();
    // The move is used up by the first node.
    ExpectNear4(composite.transform.position, float4{0, 0, 2, 1});
    ExpectNear4(second.transform.position, float4{0, 0, 0, 1});
    EXPECT_EQ(camera.moved, 0);
    // The smoothing steps once per node: 1, then 1 - (1 - 30) / 30.
    EXPECT_FLOAT_EQ(camera.smoothX, 1.0f - (1.0f - 30.0f) / 30.0f);
    EXPECT_NE(composite.transform.rotation.y, 0.0f);
    EXPECT_NE(second.transform.rotation.y, 0.0f);
}

TEST(FreeCamera, WithNoNodeNothingIsBoundAndFramesDoNothing)
{
    CameraRig rig;
    Component plain;
    FreeCamera camera;
    plain.AttachComponent(&camera);
    EXPECT_TRUE(camera.nodes.empty());
    EXPECT_TRUE(GetControls()->bindings.empty());
    inject::MoveMouse(30, 30, 0);
    rig.Frame();
    EXPECT_EQ(camera.smoothX, 0.0f);
}

TEST(FreeCamera, DetachedOrDestroyedItLeavesNoBindingBehind)
{
    CameraRig rig;
    SceneNode node;
    Recorder other;
    GetControls()->BindControl(&other, "cameraFWD", IMSG_ACTION_FWD);
    {
        FreeCamera camera;
        node.AttachComponent(&camera);
        ComponentMessage detached;
        detached.id = IMSG_ME_DETACHED;
        camera.OnMessage(&detached);
        EXPECT_TRUE(camera.nodes.empty());
        EXPECT_EQ(BindingsOf(&camera, kKeyW), 0u);
        EXPECT_EQ(BindingsOf(&other, kKeyW), 1u);
        node.components.clear();
    }
    {
        FreeCamera camera;
        node.AttachComponent(&camera);
        ASSERT_EQ(BindingsOf(&camera, kKeyW), 2u);
        node.components.clear();
    }
    // Gone with its camera: a held key reaches only the other receiver.
    EXPECT_EQ(GetControls()->bindings[kKeyW].size(), 1u);
    inject::PressKey(kKeyW);
    rig.Frame();
    EXPECT_EQ(other.received, (std::vector<uint32_t>{IMSG_ACTION_FWD}));
}
