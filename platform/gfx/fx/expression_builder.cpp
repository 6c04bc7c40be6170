#include "platform/gfx/fx/expression_builder.h"

#include <cmath>

#include "platform/gfx/fx/expression_execution.h"
#include "platform/gfx/fx/expression_operators.h"
#include "platform/gfx/fx/expression_typing.h"

namespace gfx::expr {

bool ExpressionBuilder::Fail(const Token& at, int code, const std::string& text)
{
    if (error_.code == 0) {
        error_.line = at.line;
        error_.column = at.column;
        error_.file = at.file;
        error_.code = code;
        error_.text = text;
    }
    return false;
}

bool ExpressionBuilder::Spend(uint64_t work, const Token& at)
{
    budget_.work += work;
    if (budget_.work > budget_.limit)
        return Fail(at, 3000, "the constant expressions are too large: more than " +
                                  std::to_string(budget_.limit) + " steps of work for this effect");
    return true;
}

// Whether the top `n` values were pushed by the last `n` instructions, all
// constants: then the constants are the table's last `n` too.
bool ExpressionBuilder::TopConstants(size_t n) const
{
    if (n > stack_.size() || n > program_.code_.size())
        return false;
    for (size_t k = 0; k < n; ++k)
        if (stack_[stack_.size() - n + k].constant != program_.code_.size() - n + k)
            return false;
    return true;
}

// Appends `in`, typed against the stack; folds it at once when all it
// takes are constants just pushed.
bool ExpressionBuilder::Emit(const Expression::Instruction& in, const Token& at, const ValueShape* given)
{
    const uint32_t n = ExpressionTyping::Inputs(in);
    if (n > stack_.size())
        return Fail(at, 3000, "internal: the expression stack is short");
    inputs_.clear();
    for (size_t k = stack_.size() - n; k < stack_.size(); ++k)
        inputs_.push_back(stack_[k].shape);
    const bool allConstant = TopConstants(n);
    ValueShape result;
    if (given) {
        result = *given;
    } else if (ExpressionTyping::Gives(in.op)) {
        std::string why;
        if (!ExpressionTyping::Result(in, inputs_.data(), result, why))
            return Fail(at, in.op == Expression::Op::Convert || in.op == Expression::Op::Construct ? 3017 : 3020, why);
    }
    if (result.Components() > kMaxExpressionComponents)
        return Fail(at, 3005, "a value of '" + ShapeName(result) + "' is too large");
    if (!Spend(1 + result.Components(), at))
        return false;
    const bool folds = allConstant && n > 0 && in.op != Expression::Op::Store;
    if (folds && in.op == Expression::Op::Pop) {
        DropConstants(1);
        stack_.pop_back();
        return true;
    }
    if (folds) {
        std::vector<const double*> pointers;
        const size_t firstConstant = program_.constants_.size() - n;
        for (uint32_t k = 0; k < n; ++k)
            pointers.push_back(program_.constants_[firstConstant + k].components.data());
        if (!FoldCheck(in, pointers.data(), at))
            return false;
        ExpressionValue value;
        value.shape = result;
        value.components.resize(result.Components());
        Apply(in, inputs_.data(), pointers.data(), result, value.components.data());
        DropConstants(n);
        stack_.resize(stack_.size() - n);
        return PushConstant(std::move(value), at);
    }
    program_.code_.push_back(in);
    stack_.resize(stack_.size() - n);
    if (ExpressionTyping::Gives(in.op))
        stack_.push_back({result, kNotConstant});
    return true;
}

// What the platform's compiler refuses in a constant: an integer
// division by zero, an index past the end.
bool ExpressionBuilder::FoldCheck(const Expression::Instruction& in, const double* const* values, const Token& at)
{
    if (in.op == Expression::Op::Binary && (in.a == kDivide || in.a == kRemainder) &&
        CommonBase(inputs_[0].base, inputs_[1].base) != ValueBase::Float) {
        for (uint64_t k = 0; k < inputs_[1].Components(); ++k)
            if (values[1][k] == 0)
                return Fail(at, 4010, in.a == kDivide ? "Unsigned integer divide by zero"
                                                      : "Unsigned integer modulus by zero");
    }
    if (in.op == Expression::Op::Index) {
        const uint64_t count = inputs_[0].arraySize != 0 ? inputs_[0].arraySize
                               : inputs_[0].matrix     ? inputs_[0].rows
                                                       : inputs_[0].columns;
        const double index = std::trunc(values[1][0]);
        if (!(index >= 0) || index >= double(count))
            return Fail(at, 3504, "array index out of bounds");
    }
    return true;
}

void ExpressionBuilder::DropConstants(uint32_t n)
{
    program_.code_.resize(program_.code_.size() - n);
    program_.constants_.resize(program_.constants_.size() - n);
}

bool ExpressionBuilder::PushConstant(ExpressionValue value, const Token& at)
{
    if (!Spend(1 + value.components.size(), at))
        return false;
    program_.code_.push_back({Expression::Op::Constant, static_cast<uint32_t>(program_.constants_.size()), 0});
    stack_.push_back({value.shape, program_.code_.size() - 1});
    program_.constants_.push_back(std::move(value));
    return true;
}

bool ExpressionBuilder::ConvertTo(const ValueShape& shape, const Token& at, bool explicitly)
{
    if (stack_.back().shape == shape)
        return true;
    return Emit({Expression::Op::Convert, PackShape(shape), explicitly ? 1u : 0u}, at);
}

bool ExpressionBuilder::StoreNew(const ValueShape& shape, const Token& at, uint32_t& slot)
{
    slot = static_cast<uint32_t>(slotShapes_.size());
    slotShapes_.push_back(shape);
    return Emit({Expression::Op::Store, slot, 0}, at);
}

bool ExpressionBuilder::Load(uint32_t slot, const Token& at)
{
    return Emit({Expression::Op::Load, slot, 0}, at, &slotShapes_[slot]);
}

bool ExpressionBuilder::Splice(const Expression& program, const Token& at)
{
    const uint32_t slots = static_cast<uint32_t>(slotShapes_.size());
    for (const Expression::Instruction& source : program.code_) {
        Expression::Instruction in = source;
        switch (in.op) {
        case Expression::Op::Constant:
            if (!PushConstant(program.constants_[in.a], at))
                return false;
            continue;
        case Expression::Op::Parameter: {
            ValueShape shape;
            UnpackShape(in.b, shape);
            if (!Emit(in, at, &shape))
                return false;
            continue;
        }
        case Expression::Op::Load:
            if (!Load(in.a + slots, at))
                return false;
            continue;
        case Expression::Op::Store:
            if (in.a + slots == slotShapes_.size())
                slotShapes_.push_back(stack_.back().shape);
            in.a += slots;
            break;
        default:
            break;
        }
        if (!Emit(in, at))
            return false;
    }
    return true;
}

bool ExpressionBuilder::TakeConstant(ExpressionValue& out)
{
    if (!TopConstants(1))
        return false;
    out = std::move(program_.constants_.back());
    DropConstants(1);
    stack_.pop_back();
    return true;
}

bool ExpressionBuilder::Finish(const Token& at, Expression& out)
{
    program_.shapes_.clear();
    std::string why;
    if (!program_.Retype(why))
        return Fail(at, 3000, why);
    out = std::move(program_);
    return true;
}

} // namespace gfx::expr
