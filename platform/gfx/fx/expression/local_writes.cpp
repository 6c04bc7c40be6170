// The declarations of a function's locals and the statements that write
// them (declared in expression/compiler.h): initial values, assignments and
// compound assignments to locals and to their elements and components (a
// constructor's among them, `float4(a, b) = v`) and increments, computed as
// they are read. An element a parameter chooses is written in each of its
// ways, as the platform's compiler computes such values.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gfx/fx/expression/compiler.h"
#include "platform/gfx/fx/expression/operators.h"
#include "platform/gfx/fx/syntax/constructor_target.h"
#include "platform/gfx/fx/syntax/hlsl_modifiers.h"

namespace gfx::expr {

namespace {

bool IsModifier(const Token& t)
{
    return t.kind == TokenKind::Identifier && IsHlslModifier(t.text, kModifiesLocal);
}

const ValueShape kBoolShape = [] {
    ValueShape shape;
    shape.base = ValueBase::Bool;
    return shape;
}();

} // namespace

bool ExpressionCompiler::StartsDeclaration(const Token& t)
{
    ValueShape shape;
    bool refused = false;
    std::string why;
    return IsModifier(t) || (t.kind == TokenKind::Identifier && TypeNamed(t.text, shape, refused, why));
}

bool ExpressionCompiler::Declaration()
{
    while (IsModifier(Peek()))
        Next();
    ValueShape shape;
    bool refused = false;
    std::string why;
    const Token type = Peek();
    if (type.kind != TokenKind::Identifier || !TypeNamed(type.text, shape, refused, why))
        return NotConstant(type, "'" + std::string(type.text) + "' is no type it can compute");
    Next();
    if ((type.text == "vector" || type.text == "matrix") && IsSymbol(Peek(), '<') && !Template(type, shape))
        return false;
    return Declarators(shape);
}

bool ExpressionCompiler::InitialValue(ValueShape& declared, const Token& at)
{
    if (IsSymbol(Peek(), '{')) {
        uint32_t parts = 0;
        uint64_t components = 0;
        if (!List(parts, components, 0))
            return false;
        if (declared.arraySize == kUnsizedArray) {
            const uint32_t element = declared.ElementComponents();
            if (components == 0 || components % element != 0 || components / element > kMaxExpressionArraySize)
                return Fail(at, 3017, std::to_string(components) + " values do not make an array of '" +
                                          ShapeName(ElementOf(declared)) + "'");
            declared.arraySize = static_cast<uint32_t>(components / element);
        }
        return builder_.Emit({Op::Construct, PackShape(declared), parts}, at);
    }
    if (!Assignment())
        return false;
    if (declared.arraySize == kUnsizedArray) {
        const ValueShape& given = builder_.Top();
        if (given.arraySize == 0)
            return Fail(at, 3017, "an array of unstated size takes its values from a list in braces");
        declared.arraySize = given.arraySize;
    }
    return builder_.ConvertTo(declared, at, false);
}

bool ExpressionCompiler::Declarators(const ValueShape& shape)
{
    for (;;) {
        const Token nameToken = Peek();
        if (nameToken.kind != TokenKind::Identifier)
            return Unexpected(nameToken);
        Next();
        ValueShape declared = shape;
        std::vector<uint32_t> sizes;
        if (!Sizes(declared, sizes))
            return false;
        if (IsSymbol(Peek(), '=')) {
            const Token at = Next();
            if (!InitialValue(declared, at))
                return false;
            // An array of arrays of unstated size: as many rows as the values fill.
            if (!sizes.empty() && sizes[0] == 0) {
                uint64_t inner = 1;
                for (size_t k = 1; k < sizes.size(); ++k)
                    inner *= sizes[k];
                if (declared.arraySize % inner != 0)
                    return Fail(at, 3017, std::to_string(declared.arraySize) + " elements do not make rows of " +
                                              std::to_string(inner));
                sizes[0] = static_cast<uint32_t>(declared.arraySize / inner);
            }
        } else {
            if (declared.arraySize == kUnsizedArray)
                return Fail(Peek(), 3017, "an array of unstated size takes its values from a list in braces");
            ExpressionValue zero;
            zero.shape = declared;
            zero.components.assign(declared.Components(), 0.0);
            if (!builder_.PushConstant(std::move(zero), nameToken))
                return false;
        }
        uint32_t slot = 0;
        if (!builder_.StoreNew(declared, nameToken, slot))
            return false;
        locals_.push_back({nameToken.text, slot, declared, std::move(sizes)});
        if (IsSymbol(Peek(), ';')) {
            Next();
            return true;
        }
        if (!Expect(','))
            return false;
    }
}

bool ExpressionCompiler::Sizes(ValueShape& declared, std::vector<uint32_t>& sizes)
{
    while (IsSymbol(Peek(), '[')) {
        const Token open = Next();
        uint32_t size = 0;
        if (IsSymbol(Peek(), ']') && sizes.empty()) {
            declared.arraySize = kUnsizedArray;
        } else if (!ConstantSize(size)) {
            return false;
        }
        if (!Expect(']'))
            return false;
        sizes.push_back(size);
        // An array of arrays holds its elements in one array, within the one bound.
        uint64_t elements = 1;
        for (uint32_t each : sizes)
            elements *= each == 0 ? 1 : each;
        if (elements > kMaxExpressionArraySize)
            return Fail(open, 3059, "array size " + std::to_string(elements) + " is out of range (1 to " +
                                        std::to_string(kMaxExpressionArraySize) + ")");
        if (declared.arraySize != kUnsizedArray)
            declared.arraySize = static_cast<uint32_t>(elements);
    }
    if (sizes.size() < 2)
        sizes.clear();
    return true;
}

bool ExpressionCompiler::Updates()
{
    for (;;) {
        if (!Update())
            return false;
        if (!IsSymbol(Peek(), ','))
            return true;
        Next();
    }
}

bool ExpressionCompiler::Update()
{
    const Token first = Peek();
    uint32_t op = kBinaryCount;
    bool increment = false;
    if (IsPair('+', '+') || IsPair('-', '-')) {
        op = first.text[0] == '+' ? kAdd : kSubtract;
        increment = true;
        Next();
        Next();
    }
    const Token name = Peek();
    Target target;
    if (!LocalTarget(name, target))
        return false;
    const Token at = Peek();
    if (!increment) {
        const char c = at.kind == TokenKind::Symbol ? at.text[0] : 0;
        if (IsPair('+', '+') || IsPair('-', '-')) {
            op = c == '+' ? kAdd : kSubtract;
            increment = true;
            Next();
            Next();
        } else if (IsSymbol(at, '=') && !IsPair('=', '=')) {
            Next();
        } else if (IsPair('<', '<') || IsPair('>', '>')) {
            Next();
            Next();
            if (!IsSymbol(Peek(), '='))
                return Unexpected(Peek());
            Next();
            op = c == '<' ? kShiftLeft : kShiftRight;
        } else if (c != 0 && std::string_view("+-*/%&|^").find(c) != std::string_view::npos && IsPair(c, '=')) {
            static const uint32_t kOps[] = {kAdd, kSubtract, kMultiply, kDivide, kRemainder, kBitAnd, kBitOr, kBitXor};
            op = kOps[std::string_view("+-*/%&|^").find(c)];
            Next();
            Next();
        } else {
            return NotConstant(at, "'" + std::string(name.text) + "' is read but not assigned: a statement of it does nothing");
        }
    }
    if (op != kBinaryCount && !LoadPart(target, at))
        return false;
    if (increment) {
        ExpressionValue one;
        one.shape.base = ValueBase::Int;
        one.components = {1};
        if (!builder_.PushConstant(std::move(one), at))
            return false;
    } else if (!Assignment()) {
        return false;
    }
    if (op != kBinaryCount && !builder_.Emit({Op::Binary, op, 0}, at))
        return false;
    return builder_.ConvertTo(target.part, at, false) && Write(target, at);
}

bool ExpressionCompiler::LocalTarget(const Token& name, Target& target)
{
    if (name.kind != TokenKind::Identifier)
        return Unexpected(name);
    size_t local = locals_.size();
    for (size_t k = locals_.size(); k > frame_; --k)
        if (locals_[k - 1].name == name.text) {
            local = k - 1;
            break;
        }
    if (local == locals_.size()) {
        if (IsSymbol(Peek(1), '('))
            return NotConstant(name, "a call of '" + std::string(name.text) + "' as a statement gives nothing");
        if (names_.Find(name.text).kind != ExpressionName::Kind::Unknown)
            return NotConstant(name, "it writes '" + std::string(name.text) +
                                         "', which is not its own: only its locals take values");
        return NotConstant(name, "'" + std::string(name.text) + "' starts no declaration, assignment or return");
    }
    Next();
    return TargetOf(static_cast<uint32_t>(local), target);
}

bool ExpressionCompiler::ConstructorTarget()
{
    const Token type = Next();
    ValueShape shape;
    bool refused = false;
    std::string why;
    TypeNamed(type.text, shape, refused, why);
    if (!shape.IsVector())
        return NotConstant(type, "'" + ShapeName(shape) +
                                     "' as the target of an assignment is computed only of a vector");
    Next(); // '('
    std::vector<Target> targets;
    uint64_t components = 0;
    // The constructors within it still open: each with its size and the
    // components before it.
    struct Open {
        Token name;
        uint32_t size = 0;
        uint64_t before = 0;
    };
    std::vector<Open> open;
    // What the shaders refuse of it too, first in the text: refused once its
    // size is known, as they refuse it.
    Token refusedAt;
    int refusedCode = 0;
    std::string refusedText;
    const auto refuse = [&](const Token& t, int code, std::string text) {
        if (refusedCode != 0 && (refusedAt.line < t.line || (refusedAt.line == t.line && refusedAt.column < t.column)))
            return;
        refusedAt = t;
        refusedCode = code;
        refusedText = std::move(text);
    };
    for (;;) {
        const Token name = Peek();
        uint32_t size = 0;
        if (NestedTarget(name, Peek(1), size)) {
            open.push_back({name, size, components});
            Next();
            Next();
            continue;
        }
        if (name.kind == TokenKind::Identifier && IsSymbol(Peek(1), '(')) {
            if (!Assignment())
                return false;
            components += builder_.Top().Components();
            if (!builder_.Emit({Op::Pop, 0, 0}, name))
                return false;
            refuse(name, kTargetNotVariableCode, TargetNotVariableText(type.text, std::string(name.text) + "(...)"));
        } else {
            Target target;
            if (!LocalTarget(name, target))
                return false;
            if (!target.part.IsVector())
                return NotConstant(name, "'" + std::string(name.text) + "' is no vector or scalar to take components");
            // The shaders write a variable of another base through a copy.
            if (target.part.base != shape.base)
                refuse(name, kTargetNotVariableCode, TargetBaseText(type.text, name.text));
            components += target.part.Components();
            targets.push_back(std::move(target));
        }
        for (; !open.empty() && IsSymbol(Peek(), ')'); open.pop_back()) {
            Next();
            const Open& o = open.back();
            if (!IsSymbol(Peek(), ',') && !IsSymbol(Peek(), ')')) {
                // Only a part of it is the argument (`float2(a, b).x`): no variable.
                refuse(o.name, kTargetNotVariableCode, TargetNotVariableText(type.text, std::string(o.name.text) + "(...)"));
                return Fail(refusedAt, refusedCode, refusedText);
            }
            if (components - o.before != o.size)
                refuse(o.name, kTargetSizeCode, TargetSizeText(type.text));
        }
        if (!IsSymbol(Peek(), ','))
            break;
        Next();
    }
    if (!Expect(')'))
        return false;
    const Token at = Peek();
    if (!IsSymbol(at, '=') || IsPair('=', '='))
        return Unexpected(at);
    Next();
    if (components != shape.Components())
        return Fail(type, kTargetSizeCode, TargetSizeText(type.text));
    if (refusedCode != 0)
        return Fail(refusedAt, refusedCode, refusedText);
    uint32_t value = 0;
    if (!Assignment() || !builder_.ConvertTo(shape, at, false) || !builder_.StoreNew(shape, at, value))
        return false;
    uint32_t first = 0;
    for (const Target& target : targets) {
        const uint32_t count = target.part.ElementComponents();
        uint32_t picks = count;
        for (uint32_t k = 0; k < count; ++k)
            picks |= (first + k) << (3 + 4 * k);
        first += count;
        if (!builder_.Load(value, at) || !builder_.Emit({Op::Swizzle, picks, 0}, at) ||
            !builder_.ConvertTo(target.part, at, false) || !Write(target, at))
            return false;
    }
    return true;
}

bool ExpressionCompiler::TargetOf(uint32_t local, Target& target)
{
    target.slot = locals_[local].slot;
    target.part = locals_[local].shape;
    std::vector<uint32_t> rows = locals_[local].sizes; // the sizes of the rows still to choose among
    for (;;) {
        if (IsSymbol(Peek(), '[')) {
            const Token open = Next();
            const Token first = Peek();
            if (!Comma())
                return false;
            if (builder_.Top().Components() != 1)
                return Fail(first, 3020, "an index is a scalar");
            ValueShape element;
            uint32_t count = 0, at = 0;
            const bool row = rows.size() > 1;
            if (row) {
                // A row: the elements of the array that follow one another.
                element = target.part;
                count = rows.front();
                element.arraySize = target.part.arraySize / count;
                rows.erase(rows.begin());
            } else if (!IndexedElement(target.part, element, count)) {
                return Fail(open, 3018, "'" + ShapeName(target.part) + "' cannot be indexed");
            }
            Target::Step step{true, 0, ExpressionBuilder::kNone, count, uint32_t(element.Components())};
            step.rows = row;
            ExpressionValue index;
            if (!builder_.TakeConstant(index)) {
                // A parameter chooses it: each element is written where it is the one.
                if (!builder_.StoreNew(builder_.Top(), first, step.chosen))
                    return false;
            } else if (!builder_.ElementAt(index.components[0], count, first, at)) {
                return false;
            }
            if (!Expect(']'))
                return false;
            step.value = at;
            target.first += at * step.stride;
            target.part = element;
            target.whole = false;
            target.steps.push_back(step);
        } else if (IsSymbol(Peek(), '.')) {
            Token member;
            uint32_t packed = 0;
            if (!SwizzleOf(target.part, member, packed))
                return false;
            const uint32_t count = packed & 7;
            for (uint32_t a = 0; a < count; ++a)
                for (uint32_t b = a + 1; b < count; ++b)
                    if ((packed >> (3 + 4 * a) & 15) == (packed >> (3 + 4 * b) & 15))
                        return Fail(member, 3025, "'." + std::string(member.text) +
                                                      "' writes one component twice");
            target.picks = packed;
            target.steps.push_back({false, packed});
            target.whole = false;
            ValueShape part;
            part.base = target.part.base;
            part.columns = static_cast<uint8_t>(count);
            target.part = part;
            return true; // nothing is written inside a swizzle
        } else {
            return true;
        }
    }
}

bool ExpressionCompiler::LoadPart(const Target& target, const Token& at)
{
    if (!builder_.Load(target.slot, at))
        return false;
    // Rows of an array of arrays are chosen in the place of their element, i * D1 + j.
    bool inRow = false;
    ValueShape whole;
    whole.base = ValueBase::Int;
    for (const Target::Step& step : target.steps) {
        if (!step.index) {
            if (!builder_.Emit({Op::Swizzle, step.value, 0}, at))
                return false;
            continue;
        }
        if (inRow && (!PushIndex(step.count, at) || !builder_.Emit({Op::Binary, kMultiply, 0}, at)))
            return false;
        const bool pushed = step.chosen != ExpressionBuilder::kNone
                                ? builder_.Load(step.chosen, at) &&
                                      (!(inRow || step.rows) || builder_.ConvertTo(whole, at, true))
                                : PushIndex(step.value, at);
        if (!pushed || (inRow && !builder_.Emit({Op::Binary, kAdd, 0}, at)))
            return false;
        inRow = step.rows;
        if (!inRow && !builder_.Emit({Op::Index, 0, 0}, at))
            return false;
    }
    if (inRow)
        return NotConstant(at, "a row of an array of arrays is read here only by its elements");
    return true;
}

bool ExpressionCompiler::Write(const Target& target, const Token& at)
{
    for (size_t k = 0; k < target.steps.size(); ++k) {
        const Target::Step& step = target.steps[k];
        if (step.chosen == ExpressionBuilder::kNone)
            continue;
        // Each element in turn, written where the index (truncated, as an
        // index is) is its own: a branch of the program for each.
        uint32_t value = 0;
        if (!builder_.StoreNew(builder_.Top(), at, value))
            return false;
        ValueShape whole;
        whole.base = ValueBase::Int;
        for (uint32_t e = 0; e < step.count; ++e) {
            Target one = target;
            one.steps[k].chosen = ExpressionBuilder::kNone;
            one.steps[k].value = e;
            one.first += e * step.stride;
            ExpressionValue element;
            element.shape = whole;
            element.components = {double(e)};
            uint32_t is = 0;
            ExpressionBuilder::BranchWrites writes;
            if (!builder_.Load(step.chosen, at) || !builder_.ConvertTo(whole, at, true) ||
                !builder_.PushConstant(std::move(element), at) || !builder_.Emit({Op::Binary, kEqual, 0}, at) ||
                !builder_.StoreNew(kBoolShape, at, is))
                return false;
            builder_.BeginBranch();
            if (!builder_.Load(value, at) || !Write(one, at))
                return false;
            builder_.EndBranch(writes);
            if (!builder_.Merge(is, writes, {}, at))
                return false;
        }
        return true;
    }
    if (target.whole)
        return builder_.Store(target.slot, at);
    if (builder_.StoreConstantInto(target.slot, target.first, target.picks, at))
        return true;
    // The whole local again, the part replaced.
    return builder_.Load(target.slot, at) && builder_.Emit({Op::Insert, target.first, target.picks}, at) &&
           builder_.Store(target.slot, at);
}

} // namespace gfx::expr
