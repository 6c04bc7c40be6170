#include "kernel/math/euler.h"

#include <cmath>

quat QuatFromEulerDegrees(float x, float y, float z)
{
    // Half angles in radians, each narrowed to a float before its sine and cosine.
    const float h1 = float(x * 0.017453292 * 0.5);
    const float h2 = float(y * 0.017453292 * 0.5);
    const float h3 = float(z * 0.017453292 * 0.5);
    const float s1 = std::sin(h1), c1 = std::cos(h1);
    const float s2 = std::sin(h2), c2 = std::cos(h2);
    const float s3 = std::sin(h3), c3 = std::cos(h3);
    return quat{s1 * c2 * c3 + c1 * s2 * s3,
                c1 * s2 * c3 - s1 * c2 * s3,
                c1 * c2 * s3 - s1 * s2 * c3,
                c1 * c2 * c3 + s1 * s2 * s3};
}
