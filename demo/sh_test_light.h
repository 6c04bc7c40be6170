#pragma once
// The demo's test light for the spherical-harmonics bake: two soft lobes of
// peak 1, one on the +z pole and one on the equator at azimuth 2.5 rad.
// Pure; never negative for finite angles.
double SHTestLight(double theta, double phi);
