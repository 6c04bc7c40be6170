#include "kernel/math/float4x4.h"

float4x4& float4x4::SetIdentity()
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    return *this;
}

void float4x4::SetRow(int row, const float4& r)
{
    m[4 * row] = r.x;
    m[4 * row + 1] = r.y;
    m[4 * row + 2] = r.z;
    m[4 * row + 3] = r.w;
}

float4x4 IdentityMatrix()
{
    float4x4 r;
    return r.SetIdentity();
}

float4x4 Transpose(const float4x4& a)
{
    float4x4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r(i, j) = a(j, i);
    return r;
}

namespace {

// The 2x2 minors of the lower and upper row pairs, shared by the determinant
// and the cofactors.
struct Minors {
    float s0, s1, s2, s3, s4, s5; // rows 0 and 1
    float c0, c1, c2, c3, c4, c5; // rows 2 and 3
};

Minors ComputeMinors(const float* m)
{
    Minors n;
    n.s0 = m[0] * m[5] - m[4] * m[1];
    n.s1 = m[0] * m[6] - m[4] * m[2];
    n.s2 = m[0] * m[7] - m[4] * m[3];
    n.s3 = m[1] * m[6] - m[5] * m[2];
    n.s4 = m[1] * m[7] - m[5] * m[3];
    n.s5 = m[2] * m[7] - m[6] * m[3];
    n.c5 = m[10] * m[15] - m[14] * m[11];
    n.c4 = m[9] * m[15] - m[13] * m[11];
    n.c3 = m[9] * m[14] - m[13] * m[10];
    n.c2 = m[8] * m[15] - m[12] * m[11];
    n.c1 = m[8] * m[14] - m[12] * m[10];
    n.c0 = m[8] * m[13] - m[12] * m[9];
    return n;
}

float DeterminantOf(const Minors& n)
{
    return n.s0 * n.c5 - n.s1 * n.c4 + n.s2 * n.c3 + n.s3 * n.c2 - n.s4 * n.c1 + n.s5 * n.c0;
}

} // namespace

float Determinant(const float4x4& a)
{
    return DeterminantOf(ComputeMinors(a.m));
}

float4x4 Inverse(const float4x4& a)
{
    const float* m = a.m;
    const Minors n = ComputeMinors(m);
    const float inv = 1.0f / DeterminantOf(n);

    float4x4 r;
    r.m[0] = (m[5] * n.c5 - m[6] * n.c4 + m[7] * n.c3) * inv;
    r.m[1] = (-m[1] * n.c5 + m[2] * n.c4 - m[3] * n.c3) * inv;
    r.m[2] = (m[13] * n.s5 - m[14] * n.s4 + m[15] * n.s3) * inv;
    r.m[3] = (-m[9] * n.s5 + m[10] * n.s4 - m[11] * n.s3) * inv;

    r.m[4] = (-m[4] * n.c5 + m[6] * n.c2 - m[7] * n.c1) * inv;
    r.m[5] = (m[0] * n.c5 - m[2] * n.c2 + m[3] * n.c1) * inv;
    r.m[6] = (-m[12] * n.s5 + m[14] * n.s2 - m[15] * n.s1) * inv;
    r.m[7] = (m[8] * n.s5 - m[10] * n.s2 + m[11] * n.s1) * inv;

    r.m[8] = (m[4] * n.c4 - m[5] * n.c2 + m[7] * n.c0) * inv;
    r.m[9] = (-m[0] * n.c4 + m[1] * n.c2 - m[3] * n.c0) * inv;
    r.m[10] = (m[12] * n.s4 - m[13] * n.s2 + m[15] * n.s0) * inv;
    r.m[11] = (-m[8] * n.s4 + m[9] * n.s2 - m[11] * n.s0) * inv;

    r.m[12] = (-m[4] * n.c3 + m[5] * n.c1 - m[6] * n.c0) * inv;
    r.m[13] = (m[0] * n.c3 - m[1] * n.c1 + m[2] * n.c0) * inv;
    r.m[14] = (-m[12] * n.s3 + m[13] * n.s1 - m[14] * n.s0) * inv;
    r.m[15] = (m[8] * n.s3 - m[9] * n.s1 + m[10] * n.s0) * inv;
    return r;
}

float4 TransformFloat4(const float4& v, const float4x4& a)
{
    float4 r;
    r.x = v.x * a.m[0] + v.y * a.m[4] + v.z * a.m[8] + v.w * a.m[12];
    r.y = v.x * a.m[1] + v.y * a.m[5] + v.z * a.m[9] + v.w * a.m[13];
    r.z = v.x * a.m[2] + v.y * a.m[6] + v.z * a.m[10] + v.w * a.m[14];
    r.w = v.x * a.m[3] + v.y * a.m[7] + v.z * a.m[11] + v.w * a.m[15];
    return r;
}

float3 TransformPoint(const float3& p, const float4x4& a)
{
    return TransformFloat4(float4{p.x, p.y, p.z, 1.0f}, a).XYZ();
}

float3 TransformVector(const float3& v, const float4x4& a)
{
    return TransformFloat4(float4{v.x, v.y, v.z, 0.0f}, a).XYZ();
}
