#include "kernel/math/float4x4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "kernel/math/euler.h"
#include "kernel/math/rotation_matrix.h"

namespace {

float4x4 FromRows(const float4& r0, const float4& r1, const float4& r2, const float4& r3)
{
    float4x4 m;
    m.SetRow(0, r0);
    m.SetRow(1, r1);
    m.SetRow(2, r2);
    m.SetRow(3, r3);
    return m;
}

void ExpectMatrixNear(const float4x4& actual, const float4x4& expected, float tolerance = 1e-5f)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

void ExpectNear(const float3& actual, const float3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

} // namespace

TEST(Float4x4, LayoutIsSixteenAlignedRowMajorFloats)
{
    float4x4 m;
    m(3, 1) = 7.0f;
    EXPECT_EQ(m.m[13], 7.0f);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&m) % 16, 0u);
    auto* heap = new float4x4[3];
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&heap[1]) % 16, 0u);
    delete[] heap;
}

TEST(Float4x4, SetIdentityOverwritesEveryElement)
{
    float4x4 m;
    for (float& e : m.m)
        e = NAN;
    EXPECT_EQ(&m.SetIdentity(), &m);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(m(i, j), i == j ? 1.0f : 0.0f);
}

TEST(Float4x4, ProductAgainstHandWorkedValues)
{
    const float4x4 a = FromRows({1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16});
    const float4x4 b = FromRows({1, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 3, 0}, {1, 1, 1, 1});
    ExpectMatrixNear(Multiply(a, b),
                     FromRows({5, 8, 13, 4}, {13, 20, 29, 8}, {21, 32, 45, 12}, {29, 44, 61, 16}), 0.0f);
}

TEST(Float4x4, ProductAppliesTheLeftMatrixFirst)
{
    const float4x4 scale = FromRows({2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 1});
    const float4x4 move = FromRows({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1});
    ExpectNear(TransformPoint({1, 1, 1}, scale * move), {3, 4, 5});
    ExpectNear(TransformPoint({1, 1, 1}, move * scale), {4, 6, 8});
}

TEST(Float4x4, PointsMoveAndDirectionsDoNot)
{
    const float4x4 m = FromRows({0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {10, 20, 30, 1});
    ExpectNear(TransformPoint({1, 0, 0}, m), {10, 21, 30});
    ExpectNear(TransformVector({1, 0, 0}, m), {0, 1, 0});
    const float4 v = TransformFloat4(float4{1, 2, 3, 2}, m);
    EXPECT_FLOAT_EQ(v.x, 18.0f);
    EXPECT_FLOAT_EQ(v.y, 41.0f);
    EXPECT_FLOAT_EQ(v.z, 63.0f);
    EXPECT_FLOAT_EQ(v.w, 2.0f);
}

TEST(Float4x4, InverseAgainstHandWorkedValues)
{
    const float4x4 scaleMove = FromRows({2, 0, 0, 0}, {0, 4, 0, 0}, {0, 0, 0.5f, 0}, {1, 2, 3, 1});
    EXPECT_FLOAT_EQ(Determinant(scaleMove), 4.0f);
    ExpectMatrixNear(Inverse(scaleMove),
                     FromRows({0.5f, 0, 0, 0}, {0, 0.25f, 0, 0}, {0, 0, 2, 0}, {-0.5f, -0.5f, -6, 1}));

    // [[1 2] [3 4]] inverts to [[-2 1] [1.5 -0.5]].
    const float4x4 shear = FromRows({1, 2, 0, 0}, {3, 4, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1});
    EXPECT_FLOAT_EQ(Determinant(shear), -2.0f);
    ExpectMatrixNear(Inverse(shear), FromRows({-2, 1, 0, 0}, {1.5f, -0.5f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}));
}

TEST(Float4x4, InverseUndoesAGeneralMatrix)
{
    float4x4 world = RotationMatrix(QuatFromEulerDegrees(25.0f, 220.0f, 10.0f));
    world.SetRow(3, {6.877f, 5.581f, 6.895f, 1.0f});
    const float4x4 scale = FromRows({2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 0.5f, 0}, {0, 0, 0, 1});
    const float4x4 m = scale * world;
    ExpectMatrixNear(m * Inverse(m), IdentityMatrix());
    ExpectMatrixNear(Inverse(m) * m, IdentityMatrix());
    // Every row and column in use: no element of the inverse may be skipped.
    const float4x4 dense = FromRows({4, 7, 2, 3}, {0, 5, 1, 8}, {2, 1, 6, 0}, {3, 9, 4, 7});
    ExpectMatrixNear(dense * Inverse(dense), IdentityMatrix());
}

TEST(Float4x4, SingularInverseIsNotFinite)
{
    const float4x4 flat = FromRows({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1});
    EXPECT_EQ(Determinant(flat), 0.0f);
    const float4x4 inv = Inverse(flat);
    bool anyNonFinite = false;
    for (float e : inv.m)
        anyNonFinite |= !std::isfinite(e);
    EXPECT_TRUE(anyNonFinite);
}

TEST(Float4x4, TransposeSwapsRowsAndColumns)
{
    const float4x4 a = FromRows({1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16});
    const float4x4 t = Transpose(a);
    EXPECT_EQ(t(0, 3), 13.0f);
    EXPECT_EQ(t(3, 0), 4.0f);
    EXPECT_EQ(t(2, 1), 7.0f);
}
