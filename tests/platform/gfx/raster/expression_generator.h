#pragma once
// A seeded generator of well-typed expressions of the effect language for
// the differential test of the evaluator against the drawn shaders:
// scalars, vectors and float matrices of float, int and bool; literals (each
// given as a parameter too), constructors, casts, swizzles and matrix
// elements, `?:` and comparisons, the arithmetic and logical operators, the
// intrinsics, `mul`, and a constant array. The evaluator types and computes
// each part as it is made, and a part is kept only within its functions'
// domains and within what a float target holds; what a function with steps
// (floor, a comparison, a conversion to int) reads is exact in float
// arithmetic, so that the shader's floats and the evaluator's doubles cannot
// fall on two sides of a step.
#include <cstdint>
#include <random>
#include <string>

#include "platform/gfx/fx/expression/value.h"

namespace gfx_test {

struct GeneratedExpression {
    std::string literal;      // its numbers written
    std::string parametrized; // its numbers parameters
    std::string declarations; // of those parameters
    std::string type;
};

class ExpressionGenerator {
public:
    // What every expression may name, declared before them.
    static constexpr const char* kDeclarations =
        "static const float4 Table[3] = { {0.5, -1.25, 2, 0}, {3, 0.75, -2.5, 1}, {-0.25, 4, 1.5, -3} };\n";

    // With `matrixSwizzles`, swizzles of several matrix elements too.
    explicit ExpressionGenerator(uint32_t seed, bool matrixSwizzles = false)
        : random_(seed), matrixSwizzles_(matrixSwizzles)
    {
    }
    GeneratedExpression Next();

private:
    struct Node {
        std::string text, param, declarations;
        gfx::ExpressionValue value;
        bool exact = true;
    };
    bool Make(int depth, Node& out);
    bool Shaped(int depth, const gfx::ValueShape& shape, Node& out);
    void Literal(gfx::ValueBase base, double value, Node& out);
    bool Compose(int depth, Node& out);
    // Makes `out` of `text` (and `param`, its parts' `declarations`), computed.
    bool Done(Node& out, const std::string& text, const std::string& param, const std::string& declarations,
              bool exact);
    uint32_t Pick(uint32_t n) { return uint32_t(random_() % n); }

    std::mt19937 random_;
    bool matrixSwizzles_;
    uint32_t parameters_ = 0;
};

} // namespace gfx_test
