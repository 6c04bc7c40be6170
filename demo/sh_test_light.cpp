#include "demo/sh_test_light.h"

#include <cmath>
#include <limits>

double SHTestLight(double theta, double phi)
{
    // Single-precision pi widened: the light was tuned with this value.
    constexpr double kFloatPi = 3.1415927410125732;
    // The projector asks for each direction once per coefficient, sixteen
    // times in a row: the last answer is kept (for each thread) and given
    // again, which no caller can tell from working it out afresh.
    thread_local double lastTheta = std::numeric_limits<double>::quiet_NaN();
    thread_local double lastPhi = 0.0;
    thread_local double lastValue = 0.0;
    if (theta == lastTheta && phi == lastPhi)
        return lastValue;

    double a = 5.0 * std::cos(theta) - 4.0;
    if (a < 0.0)
        a = 0.0;
    double b = -4.0 * std::sin(theta - kFloatPi) * std::cos(phi - 2.5) - 3.0;
    if (b < 0.0)
        b = 0.0;
    lastTheta = theta;
    lastPhi = phi;
    lastValue = a + b;
    return lastValue;
}
