// The sky's time of day: the bodies' circles for several angles, the turns of
// the dome and the bodies (the angle before dt for turns, after it for places),
// the camera's part, and the calls without an angle or a camera.
#include <gtest/gtest.h>

#include <cmath>

#include "render/nodes/camera_node.h"
#include "render/world/sky.h"

namespace {

constexpr float kPi = 3.1415927f;

void ExpectNear4(float x, float y, float z, float w, const float* v, float tolerance = 1e-4f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
    EXPECT_NEAR(v[3], w, tolerance);
}

class SkyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetActiveCamera(&camera);
        sky.timeOfDay = &angle;
    }
    void TearDown() override { SetActiveCamera(nullptr); }

    void PlaceCamera(float x, float y, float z)
    {
        camera.SetPosition(float4{x, y, z, 1.0f});
        camera.GetWorldMatrix();
    }

    CameraNode camera;
    Sky sky;
    float angle = 0.0f;
};

} // namespace

TEST_F(SkyTest, BodiesCircleOppositeWaysAndOnlyTheNearOneFollowsTheCameraAcrossTheGround)
{
    struct Case {
        float a;
        float camera[3];
        float nearBody[3];
        float farBody[3];
    };
    const Case cases[] = {
        {0.0f, {5, 9, -3}, {5, 0, -27}, {0, 0, 470}},
        {kPi / 2, {5, 9, -3}, {5, 24, -3}, {0, -470, 0}},
        {kPi, {5, 9, -3}, {5, 0, 21}, {0, 0, -470}},
        {-kPi / 2, {0, 0, 0}, {0, -24, 0}, {0, 470, 0}},
        {-kPi / 2, {7, 100, -2}, {7, -24, -2}, {0, 470, 0}}, // up and across
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        PlaceCamera(c.camera[0], c.camera[1], c.camera[2]);
        angle = c.a;
        sky.UpdateSky(0.0f);
        ExpectNear4(c.nearBody[0], c.nearBody[1], c.nearBody[2], 1, &sky.nearBody.position.x);
        ExpectNear4(c.farBody[0], c.farBody[1], c.farBody[2], 1, &sky.farBody.position.x, 1e-3f);
        ExpectNear4(0, 24 * std::sin(c.a), -24 * std::cos(c.a), 1, &sky.nearBodyOffset.x);
        EXPECT_TRUE(sky.nearBody.translationDirty && sky.farBody.translationDirty);
    }
    // At the 32-bit pi the sine is tiny but not zero.
    angle = kPi;
    sky.UpdateSky(0.0f);
    EXPECT_NE(sky.farBody.position.y, 0.0f);
}

TEST_F(SkyTest, TurnsUseTheAngleBeforeDtPlacesTheAngleAfterAndDtZeroRepeatsExactly)
{
    struct Case {
        float a0, dt, bodyYaw;
    };
    for (const Case c : {Case{1.0f, 0.5f, 0.0f}, Case{0.6f, 0.0f, 0.5f}, Case{-2.0f, 10.0f, 1.25f}}) {
        SCOPED_TRACE(c.a0);
        angle = c.a0;
        sky.bodyYaw = c.bodyYaw;
        sky.UpdateSky(c.dt);
        const float a1 = c.a0 + c.dt;
        EXPECT_EQ(angle, a1); // never wrapped
        const float sx = std::sin(c.a0 / 2), cx = std::cos(c.a0 / 2);
        const float sy = std::sin(c.bodyYaw * kPi / 2), cy = std::cos(c.bodyYaw * kPi / 2);
        ExpectNear4(sx, 0, 0, cx, &sky.domeNode.transform.rotation.x, 1e-6f);
        ExpectNear4(sx * cy, cx * sy, sx * sy, cx * cy, &sky.nearBody.rotation.x, 1e-6f);
        ExpectNear4(sx * cy, cx * sy, sx * sy, cx * cy, &sky.farBody.rotation.x, 1e-6f);
        ExpectNear4(0, -470 * std::sin(a1), 470 * std::cos(a1), 1, &sky.farBody.position.x, 1e-3f);
        // The dome's world matrix is up to date: its row 1 is the turned y axis.
        EXPECT_EQ(sky.domeNode.worldDirty, 0);
        EXPECT_NEAR(sky.domeNode.worldMatrix(1, 1), std::cos(c.a0), 1e-6f);
        EXPECT_NEAR(sky.domeNode.worldMatrix(1, 2), std::sin(c.a0), 1e-6f);

        const float4 nearPos = sky.nearBody.position;
        const quat rotation = sky.nearBody.rotation;
        sky.UpdateSky(0.0f);
        EXPECT_EQ(angle, a1);
        EXPECT_EQ(sky.nearBody.position.z, nearPos.z);
        EXPECT_EQ(sky.nearBody.rotation.w, c.dt == 0.0f ? rotation.w : std::cos(a1 / 2) * cy);
    }
}

TEST(SkyWithout, AnAngleNothingMovesAndACameraTheOriginsGroundStands)
{
    Sky sky;
    sky.UpdateSky(1.0f);
    ExpectNear4(0, 0, 0, 1, &sky.nearBody.position.x);
    EXPECT_EQ(sky.domeNode.transform.rotation.w, 1.0f);

    ASSERT_EQ(GetActiveCamera(), nullptr);
    float angle = 0.0f;
    sky.timeOfDay = &angle;
    sky.UpdateSky(0.0f);
    ExpectNear4(0, 0, -24, 1, &sky.nearBody.position.x);
}
