#pragma once
// A seeded generator of well-typed expressions of the effect language for
// the differential test of the evaluator against the drawn shaders:
// scalars, vectors and float matrices of float, int and bool; literals (each
// a parameter too), constructors, casts, swizzles and matrix elements, `?:`,
// comparisons, the arithmetic and logical operators, the intrinsics, `mul`,
// and a constant array. The evaluator types and computes each part as it is
// made, which is kept only within its functions' domains and what a float
// target holds; what a function with steps (floor, a comparison, a cast to
// int) reads is exact in float arithmetic, so that the shader's floats and
// the evaluator's doubles cannot fall on two sides of a step.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx_test {

struct GeneratedExpression {
    std::string literal;      // its numbers written
    std::string parametrized; // its numbers parameters
    std::string declarations; // of those parameters
    std::string type;
};

// What every expression may name, declared before them.
inline constexpr const char* kGeneratedDeclarations =
    "static const float4 Table[3] = { {0.5, -1.25, 2, 0}, {3, 0.75, -2.5, 1}, {-0.25, 4, 1.5, -3} };\n";

// `count` expressions from `seed`; with `matrixSwizzles`, swizzles of
// several matrix elements too.
std::vector<GeneratedExpression> GenerateExpressions(uint32_t seed, size_t count, bool matrixSwizzles = false);

} // namespace gfx_test
