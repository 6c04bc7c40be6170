#include "scene/transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kernel/math/euler.h"
#include "kernel/math/rotation_matrix.h"
#include "kernel/time.h"
#include "scene_test_support.h"

namespace {
constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kHalfRoot2 = 0.70710678f;

const float4x4 kIdentity = IdentityMatrix();

// The global clock with a chosen frame step.
struct FrameClock {
    explicit FrameClock(double step) { clock.delta = step; }
    RootTime clock;
};
} // namespace

TEST(Transform, StartsFullyDirtyAndRefreshesToIdentities)
{
    Transform t;
    EXPECT_EQ(t.formatVersion, 0);
    EXPECT_EQ(t.translationDirty + t.rotationDirty + t.scaleDirty, 3);
    ExpectNear4(t.position, {0, 0, 0, 1});
    ExpectNear4(t.scale, {1, 1, 1, 1});
    t.RefreshMatrices();
    EXPECT_EQ(t.translationDirty + t.rotationDirty + t.scaleDirty, 0);
    ExpectRows(t.translationMatrix, {kIdentity.Row(0), kIdentity.Row(1), kIdentity.Row(2), kIdentity.Row(3)});
    ExpectRows(t.rotationMatrix, {kIdentity.Row(0), kIdentity.Row(1), kIdentity.Row(2), kIdentity.Row(3)});
    ExpectRows(t.scaleMatrix, {kIdentity.Row(0), kIdentity.Row(1), kIdentity.Row(2), kIdentity.Row(3)});
}

TEST(Transform, EulerAnglesTurnTheAxesAsExpected)
{
    Transform t;
    t.SetRotationEuler(0, 90, 0);
    ExpectNearQ(t.rotation, {0, kHalfRoot2, 0, kHalfRoot2});
    t.RefreshMatrices();
    ExpectNear3(TransformVector({1, 0, 0}, t.rotationMatrix), {0, 0, -1});

    t.SetRotationEuler(90, 0, 0);
    EXPECT_EQ(t.rotationDirty, 1);
    t.RefreshMatrices();
    ExpectNear3(TransformVector({0, 1, 0}, t.rotationMatrix), {0, 0, 1});

    t.SetRotationEuler(0, 0, 90);
    t.RefreshMatrices();
    ExpectNear3(TransformVector({1, 0, 0}, t.rotationMatrix), {0, 1, 0});
}

TEST(Transform, RotateTurnsLocallyAndInTheParentFrameByTheFrameStep)
{
    FrameClock frame(0.5);
    Transform t;
    t.rotation = QuatFromEulerDegrees(10, 20, 30);
    const quat start = t.rotation;
    t.rotationDirty = 0;
    t.Rotate(nullptr, nullptr, nullptr);
    ExpectNearQ(t.rotation, start);
    EXPECT_EQ(t.rotationDirty, 1);

    const float4 local{1, 0, 0, kPi};
    const float4 world{0, 1, 0, kPi};
    t.Rotate(&local, &world, nullptr);
    // Half a second at pi per second: a quarter turn each.
    const quat qx = QuatFromAxisAngle({1, 0, 0}, kPi / 2);
    const quat qy = QuatFromAxisAngle({0, 1, 0}, kPi / 2);
    ExpectNearQ(t.rotation, QuatMultiply(QuatMultiply(qy, start), qx));

    // world2 applies after world1, on the left.
    Transform u;
    const float4 z{0, 0, 1, kPi};
    u.Rotate(nullptr, &world, &z);
    ExpectNearQ(u.rotation, QuatMultiply(QuatFromAxisAngle({0, 0, 1}, kPi / 2), qy));
}

TEST(Transform, TranslateFollowsTheRotationMatrixAsLastRefreshed)
{
    FrameClock frame(2.0);
    Transform t;
    t.SetRotationEuler(0, 90, 0);
    const float4 forward{0, 0, 1, 0};
    t.Translate(forward, false);
    ExpectNear4(t.position, {0, 0, 2, 1}); // still the identity matrix
    EXPECT_EQ(t.translationDirty, 1);
    t.RefreshMatrices();
    t.Translate(forward, false);
    ExpectNear4(t.position, {2, 0, 2, 1}); // row 2 is now (1, 0, 0, 0)

    t.Translate({1, 1, 1, 0}, true);
    ExpectNear4(t.position, {4, 2, 4, 1});
    // A fourth component moves w, and so element [3][3] of the matrix.
    t.Translate({0, 0, 0, 0.5f}, true);
    t.RefreshMatrices();
    EXPECT_FLOAT_EQ(t.translationMatrix(3, 3), 2.0f);
}

TEST(Transform, WithoutAGlobalClockNothingMoves)
{
    ASSERT_EQ(GetGlobalTime(), nullptr);
    Transform t;
    t.Translate({1, 2, 3, 0}, true);
    ExpectNear4(t.position, {0, 0, 0, 1});
}

TEST(Transform, ALongQuaternionScalesTheMatrixByItsSquaredLength)
{
    Transform unit, twice;
    unit.SetRotationEuler(30, 40, 50);
    const quat q = unit.rotation;
    twice.rotation = quat{2 * q.x, 2 * q.y, 2 * q.z, 2 * q.w};
    unit.RefreshMatrices();
    twice.RefreshMatrices();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(twice.rotationMatrix.m[i], 4 * unit.rotationMatrix.m[i], 1e-5f) << i;
}

TEST(Transform, SettersRaiseTheirFlagsAndTheLocalMatrixComposesScaleRotationTranslation)
{
    Transform t;
    t.GetLocalMatrix();
    EXPECT_EQ(t.transformDirty, 0);
    EXPECT_EQ(t.changed, 0);
    t.SetScale({2, 3, 4, 1});
    EXPECT_EQ(t.scaleDirty + t.transformDirty + t.changed, 3);
    EXPECT_EQ(t.translationDirty + t.rotationDirty, 0);
    t.SetRotation(QuatFromEulerDegrees(0, 90, 0));
    t.SetPosition({1, 2, 3, 1});
    const float4x4& local = t.GetLocalMatrix();
    // x scaled by 2 then turned to -z, then moved.
    ExpectNear3(TransformPoint({1, 0, 0}, local), {1, 2, 1});
    ExpectNear3(TransformPoint({0, 1, 0}, local), {1, 5, 3});
    EXPECT_EQ(t.transformDirty + t.changed + t.scaleDirty + t.rotationDirty + t.translationDirty, 0);
}
