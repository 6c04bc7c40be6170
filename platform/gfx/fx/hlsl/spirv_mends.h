#pragma once
// What glslang writes wrongly of the language in the SPIR-V it makes of a
// stage, mended in place, the words of the code otherwise as they were:
// - `%` and `fmod` leave the sign of the dividend (truncated remainders), of
//   ints and floats alike, where glslang makes the remainders that take the
//   divisor's;
// - `any` and `all` of a scalar are whether the value is not zero: glslang
//   reads them so, into a scalar truth value, and then tests that with the
//   instruction that takes only vectors, which the translation for the
//   driver writes as a call no function takes. Such a test of one truth
//   value is its own answer: it becomes a copy of it.
#include <cstdint>
#include <vector>

namespace gfx {

// Mends `spirv` in place; what is not SPIR-V as the front end writes it is
// left alone.
void MendSpirv(std::vector<uint32_t>& spirv);

} // namespace gfx
