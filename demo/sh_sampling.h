#pragma once
// Spherical-harmonics sampling and projection for the demo's lighting bake:
// a stratified set of sphere directions, each with the first sixteen real
// basis values (four bands), and a Monte-Carlo projector of a function of
// direction onto those coefficients. Double precision, angles in radians.
#include "kernel/math/float3.h"

// Four bands: the coefficient of (l, m) sits at index l(l + 1) + m.
inline constexpr int kSHMaxCoeffs = 16;

struct SHSample {
    float theta = 0.0f; // polar angle from +z, [0, pi]
    float phi = 0.0f;   // azimuth about +z, [0, 2 pi)
    float3 direction;   // (sin theta cos phi, sin theta sin phi, cos theta)
    double coefficients[kSHMaxCoeffs] = {};
};

// A function of direction: (theta, phi) -> value.
using SHFunction = double (*)(double theta, double phi);

// Associated Legendre polynomial with the Condon-Shortley phase; 0 <= m.
double SHLegendreP(int l, int m, double t);
// Normalisation constant of band l, order m (0 <= m <= l).
double SHNormK(int l, int m);
// The real basis function Y(l, m), -l <= m <= l.
double SHBasis(int l, int m, double theta, double phi);

// Fills the first (int)sqrt(n) squared records from a jittered grid, drawing
// the runtime random source twice per sample (theta, then phi). Indices past
// the sixteenth are reported and skipped.
void SHSetupSamples(SHSample* samples, int n, int bands);

// Adds the projection of fn over the n samples into result[0..count-1]; the
// caller zeroes result first.
void SHProject(SHFunction fn, const SHSample* samples, int n, int count, double* result);
