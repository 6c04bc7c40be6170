#include "demo/sh_sampling.h"

#include "kernel/error_stream.h"
#include "platform/os/random.h"

#include <cmath>

namespace {

constexpr double kFourPi = 12.566370614359172;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kSqrt2 = 1.4142135623730951;
// The f32 nearest to 1/32767: maps a random value onto [0, 1].
constexpr float kRandScale = 3.0518509e-05f;
// Orders 0 to 3: the four bands a record holds.
constexpr int kMostOrders = 4;

// Held in a double: exact as far as it matters here, and no integer overflow
// when a caller asks for a high band.
double Factorial(int n)
{
    double result = 1.0;
    for (int i = 2; i <= n; ++i)
        result *= i;
    return result;
}

// The constant factor of each of the sixteen basis functions (sqrt 2 x K(l, |m|)
// off the axis, K(l, 0) on it), worked out as SHBasis does.
struct BasisFactors {
    double value[kSHMaxCoeffs];
};

const BasisFactors& Factors()
{
    static const BasisFactors factors = [] {
        BasisFactors made{};
        for (int l = 0; l * l < kSHMaxCoeffs; ++l) {
            for (int m = -l; m <= l; ++m) {
                const int index = l * (l + 1) + m;
                made.value[index] = m == 0 ? SHNormK(l, 0) : kSqrt2 * SHNormK(l, m < 0 ? -m : m);
            }
        }
        return made;
    }();
    return factors;
}

// P(m, m, t), where both recurrences start.
double LegendreDiagonal(int m, double t)
{
    double pmm = 1.0;
    if (m > 0) {
        const double s = std::sqrt((1.0 - t) * (1.0 + t));
        double f = 1.0;
        for (int i = 0; i < m; ++i) {
            pmm = pmm * (-f) * s;
            f += 2.0;
        }
    }
    return pmm;
}

// P(l, m, t) for every l, m below kMostOrders: SHLegendreP's recurrences run
// once for each m, keeping every step, so each value is the one it returns.
void LegendreTable(double t, double (&p)[kMostOrders][kMostOrders])
{
    for (int m = 0; m < kMostOrders; ++m) {
        double pmm = LegendreDiagonal(m, t);
        p[m][m] = pmm;
        if (m + 1 >= kMostOrders)
            continue;
        double pmm1 = t * (2.0 * m + 1.0) * pmm;
        p[m + 1][m] = pmm1;
        for (int ll = m + 2; ll < kMostOrders; ++ll) {
            const double pll = ((2.0 * ll - 1.0) * t * pmm1 - (ll + m - 1.0) * pmm) / (ll - m);
            pmm = pmm1;
            pmm1 = pll;
            p[ll][m] = pll;
        }
    }
}

} // namespace

double SHLegendreP(int l, int m, double t)
{
    // Zero above the diagonal; the recurrences below would never produce a value.
    if (m > l)
        return 0.0;

    double pmm = LegendreDiagonal(m, t);
    if (l == m)
        return pmm;

    double pmm1 = t * (2.0 * m + 1.0) * pmm;
    if (l == m + 1)
        return pmm1;

    double pll = 0.0;
    for (int ll = m + 2; ll <= l; ++ll) {
        pll = ((2.0 * ll - 1.0) * t * pmm1 - (ll + m - 1.0) * pmm) / (ll - m);
        pmm = pmm1;
        pmm1 = pll;
    }
    return pll;
}

double SHNormK(int l, int m)
{
    return std::sqrt((2.0 * l + 1.0) * Factorial(l - m) / (Factorial(l + m) * kFourPi));
}

double SHBasis(int l, int m, double theta, double phi)
{
    const double t = std::cos(theta);
    if (m == 0)
        return SHNormK(l, 0) * SHLegendreP(l, 0, t);
    if (m > 0)
        return kSqrt2 * SHNormK(l, m) * SHLegendreP(l, m, t) * std::cos(m * phi);
    return kSqrt2 * SHNormK(l, -m) * SHLegendreP(l, -m, t) * std::sin(-m * phi);
}

void SHSetupSamples(SHSample* samples, int n, int bands)
{
    if (n < 1)
        return;
    const int s = static_cast<int>(std::sqrt(static_cast<double>(n)));
    if (s < 1)
        return;
    const double inv = 1.0 / s;

    for (int a = 0; a < s; ++a) {
        for (int b = 0; b < s; ++b) {
            SHSample& sample = samples[a * s + b];

            const float jx = static_cast<float>(platform::os::Rand() * static_cast<double>(kRandScale));
            const double u = (a + static_cast<double>(jx)) * inv;
            const double theta = 2.0 * std::acos(std::sqrt(1.0 - u));
            const double jy = platform::os::Rand() * static_cast<double>(kRandScale);
            const double phi = (b + jy) * inv * kTwoPi;

            // Each angle's sines and cosines once, not once per basis function:
            // the same calls on the same arguments as SHBasis makes, so the
            // same values. cos(m phi) and sin(m phi) for m = 1 to 3.
            const double t = std::cos(theta);
            const double sinTheta = std::sin(theta);
            double cosM[kMostOrders], sinM[kMostOrders];
            for (int m = 1; m < kMostOrders; ++m) {
                cosM[m] = std::cos(m * phi);
                sinM[m] = std::sin(m * phi);
            }

            sample.theta = static_cast<float>(theta);
            sample.phi = static_cast<float>(phi);
            sample.direction.SetXYZ(static_cast<float>(sinTheta * cosM[1]), static_cast<float>(sinTheta * sinM[1]),
                                    static_cast<float>(t));

            const BasisFactors& factors = Factors();
            double legendre[kMostOrders][kMostOrders];
            if (bands > 0)
                LegendreTable(t, legendre);
            for (int l = 0; l < bands; ++l) {
                for (int m = -l; m <= l; ++m) {
                    const int index = l * (l + 1) + m;
                    if (index >= kSHMaxCoeffs) {
                        // Only sixteen fit in a record; the rest are dropped.
                        errorTwoLines = false;
                        GetErrorStream() << "SH_MAX_COEFFS overflow\n";
                        continue;
                    }
                    const double factor = factors.value[index];
                    if (m == 0)
                        sample.coefficients[index] = factor * legendre[l][0];
                    else if (m > 0)
                        sample.coefficients[index] = factor * legendre[l][m] * cosM[m];
                    else
                        sample.coefficients[index] = factor * legendre[l][-m] * sinM[-m];
                }
            }
        }
    }
}

void SHProject(SHFunction fn, const SHSample* samples, int n, int count, double* result)
{
    // With no samples the weight would be infinite and wipe out the caller's sums.
    if (n < 1)
        return;

    for (int k = 0; k < n; ++k) {
        const double theta = samples[k].theta;
        const double phi = samples[k].phi;
        for (int j = 0; j < count; ++j)
            result[j] += fn(theta, phi) * samples[k].coefficients[j];
    }

    const double weight = kFourPi / n;
    for (int j = 0; j < count; ++j)
        result[j] *= weight;
}
