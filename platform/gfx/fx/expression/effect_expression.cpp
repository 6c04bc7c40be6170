#include "platform/gfx/fx/expression/effect_expression.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/fx/expression/execution.h"
#include "platform/gfx/fx/expression/typing.h"

namespace gfx {

std::vector<uint32_t> Expression::Parameters() const
{
    std::vector<uint32_t> out;
    for (const Instruction& in : code_)
        if (in.op == Op::Parameter && std::find(out.begin(), out.end(), in.a) == out.end())
            out.push_back(in.a);
    return out;
}

bool Expression::operator==(const Expression& other) const
{
    std::vector<uint8_t> a, b;
    Write(a);
    other.Write(b);
    return a == b;
}

bool Expression::Retype(std::string& error)
{
    shapes_.assign(code_.size(), ValueShape());
    localShapes_.clear();
    localOffsets_.clear();
    localComponents_ = 0;
    stackComponents_ = 0;
    stackValues_ = 0;
    work_ = 0;
    namesParameters_ = false;
    std::vector<ValueShape> stack;
    uint64_t components = 0;
    std::vector<ValueShape> inputs;
    for (size_t pc = 0; pc < code_.size(); ++pc) {
        const Instruction& in = code_[pc];
        const uint32_t n = expr::ExpressionTyping::Inputs(in);
        if (n > stack.size()) {
            error = "the program takes more values than it has";
            return false;
        }
        inputs.assign(stack.end() - n, stack.end());
        for (const ValueShape& s : inputs)
            components -= s.Components();
        stack.resize(stack.size() - n);
        ValueShape result;
        switch (in.op) {
        case Op::Constant:
            if (in.a >= constants_.size()) {
                error = "a constant past the table";
                return false;
            }
            result = constants_[in.a].shape;
            break;
        case Op::Parameter:
            if (!expr::UnpackShape(in.b, result)) {
                error = "a parameter of no shape";
                return false;
            }
            namesParameters_ = true;
            break;
        case Op::Load:
            if (in.a >= localShapes_.size()) {
                error = "a local read before it is written";
                return false;
            }
            result = localShapes_[in.a];
            break;
        case Op::Store:
            if (in.a > localShapes_.size() || (in.a < localShapes_.size() && !(localShapes_[in.a] == inputs[0]))) {
                error = "a local written out of order";
                return false;
            }
            if (in.a == localShapes_.size()) {
                localShapes_.push_back(inputs[0]);
                localOffsets_.push_back(localComponents_);
                localComponents_ += inputs[0].Components();
                if (localComponents_ > kMaxExpressionComponents * 4) {
                    error = "the locals are too large";
                    return false;
                }
            }
            break;
        case Op::Pop:
            break;
        default:
            if (!expr::ExpressionTyping::Result(in, inputs.data(), result, error))
                return false;
            break;
        }
        shapes_[pc] = result;
        work_ += 1 + result.Components();
        if (expr::ExpressionTyping::Gives(in.op)) {
            stack.push_back(result);
            components += result.Components();
            stackComponents_ = std::max(stackComponents_, components);
            stackValues_ = std::max<uint64_t>(stackValues_, stack.size());
            if (components > kMaxExpressionComponents * 4) {
                error = "the values are too large";
                return false;
            }
        }
    }
    if (stack.size() != 1) {
        error = "the program does not end in one value";
        return false;
    }
    shape_ = stack[0];
    return true;
}

bool Expression::Evaluate(const ExpressionParameters* parameters, ExpressionValue& out, std::string& error,
                          ExpressionScratch* scratch) const
{
    ExpressionScratch local;
    ExpressionScratch& s = scratch ? *scratch : local;
    // While an instruction runs its result lies above its inputs: at most
    // twice what the stack ever holds.
    s.components.resize(stackComponents_ * 2 + 16);
    s.values.resize(stackValues_ + 1);
    s.locals.resize(localComponents_);
    size_t top = 0;  // values on the stack
    size_t used = 0; // their components
    for (size_t pc = 0; pc < code_.size(); ++pc) {
        const Instruction& in = code_[pc];
        const ValueShape& result = shapes_[pc];
        const uint32_t n = expr::ExpressionTyping::Inputs(in);
        const size_t base = top - n;
        const size_t first = n == 0 ? used : s.values[base].offset;
        double* const at = s.components.data() + used;
        switch (in.op) {
        case Op::Constant:
            std::copy(constants_[in.a].components.begin(), constants_[in.a].components.end(), at);
            break;
        case Op::Parameter: {
            size_t count = 0;
            const float* values = parameters ? parameters->Values(in.a, count) : nullptr;
            if (values == nullptr || count < result.Components()) {
                error = "parameter " + std::to_string(in.a) + " has no value of '" + ShapeName(result) + "'";
                return false;
            }
            for (uint64_t i = 0; i < result.Components(); ++i)
                at[i] = expr::ToBase(values[i], result.base);
            break;
        }
        case Op::Load: {
            const double* from = s.locals.data() + localOffsets_[in.a];
            std::copy(from, from + result.Components(), at);
            break;
        }
        case Op::Store: {
            const double* from = s.components.data() + first;
            std::copy(from, from + s.values[base].shape.Components(), s.locals.data() + localOffsets_[in.a]);
            top = base;
            used = first;
            continue;
        }
        case Op::Pop:
            top = base;
            used = first;
            continue;
        default:
            s.shapes.resize(std::max<size_t>(n, 1));
            s.inputs.resize(std::max<size_t>(n, 1));
            for (uint32_t k = 0; k < n; ++k) {
                s.shapes[k] = s.values[base + k].shape;
                s.inputs[k] = s.components.data() + s.values[base + k].offset;
            }
            expr::Apply(in, s.shapes.data(), s.inputs.data(), result, at);
            std::copy(at, at + result.Components(), s.components.data() + first);
            break;
        }
        top = base;
        used = first;
        s.values[top].shape = result;
        s.values[top].offset = used;
        ++top;
        used += result.Components();
    }
    out.shape = shape_;
    out.components.assign(s.components.begin(), s.components.begin() + static_cast<ptrdiff_t>(shape_.Components()));
    return true;
}

bool FoldExpression(const Expression& expression, ExpressionBudget& budget, ExpressionValue& out,
                    ExpressionError& error, const Token& at)
{
    budget.work += expression.Work();
    if (budget.work > budget.limit) {
        error = {at.line, at.column, at.file, 3000,
                 "the constant expressions are too large: more than " + std::to_string(budget.limit) +
                     " steps of work for this effect"};
        return false;
    }
    std::string why;
    if (!expression.Evaluate(nullptr, out, why)) {
        error = {at.line, at.column, at.file, 3025, "not a constant expression: " + why};
        return false;
    }
    if (out.shape.base == ValueBase::Float)
        for (double v : out.components)
            if (std::isnan(v)) {
                error = {at.line, at.column, at.file, 3025, "the value is not a number"};
                return false;
            }
    return true;
}

} // namespace gfx
