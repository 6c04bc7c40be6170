#pragma once
// Comparisons of the scene's math values with a tolerance.
#include <gtest/gtest.h>

#include "kernel/math/float3.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/math/quat.h"

inline void ExpectRows(const float4x4& m, std::initializer_list<float4> rows, float tolerance = 1e-5f)
{
    int i = 0;
    for (const float4& row : rows) {
        EXPECT_NEAR(m(i, 0), row.x, tolerance) << "row " << i;
        EXPECT_NEAR(m(i, 1), row.y, tolerance) << "row " << i;
        EXPECT_NEAR(m(i, 2), row.z, tolerance) << "row " << i;
        EXPECT_NEAR(m(i, 3), row.w, tolerance) << "row " << i;
        ++i;
    }
}

inline void ExpectNear4(const float4& a, const float4& b, float tolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}

inline void ExpectNear3(const float3& a, const float3& b, float tolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

inline void ExpectNearQ(const quat& a, const quat& b, float tolerance = 1e-6f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}
