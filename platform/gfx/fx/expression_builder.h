#pragma once
// An expression's program, grown one instruction at a time: each instruction
// is typed against the stack of values as it comes, and one whose inputs are
// all constants just pushed is computed at once and replaced by its value (a
// constant integer division by zero and a constant index past the end are
// refused there, as the platform's compiler refuses them). Every instruction
// spends the effect's budget of expression work. The first failure is kept,
// at the token it was found at.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/fx/effect_expression.h"

namespace gfx::expr {

class ExpressionBuilder {
public:
    ExpressionBuilder(ExpressionBudget& budget, ExpressionError& error) : budget_(budget), error_(error) {}

    // Keeps the first failure; always false.
    bool Fail(const Token& at, int code, const std::string& text);
    // Spends `work` steps of the budget; false, with the failure kept, past it.
    bool Spend(uint64_t work, const Token& at);
    // One step that cannot fail here (a token read): the next Spend counts it.
    void Step() { ++budget_.work; }

    // Appends `in`, typed against the stack (or as `given`), folding it when
    // all it takes are constants just pushed.
    bool Emit(const Expression::Instruction& in, const Token& at, const ValueShape* given = nullptr);
    bool PushConstant(ExpressionValue value, const Token& at);
    // Converts the top value to `shape` unless it is of it already.
    bool ConvertTo(const ValueShape& shape, const Token& at, bool explicitly);
    // Pops the top value into a new local slot of `shape`.
    bool StoreNew(const ValueShape& shape, const Token& at, uint32_t& slot);
    bool Load(uint32_t slot, const Token& at);
    // A static's program, named where it is used: its instructions again,
    // with its constants and locals renumbered.
    bool Splice(const Expression& program, const Token& at);
    // Takes the top value off the stack when it is a constant just pushed;
    // false, changing nothing, when it is not.
    bool TakeConstant(ExpressionValue& out);

    // The values on the stack, and the shape of the one `below` the top.
    size_t Depth() const { return stack_.size(); }
    const ValueShape& Top(size_t below = 0) const { return stack_[stack_.size() - 1 - below].shape; }

    // The program made, typed; false when it is not sound (failed at `at`).
    bool Finish(const Token& at, Expression& out);

private:
    struct Typed {
        ValueShape shape;
        size_t constant = kNotConstant; // the Constant instruction that pushed it
    };
    static constexpr size_t kNotConstant = ~size_t{0};

    bool TopConstants(size_t n) const;
    bool FoldCheck(const Expression::Instruction& in, const double* const* values, const Token& at);
    void DropConstants(uint32_t n);

    ExpressionBudget& budget_;
    ExpressionError& error_;
    Expression program_;
    std::vector<Typed> stack_;
    std::vector<ValueShape> inputs_;
    std::vector<ValueShape> slotShapes_;
};

} // namespace gfx::expr
