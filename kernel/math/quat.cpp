#include "kernel/math/quat.h"

#include <cmath>

quat& QuatAdd(quat& out, const quat& a, const quat& b)
{
    out.SetXYZW(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
    return out;
}

quat& QuatScale(quat& out, const quat& q, double s)
{
    out.SetXYZW(float(q.x * s), float(q.y * s), float(q.z * s), float(q.w * s));
    return out;
}

quat& QuatNegate(quat& out, const quat& q)
{
    out.SetXYZW(-q.x, -q.y, -q.z, -q.w);
    return out;
}

double QuatDot(const quat& a, const quat& b)
{
    return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
}

quat& Slerp(quat& out, float t, const quat& from, const quat& to)
{
    float c = float(QuatDot(from, to));
    quat f = from;
    // Flipping the start, not the end, keeps t = 1 landing exactly on `to`.
    if (c < 0.0f) {
        c = -c;
        QuatNegate(f, from);
    }
    double a;
    double b;
    if (c < 0.999f) {
        const double angle = std::acos(double(c));
        const double k = 1.0 / std::sin(angle);
        a = std::sin((1.0 - t) * angle) * k;
        b = std::sin(double(t) * angle) * k;
    } else {
        // Nearly the same rotation (or a NaN): the arc is a straight line.
        a = 1.0 - t;
        b = t;
    }
    quat fromPart;
    quat toPart;
    QuatScale(fromPart, f, a);
    QuatScale(toPart, to, b);
    return QuatAdd(out, fromPart, toPart);
}

quat QuatMultiply(const quat& p, const quat& q)
{
    return quat{p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y,
                p.w * q.y + p.y * q.w + p.z * q.x - p.x * q.z,
                p.w * q.z + p.z * q.w + p.x * q.y - p.y * q.x,
                p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z};
}

quat QuatConjugate(const quat& q)
{
    return quat{-q.x, -q.y, -q.z, q.w};
}

quat QuatInverse(const quat& q)
{
    const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    return quat{-q.x / n, -q.y / n, -q.z / n, q.w / n};
}

quat QuatFromAxisAngle(const float3& axis, float angle)
{
    const float s = std::sin(angle * 0.5f);
    return quat{axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)};
}

float3 QuatRotate(const quat& q, const float3& v)
{
    const quat t = QuatMultiply(q, quat{v.x, v.y, v.z, 0.0f});
    const quat r = QuatMultiply(t, QuatInverse(q));
    return {r.x, r.y, r.z};
}
