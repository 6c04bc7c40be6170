#include "platform/gfx/fx/expression/builder.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/fx/expression/execution.h"
#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/expression/operators.h"
#include "platform/gfx/fx/expression/typing.h"

namespace gfx::expr {

namespace {

bool HasNaN(const ExpressionValue& value)
{
    return value.shape.base == ValueBase::Float &&
           std::any_of(value.components.begin(), value.components.end(), [](double v) { return std::isnan(v); });
}

// A value as an operand is written: "-1", "float3(0, 0, 0)".
std::string ValueText(const ValueShape& shape, const double* v)
{
    if (shape.Components() == 1)
        return NumberText(v[0]);
    ValueShape element = shape;
    element.arraySize = 0;
    std::string text = ShapeName(element) + "(";
    const uint32_t n = element.ElementComponents();
    for (uint32_t k = 0; k < n; ++k)
        text += (k ? ", " : "") + NumberText(v[k]);
    return text + (shape.arraySize > 1 ? ", ...)" : ")");
}

bool ComponentByComponent(uint32_t intrinsic)
{
    switch (intrinsic) {
    case kDot: case kDistance: case kLength: case kNormalize: case kCross: case kReflect: case kRefract:
    case kFaceforward: case kTranspose: case kDeterminant: case kAny: case kAll: case kAsFloat: case kAsInt:
    case kAsUint: case kMul:
        return false;
    default:
        return true;
    }
}

} // namespace

bool ExpressionBuilder::Fail(const Token& at, int code, const std::string& text, bool roundsByParameter)
{
    if (error_.code == 0) {
        error_.line = at.line;
        error_.column = at.column;
        error_.file = at.file;
        error_.code = code;
        error_.text = text;
        error_.roundsByParameter = roundsByParameter;
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
    // Spent before the value's memory is taken: the budget bounds its size.
    if (!Spend(1 + result.Components(), at))
        return false;
    // A constant index is checked whatever it reads, as the platform's compiler checks it.
    if (in.op == Expression::Op::Index && TopConstants(1)) {
        ValueShape element;
        uint32_t count = 1, chosen = 0;
        IndexedElement(inputs_[0], element, count);
        if (!ElementAt(program_.constants_.back().components[0], count, at, chosen))
            return false;
    }
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
        // Refused where it is made: what takes it after (max, a comparison,
        // a cast) may leave no trace of it.
        if (HasNaN(value))
            return Fail(at, 3025, "the value is not a number: " + NotANumberText(in, pointers.data(), value));
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

std::string ExpressionBuilder::NotANumberText(const Expression::Instruction& in, const double* const* values,
                                              const ExpressionValue& result)
{
    uint32_t first = 0;
    while (first < result.components.size() && !std::isnan(result.components[first]))
        ++first;
    const ValueShape& out = result.shape;
    uint32_t row = 0, column = 0;
    RowColumn(out, first % out.ElementComponents(), row, column);
    std::string text;
    if (in.op == Expression::Op::Binary) {
        text = NumberText(values[0][Source(inputs_[0], row, column)]) + " " + kBinarySpelling[in.a] + " " +
               NumberText(values[1][Source(inputs_[1], row, column)]);
    } else if (in.op == Expression::Op::Call) {
        text = std::string(kIntrinsics[in.a].name) + "(";
        for (uint32_t k = 0; k < in.b; ++k) {
            text += k ? ", " : "";
            text += ComponentByComponent(in.a) ? NumberText(values[k][Source(inputs_[k], row, column)])
                                               : ValueText(inputs_[k], values[k]);
        }
        text += ")";
    } else {
        text = "an operation";
    }
    return text;
}

// What the platform's compiler refuses in a constant: an integer
// division by zero.
bool ExpressionBuilder::FoldCheck(const Expression::Instruction& in, const double* const* values, const Token& at)
{
    if (in.op == Expression::Op::Binary && (in.a == kDivide || in.a == kRemainder) &&
        CommonBase(inputs_[0].base, inputs_[1].base) != ValueBase::Float) {
        for (uint64_t k = 0; k < inputs_[1].Components(); ++k)
            if (values[1][k] == 0)
                return Fail(at, 4010, in.a == kDivide ? "Unsigned integer divide by zero"
                                                      : "Unsigned integer modulus by zero");
    }
    return true;
}

bool ExpressionBuilder::ElementAt(double value, uint64_t count, const Token& at, uint32_t& element)
{
    const double index = std::trunc(value);
    if (!(index >= 0) || index >= double(count))
        return Fail(at, 3504, "array index out of bounds: " + NumberText(value) + " of 0 to " + std::to_string(count - 1));
    element = static_cast<uint32_t>(index);
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

uint32_t ExpressionBuilder::NewSlot(const ValueShape& shape)
{
    Slot s;
    s.shape = shape;
    slots_.push_back(std::move(s));
    return static_cast<uint32_t>(slots_.size() - 1);
}

bool ExpressionBuilder::Store(uint32_t slot, const Token& at)
{
    if (!(stack_.back().shape == slots_[slot].shape))
        return Fail(at, 3000, "internal: a value stored into a local of another shape");
    if (!Remember(slot, at))
        return false;
    Slot& s = slots_[slot];
    if (TopConstants(1)) {
        s.value = std::move(program_.constants_.back());
        s.constant = true;
        DropConstants(1);
        stack_.pop_back();
        return true;
    }
    // Program slots are numbered in the order they are first written; a
    // branch writes none that held a value from before it, which the other
    // way, or what follows both, may still read.
    if (s.programSlot == kNone || (!branches_.empty() && s.programSlot < branches_.back().floor))
        s.programSlot = programSlots_++;
    s.constant = false;
    s.value = ExpressionValue();
    return Emit({Expression::Op::Store, s.programSlot, 0}, at);
}

bool ExpressionBuilder::StoreNew(const ValueShape& shape, const Token& at, uint32_t& slot)
{
    slot = NewSlot(shape);
    return Store(slot, at);
}

bool ExpressionBuilder::Load(uint32_t slot, const Token& at)
{
    return LoadState(slots_[slot], at);
}

bool ExpressionBuilder::LoadState(const Slot& state, const Token& at)
{
    if (state.constant)
        return PushConstant(state.value, at);
    return Emit({Expression::Op::Load, state.programSlot, 0}, at, &state.shape);
}

bool ExpressionBuilder::StoreConstantInto(uint32_t slot, uint32_t first, uint32_t picks, const Token& at)
{
    if (!slots_[slot].constant || !TopConstants(1) || !Remember(slot, at))
        return false;
    Slot& s = slots_[slot];
    const ExpressionValue& value = program_.constants_.back();
    const uint32_t count = picks & 7;
    if (count == 0)
        std::copy(value.components.begin(), value.components.end(), s.value.components.begin() + first);
    for (uint32_t k = 0; k < count; ++k)
        s.value.components[first + (picks >> (3 + 4 * k) & 15)] = value.components[k];
    DropConstants(1);
    stack_.pop_back();
    return true;
}

bool ExpressionBuilder::Remember(uint32_t slot, const Token& at)
{
    if (branches_.empty())
        return true;
    Branch& branch = branches_.back();
    Slot& s = slots_[slot];
    if (slot >= branch.slots || s.savedIn == branch.id)
        return true;
    // The copy is paid for like the value it copies.
    if (!Spend(1 + s.value.components.size(), at))
        return false;
    branch.saved.emplace_back(slot, s);
    s.savedIn = branch.id;
    return true;
}

void ExpressionBuilder::BeginBranch()
{
    branches_.push_back({++branchIds_, slots_.size(), programSlots_, {}});
}

void ExpressionBuilder::EndBranch(BranchWrites& out)
{
    Branch branch = std::move(branches_.back());
    branches_.pop_back();
    out.clear();
    for (auto& [slot, before] : branch.saved) {
        out.emplace_back(slot, std::move(slots_[slot]));
        slots_[slot] = std::move(before);
    }
}

bool ExpressionBuilder::Merge(uint32_t condition, const BranchWrites& then, const BranchWrites& otherwise,
                              const Token& at)
{
    // Each local either way wrote, by slot: its place in `then`, or then.size()
    // and on its place in `otherwise`.
    std::vector<std::pair<uint32_t, size_t>> written;
    for (size_t k = 0; k < then.size(); ++k)
        written.emplace_back(then[k].first, k);
    for (size_t k = 0; k < otherwise.size(); ++k)
        written.emplace_back(otherwise[k].first, then.size() + k);
    std::sort(written.begin(), written.end());
    for (size_t k = 0; k < written.size();) {
        const uint32_t slot = written[k].first;
        const Slot* a = &slots_[slot];
        const Slot* b = a;
        for (; k < written.size() && written[k].first == slot; ++k) {
            const size_t place = written[k].second;
            if (place < then.size())
                a = &then[place].second;
            else
                b = &otherwise[place - then.size()].second;
        }
        const bool same = a->constant == b->constant &&
                          (a->constant ? a->value == b->value : a->programSlot == b->programSlot);
        if (!same) {
            if (!Load(condition, at) || !LoadState(*a, at) || !LoadState(*b, at) ||
                !Emit({Expression::Op::Choose, 0, 0}, at) || !Store(slot, at))
                return false;
            continue;
        }
        if (a == &slots_[slot])
            continue;
        // Both ways left it alike: as they left it.
        if (!Remember(slot, at))
            return false;
        Slot& s = slots_[slot];
        s.programSlot = a->programSlot;
        s.constant = a->constant;
        s.value = a->value;
    }
    return true;
}

bool ExpressionBuilder::Splice(const Expression& program, const Token& at)
{
    // Its locals become new slots of this program, made where first written.
    std::vector<uint32_t> slotOf;
    for (const Expression::Instruction& in : program.code_) {
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
            if (in.a >= slotOf.size())
                return Fail(at, 3000, "internal: a spliced local read before it is written");
            if (!Load(slotOf[in.a], at))
                return false;
            continue;
        case Expression::Op::Store:
            if (in.a > slotOf.size())
                return Fail(at, 3000, "internal: a spliced local written out of order");
            if (in.a == slotOf.size())
                slotOf.push_back(NewSlot(stack_.back().shape));
            if (!Store(slotOf[in.a], at))
                return false;
            continue;
        default:
            if (!Emit(in, at))
                return false;
            continue;
        }
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
