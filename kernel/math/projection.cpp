#include "kernel/math/projection.h"

#include <cmath>

float4x4 PerspectiveFovLH(float fovY, float aspect, float zNear, float zFar)
{
    const float t = std::tan(fovY * 0.5f);
    float4x4 r;
    r(0, 0) = 1.0f / (aspect * t);
    r(1, 1) = 1.0f / t;
    r(2, 2) = zFar / (zFar - zNear);
    r(2, 3) = 1.0f;
    r(3, 2) = zNear * zFar / (zNear - zFar);
    return r;
}

float4x4 OrthographicLH(float width, float height, float zNear, float zFar)
{
    float4x4 r;
    r(0, 0) = 2.0f / width;
    r(1, 1) = 2.0f / height;
    r(2, 2) = 1.0f / (zFar - zNear);
    r(3, 2) = zNear / (zNear - zFar);
    r(3, 3) = 1.0f;
    return r;
}
