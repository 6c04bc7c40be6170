// The sky's time of day: the dome's and the bodies' turns, the two bodies'
// circles for several angles, the camera's part, dt before and after, and a
// repeated call with dt 0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "render/camera_node.h"
#include "render/sky.h"

namespace {

struct Vec {
    float x, y, z, w;
};

void ExpectVec(const float4& v, Vec e, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, e.x, tolerance);
    EXPECT_NEAR(v.y, e.y, tolerance);
    EXPECT_NEAR(v.z, e.z, tolerance);
    EXPECT_NEAR(v.w, e.w, tolerance);
}

void ExpectQuat(const quat& q, Vec e)
{
    EXPECT_NEAR(q.x, e.x, 1e-6f);
    EXPECT_NEAR(q.y, e.y, 1e-6f);
    EXPECT_NEAR(q.z, e.z, 1e-6f);
    EXPECT_NEAR(q.w, e.w, 1e-6f);
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

TEST_F(SkyTest, BodiesCircleOppositeWaysInTheYZPlane)
{
    constexpr float kPi = 3.1415927f;
    struct Case {
        float a;
        Vec nearBody; // camera at (5, 9, -3)
        Vec farBody;
    };
    const Case cases[] = {
        {0.0f, {5, 0, -3 - 24, 1}, {0, 0, 470, 1}},
        {kPi / 2, {5, 24, -3, 1}, {0, -470, 0, 1}},
        {kPi, {5, 0, -3 + 24, 1}, {0, 0, -470, 1}},
        {-kPi / 2, {5, -24, -3, 1}, {0, 470, 0, 1}},
    };
    PlaceCamera(5, 9, -3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        angle = c.a;
        sky.UpdateSky(0.0f);
        ExpectVec(sky.nearBody.position, c.nearBody, 1e-4f);
        ExpectVec(sky.farBody.position, c.farBody, 1e-4f);
        ExpectVec(sky.nearBodyOffset, {0, 24 * std::sin(c.a), -24 * std::cos(c.a), 1});
        EXPECT_TRUE(sky.nearBody.translationDirty && sky.farBody.translationDirty);
    }
    // At the 32-bit pi the sines are tiny but not zero.
    angle = kPi;
    sky.UpdateSky(0.0f);
    EXPECT_NE(sky.farBody.position.y, 0.0f);
}

TEST_F(SkyTest, TheDomeAndTheBodiesTurnByTheAngleBeforeDtAndArePlacedByTheAngleAfter)
{
    angle = 1.0f;
    sky.UpdateSky(0.5f);
    EXPECT_EQ(angle, 1.5f);
    ExpectQuat(sky.domeNode.transform.rotation, {std::sin(0.5f), 0, 0, std::cos(0.5f)});
    ExpectQuat(sky.nearBody.rotation, {std::sin(0.5f), 0, 0, std::cos(0.5f)}); // bodyYaw 0
    ExpectQuat(sky.farBody.rotation, {std::sin(0.5f), 0, 0, std::cos(0.5f)});
    ExpectVec(sky.farBody.position, {0, -470 * std::sin(1.5f), 470 * std::cos(1.5f), 1}, 1e-4f);
    // The dome's world matrix is brought up to date now: its row 1 is the turned y axis.
    const float4x4& world = sky.domeNode.worldMatrix;
    EXPECT_EQ(sky.domeNode.worldDirty, 0);
    EXPECT_NEAR(world(1, 1), std::cos(1.0f), 1e-6f);
    EXPECT_NEAR(world(1, 2), std::sin(1.0f), 1e-6f);

    // The angle keeps adding up, never wrapped.
    for (int i = 0; i < 10; ++i)
        sky.UpdateSky(1.0f);
    EXPECT_FLOAT_EQ(angle, 11.5f);
}

TEST_F(SkyTest, TheBodiesYawIsTheRightHandFactor)
{
    sky.bodyYaw = 0.5f; // a quarter turn about y
    angle = 0.6f;
    sky.UpdateSky(0.0f);
    const float sx = std::sin(0.3f), cx = std::cos(0.3f);
    const float s = std::sin(3.1415927f * 0.25f), c = std::cos(3.1415927f * 0.25f);
    ExpectQuat(sky.nearBody.rotation, {sx * c, cx * s, sx * s, cx * c});
    ExpectQuat(sky.farBody.rotation, {sx * c, cx * s, sx * s, cx * c});
    ExpectQuat(sky.domeNode.transform.rotation, {sx, 0, 0, cx});
}

TEST_F(SkyTest, OnlyTheNearBodyFollowsTheCameraAndOnlyAcrossTheGround)
{
    angle = 0.3f;
    PlaceCamera(0, 0, 0);
    sky.UpdateSky(0.0f);
    const float4 near0 = sky.nearBody.position;
    const float4 far0 = sky.farBody.position;

    PlaceCamera(0, 100, 0); // up
    sky.UpdateSky(0.0f);
    ExpectVec(sky.nearBody.position, {near0.x, near0.y, near0.z, 1});

    PlaceCamera(7, 100, -2); // across
    sky.UpdateSky(0.0f);
    ExpectVec(sky.nearBody.position, {near0.x + 7, near0.y, near0.z - 2, 1});
    ExpectVec(sky.farBody.position, {far0.x, far0.y, far0.z, 1});
}

TEST_F(SkyTest, RepeatingWithDtZeroChangesNothing)
{
    angle = 2.0f;
    PlaceCamera(1, 2, 3);
    sky.UpdateSky(0.0f);
    const float4 nearPos = sky.nearBody.position, farPos = sky.farBody.position;
    const quat rotation = sky.nearBody.rotation;
    sky.UpdateSky(0.0f);
    EXPECT_EQ(angle, 2.0f);
    EXPECT_EQ(std::memcmp(&nearPos, &sky.nearBody.position, sizeof nearPos), 0);
    EXPECT_EQ(std::memcmp(&farPos, &sky.farBody.position, sizeof farPos), 0);
    EXPECT_EQ(std::memcmp(&rotation, &sky.nearBody.rotation, sizeof rotation), 0);
}

TEST(SkyWithout, AnAngleNothingMovesAndACameraTheOriginStands)
{
    Sky sky;
    sky.UpdateSky(1.0f);
    ExpectVec(sky.nearBody.position, {0, 0, 0, 1});
    EXPECT_EQ(sky.domeNode.transform.rotation.w, 1.0f);

    ASSERT_EQ(GetActiveCamera(), nullptr);
    float angle = 0.0f;
    sky.timeOfDay = &angle;
    sky.UpdateSky(0.0f);
    ExpectVec(sky.nearBody.position, {0, 0, -24, 1});
}
