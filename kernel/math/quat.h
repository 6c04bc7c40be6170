#pragma once
// quat: a rotation quaternion (x, y, z vector part, w scalar part) on a 16-byte
// boundary. Nothing keeps it normalised. Its rotation turns v into q v q*, and
// composing puts the outer (parent) rotation on the left: world = parent x local.
#include "kernel/math/float3.h"

struct alignas(16) quat {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    quat& SetXYZW(float nx, float ny, float nz, float nw)
    {
        x = nx;
        y = ny;
        z = nz;
        w = nw;
        return *this;
    }
};

static_assert(sizeof(quat) == 16 && alignof(quat) == 16, "quat is one aligned four-lane value");

// The four operations of the spherical interpolation; each writes out and returns it.
quat& QuatAdd(quat& out, const quat& a, const quat& b);
quat& QuatScale(quat& out, const quat& q, double s);
quat& QuatNegate(quat& out, const quat& q);
double QuatDot(const quat& a, const quat& b);

// Spherical interpolation from `from` (t = 0) to `to` (t = 1) along the shorter
// arc; t is not clamped and the result is not renormalised.
quat& Slerp(quat& out, float t, const quat& from, const quat& to);

// Hamilton product p x q: the rotation q first, then p.
quat QuatMultiply(const quat& p, const quat& q);

quat QuatConjugate(const quat& q);

// Conjugate over the squared length, so any non-zero quaternion inverts.
quat QuatInverse(const quat& q);

// (axis * sin(angle / 2), cos(angle / 2)); the axis is used as given, not normalised.
quat QuatFromAxisAngle(const float3& axis, float angle);

// v turned by q; a quaternion of any non-zero length turns without scaling.
float3 QuatRotate(const quat& q, const float3& v);
