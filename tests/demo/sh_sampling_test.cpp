// Spherical-harmonics basis, the stratified sample set and the projector.
#include "demo/sh_sampling.h"
#include "demo/sh_test_light.h"
#include "platform/os/random.h"
#include "testing/message_box_script.h"
#include "testing/os_hooks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;

std::vector<SHSample> Bake(int n, int bands, size_t records)
{
    platform::testing::RestartRand();
    std::vector<SHSample> samples(records);
    SHSetupSamples(samples.data(), n, bands);
    return samples;
}

double One(double, double) { return 1.0; }

int calls = 0;
double Counting(double, double)
{
    ++calls;
    return 1.0;
}

template <int L, int M>
double Y(double theta, double phi)
{
    return SHBasis(L, M, theta, phi);
}

constexpr SHFunction kBasis[kSHMaxCoeffs] = {
    Y<0, 0>, Y<1, -1>, Y<1, 0>, Y<1, 1>, Y<2, -2>, Y<2, -1>, Y<2, 0>, Y<2, 1>,
    Y<2, 2>, Y<3, -3>, Y<3, -2>, Y<3, -1>, Y<3, 0>, Y<3, 1>, Y<3, 2>, Y<3, 3>,
};

} // namespace

TEST(SHBasis, LegendrePolynomialsMatchTheClosedForms)
{
    const double t = 0.5;
    const double s = std::sqrt(1.0 - t * t);
    EXPECT_DOUBLE_EQ(SHLegendreP(0, 0, t), 1.0);
    EXPECT_DOUBLE_EQ(SHLegendreP(1, 0, t), t);
    EXPECT_DOUBLE_EQ(SHLegendreP(1, 1, t), -s);
    EXPECT_DOUBLE_EQ(SHLegendreP(2, 0, t), (3 * t * t - 1) / 2);
    EXPECT_DOUBLE_EQ(SHLegendreP(2, 1, t), -3 * t * s);
    EXPECT_DOUBLE_EQ(SHLegendreP(2, 2, t), 3 * s * s);
    EXPECT_DOUBLE_EQ(SHLegendreP(3, 0, t), (5 * t * t * t - 3 * t) / 2);
    EXPECT_DOUBLE_EQ(SHLegendreP(3, 1, t), -1.5 * (5 * t * t - 1) * s);
    EXPECT_DOUBLE_EQ(SHLegendreP(3, 2, t), 15 * t * s * s);
    EXPECT_DOUBLE_EQ(SHLegendreP(3, 3, t), -15 * s * s * s);
    // Above the diagonal the polynomial is zero (nothing uninitialised comes back).
    EXPECT_EQ(SHLegendreP(1, 2, t), 0.0);
    EXPECT_EQ(SHLegendreP(0, 3, t), 0.0);
}

TEST(SHBasis, NormalisationConstants)
{
    EXPECT_DOUBLE_EQ(SHNormK(0, 0), 0.28209479177387814);
    EXPECT_DOUBLE_EQ(SHNormK(1, 1), 0.3454941494713355);
    EXPECT_DOUBLE_EQ(SHNormK(2, 2), 0.12875806734106318);
    EXPECT_DOUBLE_EQ(SHNormK(3, 3), std::sqrt(7.0 / (720.0 * 4 * kPi)));
    // High bands stay finite: the factorials do not overflow.
    EXPECT_TRUE(std::isfinite(SHNormK(12, 12)));
    EXPECT_GT(SHNormK(12, 12), 0.0);
}

TEST(SHBasis, KnownValuesAndSigns)
{
    for (double theta : {0.0, 0.7, 2.0, kPi})
        for (double phi : {0.0, 1.3, 5.9})
            EXPECT_DOUBLE_EQ(SHBasis(0, 0, theta, phi), 0.28209479177387814);

    EXPECT_DOUBLE_EQ(SHBasis(1, 0, 0.0, 0.4), 0.4886025119029199);
    EXPECT_EQ(SHBasis(1, 1, 0.0, 0.4), 0.0);
    EXPECT_EQ(SHBasis(1, -1, 0.0, 0.4), 0.0);

    const double theta = 1.1, phi = 0.3;
    EXPECT_NEAR(SHBasis(1, 1, theta, phi), -0.48860251190292 * std::sin(theta) * std::cos(phi), 1e-13);
    EXPECT_NEAR(SHBasis(1, -1, theta, phi), -0.48860251190292 * std::sin(theta) * std::sin(phi), 1e-13);
    // Y(2, -2) is the sin(2 phi) partner of Y(2, 2).
    EXPECT_NEAR(SHBasis(2, 2, theta, phi) / std::cos(2 * phi), SHBasis(2, -2, theta, phi) / std::sin(2 * phi), 1e-13);
}

TEST(SHSamples, FirstSamplesFollowTheRandomSequence)
{
    const auto samples = Bake(10000, 4, 10000);
    // The source gives 41, 18467, 6334, 26500, 19169, 15724 first; worked out by hand.
    EXPECT_FLOAT_EQ(samples[0].theta, 0.007074642460793257f);
    EXPECT_FLOAT_EQ(samples[0].phi, 0.035411108285188675f);
    EXPECT_FLOAT_EQ(samples[1].theta, 0.0879611074924469f);
    EXPECT_FLOAT_EQ(samples[1].phi, 0.11364651471376419f);
    EXPECT_FLOAT_EQ(samples[2].theta, 0.15312135219573975f);
    EXPECT_FLOAT_EQ(samples[2].phi, 0.1558150202035904f);

    // Coefficients come from the double-precision angles, in l(l + 1) + m order.
    const double theta = 0.00707464234064271, phi = 0.03541110964068196;
    int index = 0;
    for (int l = 0; l < 4; ++l)
        for (int m = -l; m <= l; ++m, ++index)
            EXPECT_NEAR(samples[0].coefficients[index], SHBasis(l, m, theta, phi), 1e-15) << index;

    EXPECT_FLOAT_EQ(samples[0].direction.x, static_cast<float>(std::sin(theta) * std::cos(phi)));
    EXPECT_FLOAT_EQ(samples[0].direction.y, static_cast<float>(std::sin(theta) * std::sin(phi)));
    EXPECT_FLOAT_EQ(samples[0].direction.z, static_cast<float>(std::cos(theta)));
}

TEST(SHSamples, GridCoversTheSphereStratified)
{
    const auto samples = Bake(10000, 4, 10000);
    for (int a = 0; a < 100; ++a) {
        for (int b = 0; b < 100; ++b) {
            const SHSample& s = samples[a * 100 + b];
            // Row a holds cos(theta / 2)^2 in [1 - (a + 1) / 100, 1 - a / 100].
            const double u = 1.0 - std::pow(std::cos(s.theta / 2.0), 2.0);
            ASSERT_GE(u, a / 100.0 - 1e-6);
            ASSERT_LE(u, (a + 1) / 100.0 + 1e-6);
            ASSERT_GE(s.phi, b * 2 * kPi / 100 - 1e-5);
            ASSERT_LE(s.phi, (b + 1) * 2 * kPi / 100 + 1e-5);
            ASSERT_TRUE(std::isfinite(s.coefficients[15]));
            const double len = Length(s.direction);
            ASSERT_NEAR(len, 1.0, 1e-6);
        }
    }
}

TEST(SHSamples, CountAndDrawsFollowTheSquareGrid)
{
    // 10001 is still a 100 x 100 grid: the last record is left as made.
    auto samples = Bake(10001, 4, 10001);
    EXPECT_NE(samples[9999].theta, 0.0f);
    EXPECT_EQ(samples[10000].theta, 0.0f);
    EXPECT_EQ(samples[10000].phi, 0.0f);
    EXPECT_EQ(samples[10000].coefficients[0], 0.0);

    // Exactly two draws per written sample.
    const int next = platform::os::Rand();
    platform::testing::RestartRand();
    for (int i = 0; i < 20000; ++i)
        platform::os::Rand();
    EXPECT_EQ(next, platform::os::Rand());

    // Nothing to fill: nothing drawn, nothing written.
    for (int n : {0, -5}) {
        platform::testing::RestartRand();
        SHSample one;
        SHSetupSamples(&one, n, 4);
        EXPECT_EQ(one.theta, 0.0f);
        EXPECT_EQ(platform::os::Rand(), 41);
    }

    // The same samples on every run.
    const auto again = Bake(10000, 4, 10000);
    EXPECT_EQ(again[1234].theta, samples[1234].theta);
    EXPECT_EQ(again[9999].coefficients[15], samples[9999].coefficients[15]);
}

TEST(SHSamples, ZeroBandsStoresAnglesOnly)
{
    platform::testing::RestartRand();
    std::vector<SHSample> samples(4);
    for (auto& s : samples)
        for (double& c : s.coefficients)
            c = 7.0;
    SHSetupSamples(samples.data(), 4, 0);
    for (const auto& s : samples) {
        EXPECT_GT(s.theta, 0.0f);
        EXPECT_GT(s.phi, 0.0f);
        for (double c : s.coefficients)
            EXPECT_EQ(c, 7.0);
    }
}

TEST(SHSamples, BandsPastFourReportAndStayInsideTheRecord)
{
    platform::testing::ScriptedMessageBoxes boxes;
    platform::testing::RestartRand();
    std::vector<SHSample> samples(2);
    samples[1].theta = -1.0f;
    samples[1].coefficients[0] = -1.0;
    SHSetupSamples(samples.data(), 1, 5);

    // Band 4 has nine indices, 16 to 24: one box each, none stored.
    ASSERT_EQ(boxes.Shown().size(), 9u);
    for (const auto& box : boxes.Shown())
        EXPECT_NE(box.text.find("SH_MAX_COEFFS overflow"), std::string::npos);
    EXPECT_EQ(samples[1].theta, -1.0f);
    EXPECT_EQ(samples[1].coefficients[0], -1.0);
    // A one-sample grid spans the whole square: worked out by hand from 41, 18467.
    EXPECT_NEAR(samples[0].coefficients[15], SHBasis(3, 3, 0.07076103783404356, 3.541110964068196), 1e-15);
}

TEST(SHProjection, ConstantFunctionLandsInTheFirstCoefficient)
{
    const auto samples = Bake(10000, 4, 10000);
    double result[kSHMaxCoeffs] = {};
    SHProject(One, samples.data(), 10000, kSHMaxCoeffs, result);
    EXPECT_NEAR(result[0], 3.5449077018110318, 1e-9);
    for (int j = 1; j < kSHMaxCoeffs; ++j)
        EXPECT_NEAR(result[j], 0.0, 5e-3) << j;
}

TEST(SHProjection, BasisIsOrthonormalOverTheSamples)
{
    const auto samples = Bake(10000, 4, 10000);
    for (int i = 0; i < kSHMaxCoeffs; ++i) {
        double row[kSHMaxCoeffs] = {};
        SHProject(kBasis[i], samples.data(), 10000, kSHMaxCoeffs, row);
        for (int j = 0; j < kSHMaxCoeffs; ++j)
            EXPECT_NEAR(row[j], i == j ? 1.0 : 0.0, 5e-3) << i << "," << j;
    }
}

TEST(SHProjection, AddsIntoTheCallersSumsAndCallsPerCoefficient)
{
    SHSample one;
    one.coefficients[0] = 0.5;
    one.coefficients[1] = 0.25;
    double result[3] = {2.0, 0.0, 9.0};
    calls = 0;
    SHProject(Counting, &one, 1, 2, result);
    EXPECT_DOUBLE_EQ(result[0], 2.5 * 12.566370614359172);
    EXPECT_DOUBLE_EQ(result[1], 0.25 * 12.566370614359172);
    EXPECT_EQ(result[2], 9.0);
    EXPECT_EQ(calls, 2);

    const auto samples = Bake(16, 4, 16);
    calls = 0;
    double sums[kSHMaxCoeffs] = {};
    SHProject(Counting, samples.data(), 16, kSHMaxCoeffs, sums);
    EXPECT_EQ(calls, 16 * kSHMaxCoeffs);

    // No samples: the sums are left alone rather than scaled by an infinite weight.
    double kept[2] = {1.5, -2.0};
    SHProject(One, samples.data(), 0, 2, kept);
    EXPECT_EQ(kept[0], 1.5);
    EXPECT_EQ(kept[1], -2.0);
}

TEST(SHProjection, TestLightBakeMatchesAFineQuadrature)
{
    const auto samples = Bake(10000, 4, 10000);
    double baked[kSHMaxCoeffs] = {};
    SHProject(SHTestLight, samples.data(), 10000, kSHMaxCoeffs, baked);
    EXPECT_GT(baked[0], 0.0);

    // Midpoint rule on a fine theta-phi grid, independent of the sample set.
    constexpr int kRows = 600, kCols = 1200;
    double exact[kSHMaxCoeffs] = {};
    const double dt = kPi / kRows, dp = 2 * kPi / kCols;
    for (int r = 0; r < kRows; ++r) {
        const double theta = (r + 0.5) * dt;
        for (int c = 0; c < kCols; ++c) {
            const double phi = (c + 0.5) * dp;
            const double w = SHTestLight(theta, phi) * std::sin(theta) * dt * dp;
            if (w == 0.0)
                continue;
            int index = 0;
            for (int l = 0; l < 4; ++l)
                for (int m = -l; m <= l; ++m)
                    exact[index++] += w * SHBasis(l, m, theta, phi);
        }
    }
    for (int j = 0; j < kSHMaxCoeffs; ++j)
        EXPECT_NEAR(baked[j], exact[j], 5e-3) << j;
}

TEST(SHProjection, TestLightBakeIsTheSameOnEveryRun)
{
    // Recorded from this bake; it was checked against the quadrature above.
    constexpr double kBaked[kSHMaxCoeffs] = {
        0.39924858731519886,    -0.21074809856905236,   0.28686703723334728,  0.28277192227369924,
        -0.31530184281962415,   -0.00039826991599203773, 0.13159099884746067, 0.00097662687741847812,
        0.093584930436781427,   -0.24993406144761962,   -0.00072048846638714541, 0.12289554093316668,
        0.30457605362903545,    -0.16427570322180204,   -0.00061538492600073493, -0.091265163206665889,
    };
    const auto samples = Bake(10000, 4, 10000);
    double baked[kSHMaxCoeffs] = {};
    SHProject(SHTestLight, samples.data(), 10000, kSHMaxCoeffs, baked);
    for (int j = 0; j < kSHMaxCoeffs; ++j)
        EXPECT_NEAR(baked[j], kBaked[j], 1e-12) << j;
}
