#pragma once
// The one evaluator of constant expressions of an effect: initializers, array
// sizes, annotation values and the values of states all go through it.
//
// - CompileExpression reads an HLSL expression from tokens (literals, names,
//   every operator with C's precedence, `?:` and the comma, swizzles, indexing,
//   constructors, casts, initializer lists, the pure intrinsics, and calls of
//   the effect's own functions whose bodies compute a value, an `if` on a
//   parameter by both its ways) into an Expression:
//   a flat program for a stack of values, typed as it is read, with HLSL's
//   promotions. Names go to the caller's ExpressionNames: a constant gives its
//   value, a parameter stays a reference to it, a function gives its text to
//   inline; any other name is an error that names it, at its line and column.
// - An Expression that names no parameter is folded at once (Fold). One that
//   names parameters is evaluated later (Evaluate) with their current values:
//   one pass over the program with a reusable scratch, no tree and no
//   allocation once the scratch has grown.
// - Write/Read keep an Expression in bytes; Read checks every instruction and
//   retypes the program, so a damaged one is refused and never read past.
// - Work is bounded: nesting depth, the size of every value (checked from its
//   type before any memory is taken), the depth of inlined calls, and a budget
//   of program size that the caller gives in proportion to its text.
// Integer arithmetic wraps; shifts take the count's low five bits; an integer
// division or remainder by a constant zero is refused as the platform's
// compiler refuses it, and gives all bits set when only a parameter's value
// makes it zero; a float division by zero gives an infinity; a constant value
// that is not a number is refused where it is made, whatever takes it after.
//
// Where the parts are, in this room: values and shapes (value), operators
// (operators), intrinsics (intrinsics), the typing of each instruction
// (typing), what each computes (execution), tokens into a program (compiler,
// with the effect's functions read inline in functions.cpp and their
// statements in statements.cpp, over builder), the program typed and
// evaluated (here), and its bytes (bytes.cpp).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/expression/token_source.h"
#include "platform/gfx/fx/expression/value.h"

namespace gfx {

namespace expr {
class ExpressionBuilder;
}

// Where an expression went wrong: the token's place and an effect error.
struct ExpressionError {
    int line = 0;
    int column = 0;
    int file = 0;
    int code = 0;
    std::string text;
    // Refused only for a loop whose rounds a parameter decides: the shaders,
    // which run it when a pass draws, still compute the value.
    bool roundsByParameter = false;
};

class Expression;

// What a name means to the caller.
struct ExpressionName {
    enum class Kind : uint8_t {
        Unknown,
        Constant,   // a value known now
        Parameter,  // a parameter of the effect: its value comes at evaluation
        Derived,    // a static computed from parameters: its program is used
        Function,   // a function of the effect: its text
        Type,       // a typedef of a built-in shape
        Refused,    // known, but never a value here: `text` says why
        // A struct parameter, an array of them, or a part of one that is a
        // struct: what follows it (`.member`, `[constant]`) is looked up as
        // the whole name ("fog.colour", "lights[1].colour").
        Struct,
    };
    Kind kind = Kind::Unknown;
    const ExpressionValue* value = nullptr; // Constant
    uint32_t parameter = 0;                 // Parameter and Struct: its index in the table
    uint32_t first = 0;                     // Parameter: where its values begin among the parameter's
    ValueShape shape;                       // Parameter and Type
    const Expression* program = nullptr;    // Derived
    // Constant, Parameter and Derived: an array of arrays' sizes, outermost
    // first, or null. Its shape's array size is their product, its elements
    // laid out one row after another.
    const std::vector<uint32_t>* sizes = nullptr;
    std::string_view text;                  // Function: the whole definition; Refused: why
    int line = 1;                           // Function: where its text starts
    int column = 1;
    int file = 0;
};

class ExpressionNames {
public:
    virtual ~ExpressionNames() = default;
    virtual ExpressionName Find(std::string_view name) = 0;
};

// How much program an effect's expressions may still make, together: the
// caller sizes it in proportion to its text, an effect's by the bytes of its
// tokens (TokenBytes), so that no comment buys work. Folding spends it too.
// No text buys more than kMostWork, some thousand times what the expressions
// of any real effect take.
struct ExpressionBudget {
    static constexpr uint64_t kMostWork = uint64_t{1} << 24;
    uint64_t work = 0;
    uint64_t limit = ~uint64_t{0};
    static ExpressionBudget ForText(size_t bytes)
    {
        return {0, std::min(1'000'000 + 64 * uint64_t(bytes), kMostWork)};
    }
};

// The current values of parameters, as the parameter table keeps them (floats,
// row by row, element after element).
class ExpressionParameters {
public:
    virtual ~ExpressionParameters() = default;
    // The floats of parameter `index`; fewer than the program expects is an error.
    virtual const float* Values(uint32_t index, size_t& count) const = 0;
};

// Reused between evaluations, so an evaluation allocates nothing once grown.
struct ExpressionScratch {
    struct Entry {
        ValueShape shape;
        size_t offset = 0;
    };
    std::vector<Entry> values;
    std::vector<double> components;
    std::vector<double> locals;
    std::vector<ValueShape> shapes;     // of one instruction's inputs
    std::vector<const double*> inputs;
};

class Expression {
public:
    enum class Op : uint8_t {
        Constant,  // a = index of the constant
        Parameter, // a = parameter index, b = the shape expected (packed)
        Load,      // a = local slot
        Store,     // a = local slot: pops into it
        Pop,       // drops the top value (the left side of a comma)
        Unary,     // a = operator
        Binary,    // a = operator
        Select,    // cond ? x : y, per component
        Swizzle,   // a = packed component indices
        Index,     // value[index]
        Convert,   // a = the shape converted to (packed), b = 1 for explicit casts
        Construct, // a = the shape (packed), b = the count of parts, flattened
        Call,      // a = intrinsic, b = the count of arguments
        Insert,    // value, target: the target with its components from a on
                   // replaced by the value's; b = packed component indices
                   // after a (as Swizzle's) for a vector's components, or 0
        Choose,    // cond, then, else: one of two values of one shape, whole,
                   // as a scalar condition chooses (the ways of an `if`)
    };
    struct Instruction {
        Op op = Op::Constant;
        uint32_t a = 0;
        uint32_t b = 0;
    };

    const ValueShape& Shape() const { return shape_; }
    bool NamesParameters() const { return namesParameters_; }
    // The steps an evaluation takes: one for each instruction and one for
    // each component of the values it makes.
    uint64_t Work() const { return work_; }
    const std::vector<Instruction>& Instructions() const { return code_; }
    // The parameters it reads, each once, in the order first read.
    std::vector<uint32_t> Parameters() const;

    // The value with the parameters' current values; false with `error` set
    // when a parameter is missing or smaller than the program expects.
    bool Evaluate(const ExpressionParameters* parameters, ExpressionValue& out, std::string& error,
                  ExpressionScratch* scratch = nullptr) const;

    void Write(std::vector<uint8_t>& out) const;
    // Reads what Write wrote from data[offset, size), moving offset past it.
    // False, with `error`, for bytes that are not a sound program.
    static bool Read(const uint8_t* data, size_t size, size_t& offset, Expression& out, std::string& error);

    bool operator==(const Expression&) const;

private:
    friend class expr::ExpressionBuilder;
    friend bool FoldExpression(const Expression&, ExpressionBudget&, ExpressionValue&, ExpressionError&, const Token&);
    // Types the program from its first instruction: every result's shape, the
    // locals' shapes and places, and the stack's greatest size. False, with
    // `error`, for a program that is not sound.
    bool Retype(std::string& error);

    std::vector<Instruction> code_;
    std::vector<ExpressionValue> constants_;
    // Made by Retype, never stored:
    std::vector<ValueShape> shapes_;       // of each instruction's result
    std::vector<ValueShape> localShapes_;  // by slot
    std::vector<uint64_t> localOffsets_;   // by slot, into the locals' components
    ValueShape shape_;
    uint64_t stackComponents_ = 0; // the most components the stack holds at once
    uint64_t stackValues_ = 0;
    uint64_t localComponents_ = 0;
    uint64_t work_ = 0;
    bool namesParameters_ = false;
};

// Reads one expression from `tokens` (with the comma operator when `comma`,
// else an assignment-expression, as in a list of arguments) into `out`.
bool CompileExpression(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                       Expression& out, ExpressionError& error, bool comma = true);

// Reads an initializer for a declaration of `target`: an expression or a braced
// list, flattened, and converted to `target`. A target of arraySize
// kUnsizedArray takes its size from the values given.
inline constexpr uint32_t kUnsizedArray = ~uint32_t{0};
bool CompileInitializer(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                        const ValueShape& target, Expression& out, ExpressionError& error);

// The value of an expression that names no parameter, its evaluation spent
// from the budget. A value that is not a number is refused at `at`, though
// the reading of a constant part refuses one before, where it is made.
bool FoldExpression(const Expression& expression, ExpressionBudget& budget, ExpressionValue& out,
                    ExpressionError& error, const Token& at);

} // namespace gfx
