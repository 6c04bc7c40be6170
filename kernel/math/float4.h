#pragma once
// float4: four 32-bit floats on a 16-byte boundary, for effect vectors,
// positions with a fourth component (w = 1 for points) and four-lane splats.
// Anything holding one must itself be allocated 16-byte aligned.
#include "kernel/math/float3.h"

struct alignas(16) float4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    float4& SetXYZW(float nx, float ny, float nz, float nw)
    {
        x = nx;
        y = ny;
        z = nz;
        w = nw;
        return *this;
    }

    float3 XYZ() const { return {x, y, z}; }
};

static_assert(sizeof(float4) == 16 && alignof(float4) == 16, "float4 is one aligned four-lane value");

// The same value in all four lanes.
inline float4 Splat(float v) { return {v, v, v, v}; }

inline float4 operator+(const float4& a, const float4& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
inline float4 operator-(const float4& a, const float4& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
inline float4 operator*(const float4& a, float s) { return {a.x * s, a.y * s, a.z * s, a.w * s}; }

// Component by component.
inline float4 MulComponents(const float4& a, const float4& b)
{
    return {a.x * b.x, a.y * b.y, a.z * b.z, a.w * b.w};
}
