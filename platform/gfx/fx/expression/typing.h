#pragma once
// The typing rules of each instruction of an expression's program, shared by
// the compiler (which reports a failure at its token) and by Expression's
// Retype (which refuses a damaged program).
#include <cstdint>
#include <string>

#include "platform/gfx/fx/expression/effect_expression.h"

namespace gfx::expr {

struct ExpressionTyping {
    // How many values `op` takes from the stack.
    static uint32_t Inputs(const Expression::Instruction& in);
    // Whether it gives one.
    static bool Gives(Expression::Op op) { return op != Expression::Op::Store && op != Expression::Op::Pop; }

    // The result of `in` from `inputs` (the values it takes, the first
    // first); Constant, Parameter and Load are typed by their callers.
    static bool Result(const Expression::Instruction& in, const ValueShape* inputs, ValueShape& out,
                       std::string& why);

    // Whether a value of `from` converts to `to`: the same count of
    // components, a scalar spread over all, or a larger vector or matrix cut.
    static bool Converts(const ValueShape& from, const ValueShape& to, std::string& why);
};

} // namespace gfx::expr
