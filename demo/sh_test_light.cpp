#include "demo/sh_test_light.h"

#include <cmath>

double SHTestLight(double theta, double phi)
{
    // Single-precision pi widened: the light was tuned with this value.
    constexpr double kFloatPi = 3.1415927410125732;

    double a = 5.0 * std::cos(theta) - 4.0;
    if (a < 0.0)
        a = 0.0;
    double b = -4.0 * std::sin(theta - kFloatPi) * std::cos(phi - 2.5) - 3.0;
    if (b < 0.0)
        b = 0.0;
    return a + b;
}
