#include "kernel/math/rotation_matrix.h"

float4x4 RotationMatrix(const quat& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    const float xx = x * x, yy = y * y, zz = z * z, ww = w * w;
    float4x4 r;
    r.SetRow(0, {ww + xx - yy - zz, 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f});
    r.SetRow(1, {2.0f * (x * y - w * z), ww - xx + yy - zz, 2.0f * (y * z + w * x), 0.0f});
    r.SetRow(2, {2.0f * (x * z + w * y), 2.0f * (y * z - w * x), ww - xx - yy + zz, 0.0f});
    r.SetRow(3, {0.0f, 0.0f, 0.0f, xx + yy + zz + ww});
    return r;
}
