#pragma once
// float4x4: the 4x4 matrix, 16 floats row by row (element 4 x row + column) on a
// 16-byte boundary. Vectors are rows multiplied on the left (v' = v x M), so the
// translation sits in row 3 (elements 12, 13, 14) and A x B applies A first.
#include "kernel/math/float3.h"
#include "kernel/math/float4.h"

struct alignas(16) float4x4 {
    float m[16] = {};

    float4x4& SetIdentity();

    float& operator()(int row, int column) { return m[4 * row + column]; }
    float operator()(int row, int column) const { return m[4 * row + column]; }

    float4 Row(int row) const { return {m[4 * row], m[4 * row + 1], m[4 * row + 2], m[4 * row + 3]}; }
    void SetRow(int row, const float4& r);
};

static_assert(sizeof(float4x4) == 64 && alignof(float4x4) == 16, "float4x4 is 16 aligned floats");

float4x4 IdentityMatrix();

// a x b: row i of the result is row i of a times b.
float4x4 Multiply(const float4x4& a, const float4x4& b);
inline float4x4 operator*(const float4x4& a, const float4x4& b) { return Multiply(a, b); }

float4x4 Transpose(const float4x4& a);

float Determinant(const float4x4& a);

// The general inverse: the adjugate times 1 / determinant. A singular matrix is
// not detected and gives non-finite elements.
float4x4 Inverse(const float4x4& a);

// v x M with all four lanes of v.
float4 TransformFloat4(const float4& v, const float4x4& a);

// (p, 1) x M without a divide by w: a position moves with the translation.
float3 TransformPoint(const float3& p, const float4x4& a);

// (v, 0) x M: a direction ignores the translation.
float3 TransformVector(const float3& v, const float4x4& a);
