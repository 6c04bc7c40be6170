#include "kernel/math/quat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kernel/math/euler.h"
#include "kernel/math/float4x4.h"
#include "kernel/math/rotation_matrix.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const quat& actual, const quat& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
    EXPECT_NEAR(actual.w, expected.w, tolerance);
}

void ExpectNear(const float3& actual, const float3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

const quat kTurnX90 = QuatFromAxisAngle({1, 0, 0}, kPi / 2);
const quat kTurnY90 = QuatFromAxisAngle({0, 1, 0}, kPi / 2);
const quat kTurnZ90 = QuatFromAxisAngle({0, 0, 1}, kPi / 2);

} // namespace

TEST(Quat, DefaultsToIdentityAndOperatesPerComponent)
{
    const quat identity;
    EXPECT_EQ(identity.w, 1.0f);
    EXPECT_EQ(identity.x, 0.0f);

    const quat a{1, 2, 3, 4};
    const quat b{0.5f, -1, 2, -3};
    quat out;
    EXPECT_EQ(&QuatAdd(out, a, b), &out);
    ExpectNear(out, {1.5f, 1, 5, 1});
    ExpectNear(QuatScale(out, a, 0.5), {0.5f, 1, 1.5f, 2});
    ExpectNear(QuatNegate(out, a), {-1, -2, -3, -4});
    EXPECT_DOUBLE_EQ(QuatDot(a, b), 0.5 - 2 + 6 - 12);
}

TEST(Quat, RotatesAKnownVector)
{
    ExpectNear(QuatRotate(kTurnZ90, {1, 0, 0}), {0, 1, 0});
    ExpectNear(QuatRotate(kTurnX90, {0, 1, 0}), {0, 0, 1});
    ExpectNear(QuatRotate(kTurnY90, {1, 0, 0}), {0, 0, -1});
    ExpectNear(QuatRotate(quat{}, {3, -4, 5}), {3, -4, 5});

    // The matrix of a quaternion turns row vectors the same way.
    ExpectNear(TransformVector({1, 0, 0}, RotationMatrix(kTurnZ90)), {0, 1, 0});
    ExpectNear(TransformVector({0, 1, 0}, RotationMatrix(kTurnX90)), {0, 0, 1});
}

TEST(Quat, LongerQuaternionRotatesWithoutScalingButItsMatrixScales)
{
    // The axis is not normalised: a half turn about (0, 0, 2) has length 2.
    const quat longTurn = QuatFromAxisAngle({0, 0, 2}, kPi);
    EXPECT_NEAR(QuatDot(longTurn, longTurn), 4.0, 1e-6);
    ExpectNear(QuatRotate(longTurn, {1, 2, 3}), QuatRotate(QuatFromAxisAngle({0, 0, 1}, kPi), {1, 2, 3}));
    ExpectNear(QuatRotate(longTurn, {1, 2, 3}), {-1, -2, 3});

    const quat doubled{2 * kTurnZ90.x, 2 * kTurnZ90.y, 2 * kTurnZ90.z, 2 * kTurnZ90.w};
    const float4x4 unit = RotationMatrix(kTurnZ90);
    const float4x4 scaled = RotationMatrix(doubled);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(scaled.m[i], 4.0f * unit.m[i], 1e-5f) << "element " << i;
    EXPECT_NEAR(scaled(3, 3), 4.0f, 1e-5f);
}

TEST(Quat, ProductAppliesTheRightOperandFirst)
{
    // parent (y) x local (x): the x turn happens first, then the y turn.
    ExpectNear(QuatRotate(QuatMultiply(kTurnY90, kTurnX90), {0, 1, 0}), {1, 0, 0});
    ExpectNear(QuatRotate(QuatMultiply(kTurnX90, kTurnY90), {0, 1, 0}), {0, 0, 1});

    // A parent on the left matches the child's matrix times the parent's.
    const float4x4 composed = RotationMatrix(kTurnX90) * RotationMatrix(kTurnY90);
    const float4x4 fromProduct = RotationMatrix(QuatMultiply(kTurnY90, kTurnX90));
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(fromProduct.m[i], composed.m[i], 1e-6f) << "element " << i;

    ExpectNear(QuatMultiply(kTurnZ90, QuatInverse(kTurnZ90)), quat{});
    ExpectNear(QuatConjugate(quat{1, 2, 3, 4}), {-1, -2, -3, 4});
}

TEST(Quat, EulerDegreesTurnZThenXThenY)
{
    const float h = std::sqrt(0.5f);
    ExpectNear(QuatFromEulerDegrees(0, 90, 0), {0, 0.7071068f, 0, 0.7071068f});
    ExpectNear(TransformVector({1, 0, 0}, RotationMatrix(QuatFromEulerDegrees(0, 90, 0))), {0, 0, -1});
    ExpectNear(TransformVector({0, 1, 0}, RotationMatrix(QuatFromEulerDegrees(90, 0, 0))), {0, 0, 1});
    ExpectNear(TransformVector({1, 0, 0}, RotationMatrix(QuatFromEulerDegrees(0, 0, 90))), {0, 1, 0});
    ExpectNear(QuatFromEulerDegrees(0, 0, 90), {0, 0, h, h});

    const quat all = QuatFromEulerDegrees(30, 50, 70);
    const quat qx = QuatFromAxisAngle({1, 0, 0}, 30 * kPi / 180);
    const quat qy = QuatFromAxisAngle({0, 1, 0}, 50 * kPi / 180);
    const quat qz = QuatFromAxisAngle({0, 0, 1}, 70 * kPi / 180);
    ExpectNear(all, QuatMultiply(qy, QuatMultiply(qx, qz)));
}

TEST(Slerp, EndsAndShorterArc)
{
    const quat from = QuatFromAxisAngle({0, 1, 0}, 0.3f);
    const quat to = QuatFromAxisAngle({1, 0, 0}, 1.2f);
    quat out;
    EXPECT_EQ(&Slerp(out, 0.0f, from, to), &out);
    ExpectNear(out, from);
    ExpectNear(Slerp(out, 1.0f, from, to), to);

    // A negative dot flips the start, so t = 0 gives the negated start.
    quat negatedTo;
    QuatNegate(negatedTo, to);
    ExpectNear(Slerp(out, 0.0f, from, negatedTo), {-from.x, -from.y, -from.z, -from.w});
    ExpectNear(Slerp(out, 1.0f, from, negatedTo), negatedTo);
}

TEST(Slerp, HalfOfANinetyDegreeTurnIsFortyFive)
{
    quat out;
    Slerp(out, 0.5f, quat{}, kTurnZ90);
    ExpectNear(out, {0, 0, std::sin(kPi / 8), std::cos(kPi / 8)});
}

TEST(Slerp, NearlyEqualRotationsTakeTheStraightLine)
{
    quat out;
    for (float t : {0.0f, 0.3f, 0.7f, 1.0f}) {
        ExpectNear(Slerp(out, t, kTurnX90, kTurnX90), kTurnX90);
        // (0,0,0,1) against (0,0,0,-1): the dot is -1 and the start is flipped.
        ExpectNear(Slerp(out, t, quat{}, quat{0, 0, 0, -1}), {0, 0, 0, -1});
    }
}

TEST(Slerp, TIsNotClamped)
{
    quat out;
    Slerp(out, 2.0f, quat{}, QuatFromAxisAngle({0, 0, 1}, kPi / 4));
    ExpectNear(out, kTurnZ90, 1e-5f);
    Slerp(out, -1.0f, quat{}, QuatFromAxisAngle({0, 0, 1}, kPi / 4));
    ExpectNear(out, QuatFromAxisAngle({0, 0, 1}, -kPi / 4), 1e-5f);
}
