#pragma once
// The start-up's lighting bake: 10,000 stratified directions of the sphere,
// the test light projected onto the first sixteen basis functions, each
// coefficient printed on a line of its own and kept splatted (the same value
// in all four lanes) for the scene effects. The effects hold the splats'
// address, so they live in one block for the whole program.
#include <ostream>

#include "kernel/math/float4.h"

inline constexpr int kBakeSamples = 10000;
inline constexpr int kBakeBands = 4;
inline constexpr int kBakeCoefficients = 16;

// Writes "Generating samples...", "Projecting to SH...", "Baked:" and the
// sixteen coefficients in the stream's default format to `out`, and returns
// the splats (kBakeCoefficients float4 on a 16-byte boundary).
const float4* BakeShLighting(std::ostream& out);

// The block the last bake filled; zero before the first.
const float4* ShCoeffSplats();
