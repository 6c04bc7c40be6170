#pragma once
// An expression's program, grown one instruction at a time: each instruction
// is typed against the stack of values as it comes, and one whose inputs are
// all constants just pushed is computed at once and replaced by its value (a
// constant integer division by zero and a constant index past the end are
// refused there, as the platform's compiler refuses them, and so is a value
// that is not a number, where it is made, naming what made it). Locals are
// slots: a slot that holds a constant gives it again where it is read, so what
// a function computes from constants folds whole; a slot that holds a value of
// parameters is a local of the program. A way of an `if` that only a pass's
// begin chooses is a branch: the locals it writes are saved as they were and
// put back at its end, and where the two ways leave a local differently the
// program chooses between them by the condition. Every instruction spends
// the effect's budget of expression work, before any memory is taken for
// its value. The first failure is kept, at the token it was found at.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"

namespace gfx::expr {

class ExpressionBuilder {
public:
    static constexpr uint32_t kNone = ~uint32_t{0};
    // A local as the program holds it at some point: a constant, or the
    // program's local that holds its value.
    struct Slot {
        ValueShape shape;
        uint32_t programSlot = kNone; // its local in the program, once a value of parameters is stored
        bool constant = false;        // it holds `value`
        ExpressionValue value;
        uint32_t savedIn = 0;         // the branch that saved it last
    };
    // The locals a branch wrote, each as the branch left it.
    using BranchWrites = std::vector<std::pair<uint32_t, Slot>>;

    ExpressionBuilder(ExpressionBudget& budget, ExpressionError& error) : budget_(budget), error_(error) {}

    // Keeps the first failure; always false.
    bool Fail(const Token& at, int code, const std::string& text, bool roundsByParameter = false);
    // Spends `work` steps of the budget; false, with the failure kept, past it.
    bool Spend(uint64_t work, const Token& at);
    // One step that cannot fail here (a token read): the next Spend counts it.
    void Step() { ++budget_.work; }
    bool OverBudget() const { return budget_.work > budget_.limit; }
    uint64_t BudgetLimit() const { return budget_.limit; }

    // Appends `in`, typed against the stack (or as `given`), folding it when
    // all it takes are constants just pushed.
    bool Emit(const Expression::Instruction& in, const Token& at, const ValueShape* given = nullptr);
    bool PushConstant(ExpressionValue value, const Token& at);
    // Converts the top value to `shape` unless it is of it already.
    bool ConvertTo(const ValueShape& shape, const Token& at, bool explicitly);

    // A new local of `shape`, written before it is read.
    uint32_t NewSlot(const ValueShape& shape);
    // Pops the top value, of the slot's shape, into the slot.
    bool Store(uint32_t slot, const Token& at);
    bool StoreNew(const ValueShape& shape, const Token& at, uint32_t& slot);
    bool Load(uint32_t slot, const Token& at);
    const Slot& SlotAt(uint32_t slot) const { return slots_[slot]; }
    // Writes the top value, a constant, into components of a slot that holds
    // a constant: from `first` on, or at first + each of `picks` (packed as
    // Swizzle's); false, changing nothing, when either is not a constant.
    bool StoreConstantInto(uint32_t slot, uint32_t first, uint32_t picks, const Token& at);

    // From here the locals written are saved before they change, until EndBranch.
    void BeginBranch();
    // Puts back every local the branch wrote; `out` gets what it left in them.
    void EndBranch(BranchWrites& out);
    // Each local that either way wrote takes, where the local `condition`
    // holds, what `then` left in it, else what `otherwise` did; a way that
    // did not write it leaves it as it is now.
    bool Merge(uint32_t condition, const BranchWrites& then, const BranchWrites& otherwise, const Token& at);

    // A static's program, named where it is used: its instructions again,
    // with its constants and locals renumbered.
    bool Splice(const Expression& program, const Token& at);
    // Takes the top value off the stack when it is a constant just pushed;
    // false, changing nothing, when it is not.
    bool TakeConstant(ExpressionValue& out);
    // The element a constant index `value` chooses of `count`, truncated
    // toward zero as HLSL converts an index; refused past either end.
    bool ElementAt(double value, uint64_t count, const Token& at, uint32_t& element);

    // The values on the stack, and the shape of the one `below` the top.
    size_t Depth() const { return stack_.size(); }
    const ValueShape& Top(size_t below = 0) const { return stack_[stack_.size() - 1 - below].shape; }

    // The program made, typed; false when it is not sound (failed at `at`).
    bool Finish(const Token& at, Expression& out);

private:
    static constexpr size_t kNotConstant = ~size_t{0};
    struct Typed {
        ValueShape shape;
        size_t constant = kNotConstant; // the Constant instruction that pushed it
    };
    // A branch under way: the locals there were when it began, the program's
    // locals it may not write again, and the locals it saved.
    struct Branch {
        uint32_t id = 0;
        size_t slots = 0;
        uint32_t floor = 0;
        BranchWrites saved;
    };

    bool TopConstants(size_t n) const;
    // Saves `slot` for the branch under way, the first time it writes it.
    bool Remember(uint32_t slot, const Token& at);
    bool LoadState(const Slot& state, const Token& at);
    bool FoldCheck(const Expression::Instruction& in, const double* const* values, const Token& at);
    void DropConstants(uint32_t n);
    // What made a NaN of the folded `in` whose inputs held none: "sqrt(-1)".
    std::string NotANumberText(const Expression::Instruction& in, const double* const* values,
                               const ExpressionValue& result);

    ExpressionBudget& budget_;
    ExpressionError& error_;
    Expression program_;
    std::vector<Typed> stack_;
    std::vector<ValueShape> inputs_;
    std::vector<Slot> slots_;
    uint32_t programSlots_ = 0;
    std::vector<Branch> branches_;
    uint32_t branchIds_ = 0;
};

} // namespace gfx::expr
