// The demonstration's camera set-up: the light's pose, the light cameras'
// fields and caster radii from the casters' bounding radii in a real scene,
// the placement of the light cameras in the light plane, and the view camera
// with its free camera. The light at (-20, 28.11, -21) turned by (45, 45, 0)
// has the axes x = (s, 0, -s), y = (0.5, s, 0.5), z = (0.5, -s, 0.5) with
// s = 0.7071068, from which the expected values are worked out by hand.
#include "demo/light_cameras.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "kernel/math/euler.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "scene/dynamic.h"
#include "scene/free_camera.h"
#include "testing/message_box_script.h"
#include "tests/scene/input_test_support.h"
#include "tests/scene/scene_test_support.h"

namespace {

constexpr float kS = 0.70710678f;
const float4 kLightX{kS, 0.0f, -kS, 0.0f};
const float4 kLightY{0.5f, kS, 0.5f, 0.0f};
const float4 kLightZ{0.5f, -kS, 0.5f, 0.0f};
const float4 kLightPosition{-20.0f, 28.11f, -21.0f, 1.0f};

bool SameBits(const quat& a, const quat& b) { return std::memcmp(&a, &b, sizeof(quat)) == 0; }

float4 Along(const float4& p, const float4& axis, float t) { return p + axis * t; }

// The light posed, its frame taken, and four light cameras.
class LightCameraPoses : public ::testing::Test {
protected:
    LightCameraPoses()
    {
        SetDirLightCameraPose(light);
        frame = TakeLightPlaneFrame(light);
    }

    void Place(const float4& c0, const float4& c1, const float4& c2, const float4& c3)
    {
        positions[0] = c0;
        positions[1] = c1;
        positions[2] = c2;
        positions[3] = c3;
        PoseLightCameras(frame, light, positions, cameras);
    }

    CameraNode light;
    CameraNode cameras[kCasterCount];
    LightPlaneFrame frame;
    float4 positions[kCasterCount];
};

TEST_F(LightCameraPoses, TheLightIsPosedWithItsAxesAndAnInvertibleFrame)
{
    EXPECT_EQ(light.transform.position.x, -20.0f);
    EXPECT_EQ(light.transform.position.y, 28.11f);
    EXPECT_EQ(light.transform.position.z, -21.0f);
    EXPECT_EQ(light.transform.position.w, 1.0f);
    EXPECT_TRUE(SameBits(light.transform.rotation, QuatFromEulerDegrees(45.0f, 45.0f, 0.0f)));
    EXPECT_EQ(light.orthographic, 1);
    EXPECT_EQ(light.fov, 0.011f);
    EXPECT_EQ(light.nearClip, 0.1f);
    EXPECT_EQ(light.farClip, 1000.0f);

    ExpectRows(frame.world, {kLightX, kLightY, kLightZ, kLightPosition});
    ExpectRows(frame.world * frame.inverse, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    ExpectRows(frame.inverse * frame.world, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
}

TEST_F(LightCameraPoses, EachCameraSitsInTheLightPlaneOnTheLineThroughItsCaster)
{
    // The origin: offset from the light (20, -28.11, 21) has x part -s and y
    // part 0.623229, so the camera is the light moved by (-0.5, 0, 0.5) and
    // 0.623229 x (0.5, s, 0.5).
    Place({0, 0, 0, 1}, {3, 1, -2, 1}, {-5, 0.5f, 4, 1}, {1, 2, 3, 1});
    const float4& camera = cameras[0].transform.position;
    ExpectNear4(camera, {-20.1883855f, 28.5506931f, -20.1883855f, 1.0f}, 1e-4f);
    EXPECT_EQ(camera.w, 1.0f) << "the in-plane offset has no w";

    for (uint32_t i = 0; i < kCasterCount; ++i) {
        SCOPED_TRACE(i);
        const float4 p = cameras[i].transform.position;
        // In the light's plane: no offset along the light's z from the light.
        const float4 fromLight = p - kLightPosition;
        EXPECT_NEAR(fromLight.x * kLightZ.x + fromLight.y * kLightZ.y + fromLight.z * kLightZ.z, 0.0f, 1e-4f);
        // Looking at its caster: the caster projects onto the camera's own z axis, in front of it.
        const float4 seen = TransformFloat4(positions[i], *cameras[i].GetViewMatrix());
        EXPECT_NEAR(seen.x, 0.0f, 1e-4f);
        EXPECT_NEAR(seen.y, 0.0f, 1e-4f);
        EXPECT_GT(seen.z, cameras[i].nearClip);
        EXPECT_LT(seen.z, cameras[i].farClip);
        EXPECT_EQ(cameras[i].orthographic, 1);
        EXPECT_EQ(cameras[i].nearClip, 0.1f);
        EXPECT_EQ(cameras[i].farClip, 1000.0f);
    }
}

TEST_F(LightCameraPoses, MovingACasterAlongTheLightLeavesItsCameraAndMovingItInThePlaneMovesItEqually)
{
    const float4 base{2, 1, -3, 1};
    Place(base, Along(base, kLightZ, 25.0f), Along(Along(base, kLightX, 3.0f), kLightY, -2.0f),
          Along(kLightPosition, kLightZ, 40.0f));

    const float4 at = cameras[0].transform.position;
    ExpectNear4(cameras[1].transform.position, at, 1e-4f);
    ExpectNear4(cameras[2].transform.position, Along(Along(at, kLightX, 3.0f), kLightY, -2.0f), 1e-4f);
    // A caster on the light's own axis puts its camera on the light.
    ExpectNear4(cameras[3].transform.position, kLightPosition, 1e-4f);
}

TEST_F(LightCameraPoses, EveryCameraTakesTheLightsRotationBitForBitWithItsChangeFlags)
{
    for (CameraNode& camera : cameras) {
        camera.GetWorldMatrix();
        camera.transform.translationDirty = camera.transform.rotationDirty = 0;
        camera.transform.transformDirty = camera.transform.changed = 0;
    }
    Place({1, 2, 3, 1}, {4, 5, 6, 1}, {7, 8, 9, 1}, {-1, -2, -3, 1});
    for (CameraNode& camera : cameras) {
        EXPECT_TRUE(SameBits(camera.transform.rotation, light.transform.rotation));
        EXPECT_EQ(camera.transform.translationDirty, 1);
        EXPECT_EQ(camera.transform.rotationDirty, 1);
        EXPECT_EQ(camera.transform.transformDirty, 1);
        EXPECT_EQ(camera.transform.changed, 1);
        EXPECT_EQ(camera.worldDirty, 1);
        ExpectNear4(camera.transform.scale, {1, 1, 1, 1}, 0.0f);
    }
}

TEST_F(LightCameraPoses, TheFramesRerunFollowsTheLightAndLeavesTheProjectionKindAlone)
{
    Place({0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1});
    cameras[2].orthographic = 0;

    // The light turned and moved as the view camera would carry it.
    light.SetPosition({5, 10, -5, 1});
    light.transform.SetRotationEuler(90.0f, 0.0f, 0.0f); // looking straight down
    PlaceLightCameras(TakeLightPlaneFrame(light), light, positions, cameras);

    // Looking down along -y, the plane through y = 10 holds each caster's x and z.
    ExpectNear4(cameras[0].transform.position, {0, 10, 0, 1}, 1e-5f);
    ExpectNear4(cameras[1].transform.position, {1, 10, 0, 1}, 1e-5f);
    ExpectNear4(cameras[2].transform.position, {0, 10, 0, 1}, 1e-5f);
    ExpectNear4(cameras[3].transform.position, {0, 10, 1, 1}, 1e-5f);
    EXPECT_TRUE(SameBits(cameras[3].transform.rotation, light.transform.rotation));
    EXPECT_EQ(cameras[2].orthographic, 0);
}

TEST(LightCameraScale, ARadiusOf37GivesATenthAndAHalfOfThatForTheLast)
{
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(LightCameraFov(i, 37.0f), 0.1f);
        const float4 c = CasterRadiusValue(i, 37.0f);
        ExpectNear4(c, Splat(1.0f / 74.0f), 0.0f);
    }
    EXPECT_FLOAT_EQ(LightCameraFov(3, 37.0f), 0.05f);
    ExpectNear4(CasterRadiusValue(3, 37.0f), Splat(1.0f / 37.0f), 0.0f);
    EXPECT_EQ(LightCameraFov(1, 2.0f), 2.0f * 0.0027027028f);
    EXPECT_EQ(LightCameraFov(3, 2.0f), 2.0f * 0.0013513514f);
}

TEST(LightCameraScale, ATenthOnA1280By720BackBufferSees128By72Units)
{
    CameraNode camera;
    camera.orthographic = 1;
    camera.SetFov(LightCameraFov(0, 37.0f));
    camera.viewportWidth = 1280;
    camera.viewportHeight = 720;
    camera.aspect = 1280.0f / 720.0f;
    const float4x4& projection = *camera.GetProjectionMatrix();
    // The volume's corner at (64, 36) lands on the clip corner (1, 1).
    const float4 corner = TransformFloat4({64.0f, 36.0f, 0.1f, 1.0f}, projection);
    EXPECT_NEAR(corner.x, 1.0f, 1e-5f);
    EXPECT_NEAR(corner.y, 1.0f, 1e-5f);
    EXPECT_NEAR(corner.z, 0.0f, 1e-6f);
}

// Casters in a scene, each with a mesh of one subset of the given radius.
class CasterScene : public ::testing::Test {
protected:
    CasterScene()
    {
        scene.CreateUnique();
        scene.Nodes()->Allocate(8);
        for (CameraNode& camera : cameras)
            camera.orthographic = 1;
    }

    template <class T>
    T* Add(const char* name)
    {
        T* node = new T;
        scene.Nodes()->Push() = node;
        node->SetName(name);
        return node;
    }

    MeshNode* AddCaster(const char* name, float radius)
    {
        MeshNode* node = Add<MeshNode>(name);
        node->mesh.CreateUnique();
        node->mesh.AllocSubsets(1);
        node->mesh.GetPayload()->currentSubsets->items[0].GetPayload()->subsetScalar = radius;
        return node;
    }

    std::string BoxTexts() const
    {
        std::string all;
        for (const auto& box : boxes.Shown())
            all += box.text.substr(0, box.text.find_first_of("\r\n")) + "|";
        return all;
    }

    platform::testing::ScriptedMessageBoxes boxes;
    Scene scene;
    CameraNode cameras[kCasterCount];
    float4 casterRadius[kCasterCount];
};

TEST_F(CasterScene, EachCasterSizesItsOwnCameraAndRadiusByItsFirstSubset)
{
    AddCaster("Object01", 37.0f);
    AddCaster("Object02", 74.0f);
    // A second subset does not count.
    MeshNode* third = Add<MeshNode>("Object03");
    third->mesh.CreateUnique();
    third->mesh.AllocSubsets(2);
    third->mesh.GetPayload()->currentSubsets->items[0].GetPayload()->subsetScalar = 18.5f;
    third->mesh.GetPayload()->currentSubsets->items[1].GetPayload()->subsetScalar = 500.0f;
    AddCaster("Object04", 37.0f);

    EXPECT_TRUE(SetLightCameraScales(scene, cameras, casterRadius));
    EXPECT_FLOAT_EQ(cameras[0].fov, 0.1f);
    EXPECT_FLOAT_EQ(cameras[1].fov, 0.2f);
    EXPECT_FLOAT_EQ(cameras[2].fov, 0.05f);
    EXPECT_FLOAT_EQ(cameras[3].fov, 0.05f);
    ExpectNear4(casterRadius[0], Splat(1.0f / 74.0f), 0.0f);
    ExpectNear4(casterRadius[1], Splat(1.0f / 148.0f), 0.0f);
    ExpectNear4(casterRadius[2], Splat(1.0f / 37.0f), 0.0f);
    ExpectNear4(casterRadius[3], Splat(1.0f / 37.0f), 0.0f);
    EXPECT_EQ(BoxTexts(), "");
}

TEST_F(CasterScene, AnUnusableCasterIsReportedOnceAndOnlyItsCameraKeepsItsValues)
{
    AddCaster("Object01", 0.0f);            // a camera of no size
    Add<SceneNode>("Object02");             // no mesh
    AddCaster("Object04", std::nanf(""));   // and Object03 is missing
    AddCaster("Object05", 10.0f);
    for (float4& r : casterRadius)
        r = Splat(7.0f);

    EXPECT_FALSE(SetLightCameraScales(scene, cameras, casterRadius));
    EXPECT_EQ(BoxTexts(), "Caster node has no bounding radius: Object01|"
                          "Caster node has no mesh subset: Object02|"
                          "Can't find node: Object03|"
                          "Caster node has no bounding radius: Object04|");
    for (uint32_t i = 0; i < kCasterCount; ++i) {
        EXPECT_EQ(cameras[i].fov, 1.3962634f) << i;
        ExpectNear4(casterRadius[i], Splat(7.0f), 0.0f);
    }

    // Fixed up, the same scene sets everything.
    boxes.Clear();
    AddCaster("Object03", 37.0f);
    float r = 0.0f;
    EXPECT_TRUE(CasterBoundingRadius(scene.FindNode("Object03"), r));
    EXPECT_EQ(r, 37.0f);
    EXPECT_FALSE(CasterBoundingRadius(nullptr, r));
    EXPECT_EQ(BoxTexts(), "");
}

TEST(ViewCamera, SetUpWithItsClipRangeFieldPoseAndAnAttachedFreeCamera)
{
    input_test::InputRig rig("[Controls]\ncameraFWD = W\ncameraBWD = S\ncameraLEFT = A\ncameraRIGHT = D\n");
    DynamicsList list;
    CameraNode view;
    FreeCamera flyer;
    SetUpViewCamera(view, flyer);

    EXPECT_EQ(view.nearClip, 1.0f);
    EXPECT_EQ(view.farClip, 2000.0f);
    EXPECT_EQ(view.radius, 12345.0f);
    EXPECT_EQ(view.fov, 0.45781732f);
    EXPECT_EQ(view.orthographic, 0);
    EXPECT_EQ(view.transform.position.x, 6.877f);
    EXPECT_EQ(view.transform.position.y, 5.581f);
    EXPECT_EQ(view.transform.position.z, 6.895f);
    EXPECT_EQ(view.transform.position.w, 1.0f);
    EXPECT_TRUE(SameBits(view.transform.rotation, QuatFromEulerDegrees(25.0f, 220.0f, 0.0f)));
    EXPECT_EQ(view.transform.rotationDirty, 1);
    ExpectNear4(view.transform.scale, {1, 1, 1, 1}, 0.0f);

    EXPECT_EQ(flyer.smoothing, 100.0f);
    EXPECT_EQ(flyer.xScale, 3.0f);
    EXPECT_EQ(flyer.yScale, 3.0f);
    EXPECT_EQ(flyer.speed, 3.0f);
    EXPECT_EQ(flyer.mouseScale, 1.0f);
    EXPECT_EQ(view.components, (std::vector<Component*>{&flyer}));
    EXPECT_EQ(flyer.nodes, (std::vector<SceneNode*>{&view}));

    // Its projection is the plain perspective one with a 26.231-degree field.
    view.viewportWidth = 1280;
    view.viewportHeight = 720;
    view.aspect = 1280.0f / 720.0f;
    const float4x4& p = *view.GetProjectionMatrix();
    EXPECT_NEAR(p(1, 1), 1.0f / std::tan(0.45781732f / 2.0f), 1e-4f);
    EXPECT_NEAR(p(2, 2), 2000.0f / 1999.0f, 1e-6f);
    EXPECT_NEAR(p(3, 2), -2000.0f / 1999.0f, 1e-5f);
}

} // namespace
