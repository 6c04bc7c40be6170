#pragma once
// Tokens into an expression's program: the grammar of HLSL expressions with
// C's precedence (expression/compiler.cpp), and calls of the effect's own
// functions, read inline from their text with their arguments kept in locals
// (expression/functions.cpp), their statements computed as they are read
// (expression/statements.cpp): a branch or a loop whose condition is known
// takes its way then, a loop's body read again for each round; an `if`
// whose condition depends on a parameter computes both ways and its locals
// take the way's values the condition chooses, a `return` in such a way
// kept in two locals of the function (whether it has returned, and what).
// The program itself is grown, typed and folded by an ExpressionBuilder;
// every token read spends a step of the budget.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/expression/builder.h"

namespace gfx::expr {

class ExpressionCompiler {
public:
    ExpressionCompiler(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                       ExpressionError& error)
        : tokens_(&tokens), names_(names), builder_(budget, error)
    {
    }

    // One expression, with the comma operator when `comma`.
    bool Whole(bool comma, Expression& out);
    // An initializer of `target`: an expression or a braced list, flattened.
    bool Initializer(const ValueShape& target, Expression& out);

private:
    using Op = Expression::Op;
    struct Local {
        std::string_view name;
        uint32_t slot = 0;
        ValueShape shape;
        std::vector<uint32_t> sizes; // of an array of arrays, as ExpressionName's
    };

    static ValueShape ElementOf(ValueShape s)
    {
        s.arraySize = 0;
        return s;
    }

    // ---- Tokens ----
    const Token& Peek(size_t ahead = 0) { return tokens_->Peek(ahead); }
    Token Next();
    static bool IsSymbol(const Token& t, char c) { return t.kind == TokenKind::Symbol && t.text[0] == c; }
    // Two one-character symbols written together, as "<=" or "&&".
    bool IsPair(char a, char b);
    bool Fail(const Token& at, int code, const std::string& text) { return builder_.Fail(at, code, text); }
    bool Unexpected(const Token& at);
    bool Expect(char c);

    // ---- Expressions, from the comma down ----
    bool Enter(const Token& at);
    bool Comma();
    bool Assignment();
    bool Conditional();
    // The binary operator at the current token for precedence `level`
    // (0 lowest), and how many tokens it spans.
    bool BinaryAt(int level, uint32_t& op, int& length);
    bool Binary(int level);
    // The shape a type name spells: built in, or a typedef of the effect.
    bool TypeNamed(std::string_view name, ValueShape& shape, bool& refused, std::string& why);
    static bool IsTypeWord(std::string_view name);
    bool Unary();
    // `(type)value` or `(type[N])value`, the '(' and the type's name read.
    bool Cast(ValueShape shape, const Token& open);
    // A size inside brackets, constant: what an array cast or a template gives.
    bool ConstantSize(uint32_t& size);
    // `vector<float, 3>` or `matrix<float, 2, 3>` past its name.
    bool Template(const Token& name, ValueShape& shape);
    bool Postfix(bool primary = false);
    // The '.' and the name after it, a swizzle of `shape`: its components
    // packed as Swizzle's, `member` the name.
    bool SwizzleOf(const ValueShape& shape, Token& member, uint32_t& packed);
    // The element of an array of arrays of `sizes`, on the stack, that the
    // indices after its name choose, one an index a size: the whole array
    // where none follows.
    bool ElementOfRows(const std::vector<uint32_t>& sizes, const Token& name);
    bool PushIndex(uint32_t value, const Token& at);
    bool Number(const Token& t);
    bool Primary();
    // A part of a struct parameter named from `name` on, `meaning` what the
    // name means: its path read as far as it names structs and elements,
    // then its values read from the parameter's.
    bool StructPart(const Token& name, ExpressionName meaning);
    // The arguments of a call up to its ')': each left on the stack.
    bool Arguments(uint32_t& count);
    bool Constructor(const ValueShape& shape, const Token& at);
    bool Intrinsic(uint32_t which, const Token& at);
    bool List(uint32_t& parts, uint64_t& components, int depth);

    // ---- Functions of the effect (expression/functions.cpp) ----
    struct FunctionHead {
        struct Parameter {
            std::string_view name;
            ValueShape shape;
            size_t defaultAt = 0; // the index of its default's first token in `defaults`, plus one; or 0
        };
        ValueShape returned;
        std::vector<Parameter> parameters;
        std::vector<Token> defaults; // each default's tokens, then an End
    };
    // The function whose body is being read.
    struct Function {
        std::string name;
        ValueShape returned;
        TokenListReader* body = nullptr;
        int loops = 0;     // loops around the statement being read
        int ways = 0;      // ways of an `if` chosen by a parameter around it
        uint32_t done = ExpressionBuilder::kNone;  // a local: whether a `return` in such a way was taken
        uint32_t value = ExpressionBuilder::kNone; // and what it returned
    };
    // What a call changes in the compiler, put back when it ends, however it ends.
    class CallScope {
    public:
        explicit CallScope(ExpressionCompiler& compiler)
            : compiler_(compiler), tokens_(compiler.tokens_), function_(compiler.function_),
              locals_(compiler.locals_.size()), frame_(compiler.frame_), callDepth_(compiler.callDepth_)
        {
        }
        ~CallScope()
        {
            compiler_.tokens_ = tokens_;
            compiler_.function_ = function_;
            compiler_.locals_.resize(locals_);
            compiler_.frame_ = frame_;
            compiler_.callDepth_ = callDepth_;
        }
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;

    private:
        ExpressionCompiler& compiler_;
        ExpressionTokens* tokens_;
        Function* function_;
        size_t locals_;
        size_t frame_;
        int callDepth_;
    };
    // The head of a function whose tokens are `tokens`; `body`: where its body's '{' is.
    bool Head(const std::string& name, const std::vector<Token>& tokens, FunctionHead& head, size_t& body);
    // A call of a function of the effect, inlined.
    bool Inline(const ExpressionName& function, const Token& call);
    // "'f' has no constant value: why", at `at`; `rounds` for a loop whose
    // rounds a parameter decides.
    bool NotConstant(const Token& at, const std::string& why, bool rounds = false);

    // ---- Statements of a function's body (expression/statements.cpp; declarations
    // and writes, expression/local_writes.cpp) ----
    // How a statement ends: on to the next, out of its loop, on to its loop's
    // next round, or out of the function with the value it returns on the stack.
    enum class Flow : uint8_t { Next, Break, Continue, Return };
    // A local, or a part of one, that a statement writes: components from
    // `first` on, or first + each of `picks` (packed as Swizzle's); an
    // element a parameter chooses adds its own to `first` where it is written.
    struct Target {
        uint32_t slot = 0;
        ValueShape part;
        uint32_t first = 0;
        uint32_t picks = 0;
        bool whole = true;
        struct Step {
            bool index = true;
            uint32_t value = 0; // the element, or the packed swizzle
            uint32_t chosen = ExpressionBuilder::kNone; // a local: the index a parameter gives
            uint32_t count = 0;  // the elements it chooses among
            uint32_t stride = 0; // and their components
            bool rows = false;   // a row of an array of arrays, whose element the next step chooses
        };
        std::vector<Step> steps;
    };
    // The function's statements from its '{' until one returns.
    bool Body();
    bool Statement(Flow& flow);
    // The statements after a '{', through its '}' or until one leaves it.
    bool Block(Flow& flow);
    bool If(Flow& flow);
    // Both ways of an `if` whose condition, in local `condition`, depends on
    // a parameter, each read as a branch and the two merged.
    bool Ways(uint32_t condition, const Token& at, Flow& flow);
    // A `return` whose value is on the stack: the function's value where no
    // such way around it returned first; in such a way, kept for the end.
    bool Return(const Token& at);
    bool For(Flow& flow);
    bool While(Flow& flow);
    bool Do(Flow& flow);
    // One more round of a loop: a step of the budget, and the loop refused in
    // its own words once the budget is spent.
    bool Round(const Token& loop);
    // The body of a `for` or `while` loop once, or passed over when its
    // condition does not hold (`go`); `done` when the loop ends there (that,
    // a break or a return), the reader then past the body.
    bool LoopBody(bool go, Flow& flow, bool& done);
    // A condition, known now (`value`), or with `chosen` given, one that
    // depends on a parameter, kept in a new local `*chosen`; without it
    // such a condition is refused, as a loop's is: its rounds are not known.
    bool Condition(const Token& statement, bool& value, uint32_t* chosen = nullptr);
    bool StartsDeclaration(const Token& t);
    bool Declaration();
    bool Declarators(const ValueShape& shape);
    // The sizes after a local's name: one, or an array of arrays' (their
    // product the shape's array size); the first may be unstated.
    bool Sizes(ValueShape& declared, std::vector<uint32_t>& sizes);
    // An initializer of `declared` (an unsized array takes its size from it),
    // left on the stack.
    bool InitialValue(ValueShape& declared, const Token& at);
    // Assignments and increments, separated by commas, up to what follows them.
    bool Updates();
    bool Update();
    // The local `name` names, and the part of it written, read on to the '='.
    bool LocalTarget(const Token& name, Target& target);
    // `float4(a, b) = value`, the type's name next: the value's components
    // in order, written into the parts named.
    bool ConstructorTarget();
    bool TargetOf(uint32_t local, Target& target);
    bool LoadPart(const Target& target, const Token& at);
    bool Write(const Target& target, const Token& at);
    // Reads a statement without computing it: the way not taken.
    bool SkipStatement();
    // From an opening bracket through its match.
    bool SkipBracketed();

    ExpressionTokens* tokens_;
    Function* function_ = nullptr;
    ExpressionNames& names_;
    ExpressionBuilder builder_;
    std::vector<Local> locals_; // the names of the function being read: locals_[frame_, end)
    size_t frame_ = 0;
    int depth_ = 0;
    int callDepth_ = 0;
};

} // namespace gfx::expr
