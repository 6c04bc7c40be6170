#pragma once
// The operations of HLSL code (a function, a declaration) whose operands are
// all constants, found and computed by the evaluator: binary operators that
// multiply, divide or compare, and calls of intrinsics. An operator's
// operands are what its precedence gives it among the tokens around it, each
// then read whole by the evaluator's reader and typed by it, so blanks,
// comments and lines between them change nothing. An operand that names
// anything but literals, constants (the code's own `const`s among them) and
// built-in or typedef'd types (a local, a parameter of the function or of
// the effect, a call of the effect's functions) is no constant, and its
// operation is left out. An integer
// division or remainder by a constant zero is refused, as the evaluator
// refuses it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/expression/operators.h"

namespace gfx {

struct ConstantOperation {
    size_t first = 0; // its tokens, [first, end)
    size_t end = 0;
    uint32_t operation = 0; // an expr::BinaryOp, or kIntrinsicOperation + an expr::Intrinsic
    std::vector<ValueShape> operands;
    ExpressionValue value;
};
inline constexpr uint32_t kIntrinsicOperation = expr::kBinaryCount;

// Whether an operation of these operands is wanted, its value computed.
using WantedOperation = std::function<bool(uint32_t operation, const std::vector<ValueShape>& operands)>;

class ConstantOperations {
public:
    // `names` gives the constants and types of the code's scope; the code's
    // own declarations (a function's parameters and locals) hide them.
    ConstantOperations(const std::vector<Token>& tokens, ExpressionNames& names, ExpressionBudget& budget);

    // Each wanted operation among tokens [begin, end), told to `found` in
    // the order their operators stand. False, with `error`, at a refused
    // one; once the budget is spent it finds no more.
    bool Find(size_t begin, size_t end, const WantedOperation& wanted,
              const std::function<void(ConstantOperation&&)>& found, ExpressionError& error);

private:
    class ScopeNames;
    struct Operator {
        int level = -1; // as the evaluator's reader ranks them, 9 the tightest; -1 for none
        int length = 0;
        uint32_t op = 0;
    };

    // The code's own names, its constants among them, and the names of
    // tokens [begin_, end_) that are no constants, counted.
    void Scope();
    Operator BinaryAt(size_t k) const;
    // The operator whose last token is `j`, and where it starts.
    Operator EndingAt(size_t j, size_t& start) const;
    bool EndsOperand(size_t k) const;
    bool IsCast(size_t open) const;
    // Where the operand without binary operators that starts at `p` ends, or
    // kNone; and where the one that ends at `q` starts.
    size_t UnaryEnd(size_t p) const;
    size_t UnaryStart(size_t q) const;
    // A whole operand of an operator of `level`: after it, and before it.
    size_t RightEnd(size_t p, int level) const;
    size_t LeftStart(size_t q, int level);
    // The value of tokens [first, end) when it is a constant; false
    // otherwise, `error` set where the evaluator refuses it.
    bool Value(size_t first, size_t end, ExpressionValue& value, ExpressionError& error);
    bool Constant(size_t first, size_t end, ValueShape& shape);

    const std::vector<Token>& tokens_;
    std::vector<size_t> matches_;
    std::vector<size_t> openers_;
    std::vector<uint32_t> unknown_; // names that are no constants, counted up to each token
    std::vector<size_t> leftStarts_; // by operator token, once found
    ExpressionNames& names_;
    ExpressionBudget& budget_;
    std::unordered_set<std::string_view> hidden_;
    std::map<std::string_view, ExpressionValue> constants_; // the code's own

    size_t begin_ = 0;
    size_t end_ = 0;
};

} // namespace gfx
