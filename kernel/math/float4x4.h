#pragma once
// float4x4: the 4x4 matrix, 16 floats row by row (element 4 x row + column) on a
// 16-byte boundary. Vectors are rows multiplied on the left (v' = v x M), so the
// translation sits in row 3 (elements 12, 13, 14) and A x B applies A first.
#include <xmmintrin.h>

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
inline float4x4 Multiply(const float4x4& a, const float4x4& b)
{
    // Element (i, j) is a(i, 0) b(0, j) + a(i, 1) b(1, j) + a(i, 2) b(2, j) + a(i, 3) b(3, j),
    // summed in that order; a row's four elements at once, each lane the same
    // products and sums as one element at a time, so the same bits.
    const __m128 b0 = _mm_loadu_ps(b.m), b1 = _mm_loadu_ps(b.m + 4);
    const __m128 b2 = _mm_loadu_ps(b.m + 8), b3 = _mm_loadu_ps(b.m + 12);
    float4x4 r;
    for (int i = 0; i < 4; ++i) {
        const float* row = a.m + 4 * i;
        __m128 sum = _mm_mul_ps(_mm_set1_ps(row[0]), b0);
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(row[1]), b1));
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(row[2]), b2));
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(row[3]), b3));
        _mm_storeu_ps(r.m + 4 * i, sum);
    }
    return r;
}
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
