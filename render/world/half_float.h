#pragma once
// Half-precision floats (IEEE 754 binary16) from 32-bit floats, by truncation
// toward zero through two 512-entry tables indexed by the float's sign and
// exponent: a base (the half's sign, exponent and implicit bit) and the shift
// that brings the mantissa down. Values too large for a half become infinity,
// values too small signed zero; a NaN stays a NaN unless its payload lies only
// in the bits cut off.
#include <cstdint>

uint16_t FloatToHalf(float value);
// The float a half stands for (exact).
float HalfToFloat(uint16_t half);
