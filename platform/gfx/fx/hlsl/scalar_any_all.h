#pragma once
// `any` and `all` of a scalar, as the platform's compiler takes them: whether
// the value is not zero. The shader compiler reads them so, into a scalar
// truth value, and then tests that with the SPIR-V instruction that takes
// only vectors, which the translation for the driver writes as a call no
// function takes. Such a test of one truth value is its own answer: it
// becomes a copy of it, in place, the words of the code otherwise as they were.
#include <cstdint>
#include <vector>

namespace gfx {

// Mends every `any` and `all` of a scalar in `spirv` in place; what is not
// SPIR-V as the front end writes it is left alone.
void MendScalarAnyAll(std::vector<uint32_t>& spirv);

} // namespace gfx
