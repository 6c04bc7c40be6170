#include "kernel/math/float3.h"
#include "kernel/math/float4.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

TEST(Float3, PackedLayoutAndSetters)
{
    static_assert(offsetof(float3, z) == 8);
    float3 v;
    EXPECT_EQ(&v.SetXYZ(1, 2, 3), &v);
    EXPECT_EQ(v.y, 2.0f);
    float3 packed[2] = {{1, 2, 3}, {4, 5, 6}};
    EXPECT_EQ(reinterpret_cast<const float*>(packed)[3], 4.0f);
}

TEST(Float3, Arithmetic)
{
    const float3 a{1, 2, 3};
    const float3 b{-2, 0.5f, 4};
    EXPECT_FLOAT_EQ(Dot(a, b), -2 + 1 + 12);
    const float3 c = Cross(float3{1, 0, 0}, float3{0, 1, 0});
    EXPECT_FLOAT_EQ(c.z, 1.0f);
    EXPECT_FLOAT_EQ(Length(float3{3, 4, 0}), 5.0f);
    const float3 m = MulComponents(a, b);
    EXPECT_FLOAT_EQ(m.x, -2.0f);
    EXPECT_FLOAT_EQ(m.z, 12.0f);
    EXPECT_FLOAT_EQ((a - b).y, 1.5f);
    EXPECT_FLOAT_EQ((a * 2.0f).z, 6.0f);
}

TEST(Float4, AlignedLanes)
{
    static_assert(offsetof(float4, w) == 12);
    float4 lanes[2];
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&lanes[1]) % 16, 0u);
    float4 v;
    v.SetXYZW(1, 2, 3, 4);
    const float4 m = MulComponents(v, float4{2, 3, 4, 5});
    EXPECT_FLOAT_EQ(m.w, 20.0f);
    EXPECT_FLOAT_EQ(Splat(0.5f).z, 0.5f);
    EXPECT_FLOAT_EQ(v.XYZ().z, 3.0f);
}
