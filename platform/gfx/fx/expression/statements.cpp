// The statements of a function called for a constant (declared in
// expression/compiler.h), computed as they are read: blocks, `if`, `for`,
// `while` and `do` whose conditions are known when they are read, `break`,
// `continue` and `return` (declarations of locals and writes to them are
// expression/local_writes.cpp's). A loop's body is read again for each of its rounds, every token
// and round spending the budget. An `if` whose condition depends on a
// parameter takes both ways, each a branch of the program, and every local
// either writes takes the value the condition chooses, as the platform's
// compiler computes such values; so does an element a parameter chooses,
// each element a way. A loop whose condition depends on a parameter is
// refused in words, as only the pass's begin knows how many rounds it has.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gfx/fx/expression/compiler.h"
#include "platform/gfx/fx/expression/operators.h"

namespace gfx::expr {

namespace {

bool Opens(const Token& t)
{
    return t.kind == TokenKind::Symbol && (t.text[0] == '(' || t.text[0] == '[' || t.text[0] == '{');
}

bool Closes(const Token& t)
{
    return t.kind == TokenKind::Symbol && (t.text[0] == ')' || t.text[0] == ']' || t.text[0] == '}');
}

ExpressionValue BoolValue(bool v)
{
    ExpressionValue value;
    value.shape.base = ValueBase::Bool;
    value.components = {v ? 1.0 : 0.0};
    return value;
}

} // namespace

bool ExpressionCompiler::Body()
{
    Next(); // '{'
    for (;;) {
        const Token t = Peek();
        if (t.kind == TokenKind::End || IsSymbol(t, '}'))
            return NotConstant(t, "it returns no value");
        Flow flow = Flow::Next;
        if (!Statement(flow))
            return false;
        if (flow == Flow::Return)
            return true;
    }
}

bool ExpressionCompiler::Block(Flow& flow)
{
    const size_t scope = locals_.size();
    for (;;) {
        const Token t = Peek();
        if (IsSymbol(t, '}')) {
            Next();
            break;
        }
        if (t.kind == TokenKind::End)
            return Unexpected(t);
        if (!Statement(flow))
            return false;
        // What follows is not read: the loop or the function goes on elsewhere.
        if (flow != Flow::Next)
            break;
    }
    locals_.resize(scope);
    return true;
}

bool ExpressionCompiler::Statement(Flow& flow)
{
    flow = Flow::Next;
    const Token t = Peek();
    if (!Enter(t))
        return false;
    bool ok = false;
    if (IsSymbol(t, ';')) {
        Next();
        ok = true;
    } else if (IsSymbol(t, '{')) {
        Next();
        ok = Block(flow);
    } else if (IsSymbol(t, '[')) {
        ok = SkipBracketed() && Statement(flow); // an attribute: [unroll], [loop], [branch] ...
    } else if (t.Is("return")) {
        Next();
        if (IsSymbol(Peek(), ';'))
            return NotConstant(t, "its 'return' gives no value");
        ok = Comma() && builder_.ConvertTo(function_->returned, t, false) &&
             (IsSymbol(Peek(), ';') || Unexpected(Peek())) && Return(t);
        flow = Flow::Return;
    } else if (t.Is("if")) {
        ok = If(flow);
    } else if (t.Is("for")) {
        ok = For(flow);
    } else if (t.Is("while")) {
        ok = While(flow);
    } else if (t.Is("do")) {
        ok = Do(flow);
    } else if (t.Is("break") || t.Is("continue")) {
        if (function_->loops == 0)
            return NotConstant(t, "its '" + std::string(t.text) + "' is outside a loop");
        Next();
        ok = Expect(';');
        flow = t.Is("break") ? Flow::Break : Flow::Continue;
    } else if (t.Is("switch")) {
        return NotConstant(t, "its 'switch' is not computed here: write it with 'if'");
    } else if (t.Is("discard")) {
        return NotConstant(t, "'discard' ends a pixel shader's work and gives no value");
    } else if (StartsDeclaration(t) && IsSymbol(Peek(1), '(')) {
        ok = ConstructorTarget() && Expect(';');
    } else if (StartsDeclaration(t)) {
        ok = Declaration();
    } else if (t.kind == TokenKind::Identifier || IsPair('+', '+') || IsPair('-', '-')) {
        ok = Updates() && Expect(';');
    } else {
        return NotConstant(t, "'" + std::string(t.text) + "' starts no declaration, assignment or return");
    }
    if (!ok)
        return false;
    --depth_;
    return true;
}

bool ExpressionCompiler::Condition(const Token& statement, bool& value, uint32_t* chosen)
{
    const Token first = Peek();
    if (!Comma())
        return false;
    const ValueShape shape = builder_.Top();
    if (shape.arraySize != 0 || shape.ElementComponents() != 1)
        return Fail(first, 3020, "the condition of '" + std::string(statement.text) + "' is one value, not '" +
                                     ShapeName(shape) + "'");
    ExpressionValue known;
    if (builder_.TakeConstant(known)) {
        value = known.components[0] != 0;
        return true;
    }
    if (chosen)
        return builder_.StoreNew(shape, first, *chosen);
    return NotConstant(statement, "the condition of its '" + std::string(statement.text) +
                                      "' depends on a parameter: how many rounds the loop takes is known only "
                                      "when a pass begins", true);
}

bool ExpressionCompiler::If(Flow& flow)
{
    const Token at = Next(); // 'if'
    bool taken = false;
    uint32_t chosen = ExpressionBuilder::kNone;
    if (!Expect('(') || !Condition(at, taken, &chosen) || !Expect(')'))
        return false;
    if (chosen != ExpressionBuilder::kNone)
        return Ways(chosen, at, flow);
    if (taken) {
        if (!Statement(flow))
            return false;
        if (flow != Flow::Next || !Peek().Is("else"))
            return true;
        Next();
        return SkipStatement();
    }
    if (!SkipStatement())
        return false;
    if (!Peek().Is("else"))
        return true;
    Next();
    return Statement(flow);
}

bool ExpressionCompiler::Ways(uint32_t condition, const Token& at, Flow& flow)
{
    Function& f = *function_;
    // Whether a `return` in such a way was taken: none yet.
    if (f.done == ExpressionBuilder::kNone &&
        (!builder_.PushConstant(BoolValue(false), at) || !builder_.StoreNew(BoolValue(false).shape, at, f.done)))
        return false;
    TokenListReader& body = *f.body;
    Flow ends[2] = {Flow::Next, Flow::Next};
    ExpressionBuilder::BranchWrites writes[2];
    ++f.ways;
    for (int way = 0; way < 2; ++way) {
        if (way == 1) {
            if (!Peek().Is("else"))
                break;
            Next();
        }
        builder_.BeginBranch();
        const size_t start = body.Mark();
        if (!Statement(ends[way]))
            return false;
        if (ends[way] == Flow::Break || ends[way] == Flow::Continue)
            return NotConstant(at, "a way of its 'if' leaves a loop, and the condition that chooses it depends on a "
                                   "parameter: how many rounds the loop takes is known only when a pass begins", true);
        if (ends[way] == Flow::Return) {
            // On from the way's end: what follows its `return` is not read.
            body.Reset(start);
            if (!SkipStatement())
                return false;
        }
        builder_.EndBranch(writes[way]);
        // Where a way returned, the function's locals matter no more: only what it returned.
        if (ends[way] == Flow::Return)
            std::erase_if(writes[way],
                          [&](const auto& write) { return write.first != f.done && write.first != f.value; });
    }
    --f.ways;
    if (!builder_.Merge(condition, writes[0], writes[1], at))
        return false;
    if (ends[0] != Flow::Return || ends[1] != Flow::Return)
        return true;
    flow = Flow::Return;
    // Both ways returned: outside every such way, that is the function's value.
    return f.ways > 0 || builder_.Load(f.value, at);
}

bool ExpressionCompiler::Return(const Token& at)
{
    Function& f = *function_;
    bool earlier = false; // a `return` in a way before this one may have been taken
    if (f.done != ExpressionBuilder::kNone) {
        const ExpressionBuilder::Slot& done = builder_.SlotAt(f.done);
        earlier = !done.constant || done.value.components[0] != 0;
    }
    if (earlier) {
        // Where one was, its value stands.
        uint32_t value = 0;
        if (!builder_.StoreNew(f.returned, at, value) || !builder_.Load(f.done, at) || !builder_.Load(f.value, at) ||
            !builder_.Load(value, at) || !builder_.Emit({Op::Choose, 0, 0}, at))
            return false;
    }
    if (f.ways == 0)
        return true;
    const bool stored = f.value == ExpressionBuilder::kNone ? builder_.StoreNew(f.returned, at, f.value)
                                                            : builder_.Store(f.value, at);
    return stored && builder_.PushConstant(BoolValue(true), at) && builder_.Store(f.done, at);
}

bool ExpressionCompiler::Round(const Token& loop)
{
    builder_.Step();
    if (builder_.OverBudget())
        return NotConstant(loop, "its '" + std::string(loop.text) + "' loop does not end within the " +
                                     std::to_string(builder_.BudgetLimit()) +
                                     " steps of work the effect's constant expressions may take");
    return true;
}

bool ExpressionCompiler::LoopBody(bool go, Flow& flow, bool& done)
{
    TokenListReader& body = *function_->body;
    const size_t start = body.Mark();
    done = true;
    if (!go)
        return SkipStatement();
    // What a body that is no block declares lasts one round.
    const size_t scope = locals_.size();
    Flow inner = Flow::Next;
    if (!Statement(inner))
        return false;
    locals_.resize(scope);
    if (inner == Flow::Return) {
        flow = Flow::Return;
        return true;
    }
    if (inner == Flow::Break) {
        // On from the body's end.
        body.Reset(start);
        return SkipStatement();
    }
    done = false;
    return true;
}

bool ExpressionCompiler::For(Flow& flow)
{
    const Token at = Next(); // 'for'
    if (!Expect('('))
        return false;
    // What its first part declares stays declared after the loop, as the
    // platform's compiler keeps it; a later loop's of the same name is the one read after that.
    if (IsSymbol(Peek(), ';')) {
        Next();
    } else if (StartsDeclaration(Peek())) {
        if (!Declaration())
            return false;
    } else if (!Updates() || !Expect(';')) {
        return false;
    }
    TokenListReader& body = *function_->body;
    const size_t condition = body.Mark();
    ++function_->loops;
    for (;;) {
        body.Reset(condition);
        bool go = true;
        if (!IsSymbol(Peek(), ';') && !Condition(at, go))
            return false;
        if (!Expect(';'))
            return false;
        // The step is read after the body: passed over now.
        const size_t step = body.Mark();
        while (!IsSymbol(Peek(), ')')) {
            if (Peek().kind == TokenKind::End || Closes(Peek()) || IsSymbol(Peek(), ';'))
                return Unexpected(Peek());
            if (Opens(Peek()) ? !SkipBracketed() : (Next(), false))
                return false;
        }
        Next(); // ')'
        bool done = false;
        if (!LoopBody(go, flow, done))
            return false;
        if (done)
            break;
        body.Reset(step);
        if (!IsSymbol(Peek(), ')') && !Updates())
            return false;
        if (!IsSymbol(Peek(), ')'))
            return Unexpected(Peek());
        if (!Round(at))
            return false;
    }
    --function_->loops;
    return true;
}

bool ExpressionCompiler::While(Flow& flow)
{
    const Token at = Next(); // 'while'
    if (!Expect('('))
        return false;
    TokenListReader& body = *function_->body;
    const size_t condition = body.Mark();
    ++function_->loops;
    for (;;) {
        body.Reset(condition);
        bool go = true;
        if (!Condition(at, go) || !Expect(')'))
            return false;
        bool done = false;
        if (!LoopBody(go, flow, done))
            return false;
        if (done)
            break;
        if (!Round(at))
            return false;
    }
    --function_->loops;
    return true;
}

bool ExpressionCompiler::Do(Flow& flow)
{
    const Token at = Next(); // 'do'
    TokenListReader& body = *function_->body;
    const size_t start = body.Mark();
    ++function_->loops;
    for (;;) {
        body.Reset(start);
        Flow inner = Flow::Next;
        if (!Statement(inner))
            return false;
        if (inner == Flow::Return) {
            flow = Flow::Return;
            return true;
        }
        if (inner != Flow::Next) {
            // Left before the body's end: on from its end.
            body.Reset(start);
            if (!SkipStatement())
                return false;
        }
        if (!Peek().Is("while"))
            return Unexpected(Peek());
        const Token word = Next();
        bool go = true;
        if (inner == Flow::Break) {
            if (!SkipBracketed() || !Expect(';'))
                return false;
            break;
        }
        if (!Expect('(') || !Condition(word, go) || !Expect(')') || !Expect(';'))
            return false;
        if (!go)
            break;
        if (!Round(at))
            return false;
    }
    --function_->loops;
    return true;
}

bool ExpressionCompiler::SkipBracketed()
{
    int depth = 0;
    do {
        const Token t = Peek();
        if (t.kind == TokenKind::End)
            return Unexpected(t);
        depth += Opens(t) ? 1 : Closes(t) ? -1 : 0;
        Next();
    } while (depth > 0);
    return true;
}

bool ExpressionCompiler::SkipStatement()
{
    const Token t = Peek();
    if (!Enter(t))
        return false;
    bool ok = true;
    if (IsSymbol(t, '{')) {
        ok = SkipBracketed();
    } else if (IsSymbol(t, '[')) {
        ok = SkipBracketed() && SkipStatement();
    } else if (t.Is("if")) {
        Next();
        ok = SkipBracketed() && SkipStatement();
        if (ok && Peek().Is("else")) {
            Next();
            ok = SkipStatement();
        }
    } else if (t.Is("for") || t.Is("while") || t.Is("switch")) {
        Next();
        ok = SkipBracketed() && SkipStatement();
    } else if (t.Is("do")) {
        Next();
        ok = SkipStatement() && (Peek().Is("while") || Unexpected(Peek()));
        if (ok) {
            Next();
            ok = SkipBracketed() && Expect(';');
        }
    } else {
        for (;;) {
            const Token u = Peek();
            if (u.kind == TokenKind::End || Closes(u))
                return Unexpected(u);
            if (IsSymbol(u, ';')) {
                Next();
                break;
            }
            if (Opens(u) ? !SkipBracketed() : (Next(), false))
                return false;
        }
    }
    if (!ok)
        return false;
    --depth_;
    return true;
}

} // namespace gfx::expr
