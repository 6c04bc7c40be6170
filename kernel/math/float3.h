#pragma once
// float3: three packed 32-bit floats (12 bytes, no padding) for positions and
// directions that need no fourth lane; the script type "float3" shares this
// layout, so values convert by plain copy.
#include <cmath>

struct float3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    float3& SetXYZ(float nx, float ny, float nz)
    {
        x = nx;
        y = ny;
        z = nz;
        return *this;
    }
};

static_assert(sizeof(float3) == 12, "float3 is three packed floats");

inline float3 operator+(const float3& a, const float3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline float3 operator-(const float3& a, const float3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline float3 operator-(const float3& a) { return {-a.x, -a.y, -a.z}; }
inline float3 operator*(const float3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float3 operator*(float s, const float3& a) { return a * s; }

// Component by component, as the script's float3 * float3.
inline float3 MulComponents(const float3& a, const float3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

inline float Dot(const float3& a, const float3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline float3 Cross(const float3& a, const float3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float Length(const float3& a) { return std::sqrt(Dot(a, a)); }
