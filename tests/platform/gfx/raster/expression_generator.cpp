#include "tests/platform/gfx/raster/expression_generator.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/expression/token_source.h"

namespace gfx_test {

namespace {

using gfx::ValueBase;
using gfx::ValueShape;

ValueShape Shape(ValueBase base, int rows, int columns, bool matrix = false, uint32_t arraySize = 0)
{
    return {base, uint8_t(rows), uint8_t(columns), matrix, arraySize};
}

// The table kGeneratedDeclarations declares, as the evaluator names it.
struct TableNames : gfx::ExpressionNames {
    gfx::ExpressionName Find(std::string_view name) override
    {
        static const gfx::ExpressionValue table{Shape(ValueBase::Float, 1, 4, false, 3),
                                                {0.5, -1.25, 2, 0, 3, 0.75, -2.5, 1, -0.25, 4, 1.5, -3}};
        gfx::ExpressionName found;
        found.kind = name == "Table" ? gfx::ExpressionName::Kind::Constant : gfx::ExpressionName::Kind::Unknown;
        found.value = &table;
        return found;
    }
};

struct Node {
    std::string text, param, declarations;
    gfx::ExpressionValue value;
    bool exact = true;

    // Every component within [low, high], by its magnitude where `magnitude`.
    bool Within(double low, double high, bool magnitude = true) const
    {
        return std::all_of(value.components.begin(), value.components.end(), [&](double c) {
            return (magnitude ? std::fabs(c) : c) >= low && (magnitude ? std::fabs(c) : c) <= high;
        });
    }
};

class Generator {
public:
    Generator(uint32_t seed, bool matrixSwizzles) : random_(seed), matrixSwizzles_(matrixSwizzles) {}

    // A node of `depth` levels at most, or of `shape` where given.
    bool Make(int depth, Node& out, const ValueShape* shape = nullptr)
    {
        for (int tries = 0; tries < (shape ? 3 : 1); ++tries) {
            bool made = false;
            for (int attempt = 0; depth > 0 && Pick(6) != 0 && attempt < 8 && !made; ++attempt)
                made = Compose(depth, out);
            if (!made) {
                const uint32_t kind = Pick(4);
                Literal(shape ? shape->base : kind == 0 ? ValueBase::Bool : kind == 1 ? ValueBase::Int : ValueBase::Float,
                        out);
            }
            if (!shape || out.value.shape == *shape)
                return true;
        }
        if (shape->IsScalar())
            return Literal(shape->base, out);
        // A constructor of rows, or of pieces of a vector.
        std::vector<Node> parts;
        for (int made = 0, total = shape->matrix ? shape->rows : shape->columns; made < total;) {
            const int size = shape->matrix ? shape->columns : 1 + int(Pick(uint32_t(total - made)));
            const ValueShape piece = Shape(shape->base, 1, size);
            parts.emplace_back();
            if (!Make(depth - 1, parts.back(), &piece))
                return false;
            made += shape->matrix ? 1 : size;
        }
        std::string pattern = gfx::ShapeName(*shape) + "(";
        for (size_t k = 0; k < parts.size(); ++k)
            pattern += (k ? ", $" : "$") + std::to_string(k);
        return Done(out, parts, pattern + ")", true, false);
    }

private:
    uint32_t Pick(uint32_t n) { return uint32_t(random_() % n); }

    bool Literal(ValueBase base, Node& out)
    {
        static const char* const kExponents[][2] = {{"100e-1", "10"}, {"2000e-2", "20"}, {"1600e-1", "160"},
                                                    {"5e-1", ".5"},   {"250e-2", "2.5"},  {"5000e-2", "50"}};
        const double value = base == ValueBase::Float ? (double(Pick(49)) - 24) / 8
                             : base == ValueBase::Int ? double(Pick(19)) - 9 : Pick(2);
        std::string text = base == ValueBase::Bool ? (value ? "true" : "false") : std::to_string(value);
        if (base == ValueBase::Int)
            text = std::to_string(int(value));
        else if (base == ValueBase::Float)
            text = Pick(8) ? text.substr(0, text.find_last_not_of('0') + 2) : kExponents[Pick(6)][0];
        const std::string name = "G" + std::to_string(parameters_++);
        const char* type = base == ValueBase::Bool ? "bool " : base == ValueBase::Int ? "int " : "float ";
        Node made{text[0] == '-' ? "(" + text + ")" : text, name, type + name + " = " + text + ";\n", {}, true};
        return Done(out, {made}, "$0", true, false);
    }

    // `out` of `pattern`, $0, $1 ... standing for `in`'s texts, computed.
    bool Done(Node& out, const std::vector<Node>& in, const std::string& pattern, bool exact, bool parenthesized = true)
    {
        out = Node{pattern, pattern, {}, {}, exact};
        for (size_t k = in.size(); k-- > 0;) {
            const std::string at = "$" + std::to_string(k);
            for (auto [into, part] : {std::pair{&out.text, &in[k].text}, std::pair{&out.param, &in[k].param}})
                for (size_t p = into->find(at); p != std::string::npos; p = into->find(at))
                    into->replace(p, at.size(), parenthesized ? "(" + *part + ")" : *part);
            out.declarations += in[k].declarations;
            out.exact = out.exact && in[k].exact;
        }
        static TableNames names;
        gfx::TokenListReader reader(gfx::Tokenize(out.text));
        gfx::ExpressionBudget budget;
        gfx::Expression program;
        gfx::ExpressionError error;
        const ValueShape& s = out.value.shape;
        if (!gfx::CompileExpression(reader, names, budget, program, error, false) ||
            reader.Peek().kind != gfx::TokenKind::End || !gfx::FoldExpression(program, budget, out.value, error, {}) ||
            s.arraySize != 0 || !out.Within(0, 1e4) ||
            (s.matrix && (s.base != ValueBase::Float || s.rows < 2 || s.columns < 2)))
            return false;
        // Exact: floats of few bits, which float arithmetic computes as doubles do.
        for (double c : out.value.components)
            out.exact = out.exact && c * 64 == std::floor(c * 64) && std::fabs(c) < 4096;
        return true;
    }

    bool Compose(int depth, Node& out)
    {
        std::vector<Node> in;
        const auto operand = [&](const ValueShape* shape = nullptr) {
            in.emplace_back();
            return Make(depth - 1, in.back(), shape);
        };
        const auto make = [&](const std::string& pattern, bool exact = true) { return Done(out, in, pattern, exact); };
        const auto exact = [&] { return std::all_of(in.begin(), in.end(), [](const Node& n) { return n.exact; }); };
        static const char* const kSteps[] = {"floor", "ceil", "frac", "round", "trunc", "sign"};
        static const char* const kSmooth[] = {"abs", "saturate", "sin", "cos", "atan", "tanh", "degrees", "radians"};
        static const char* const kOperators[] = {"+", "-", "*", "/", "%"};
        static const char* const kComparisons[] = {"<", ">", "<=", ">=", "==", "!="};
        const ValueShape matrix = Shape(ValueBase::Float, 2 + int(Pick(3)), 2 + int(Pick(3)), true);
        const ValueShape vector = Shape(ValueBase(Pick(3) ? 3 : 1), 1, 2 + int(Pick(3)));
        if (!operand(Pick(14) == 0 ? &matrix : nullptr))
            return false;
        const ValueShape same = in[0].value.shape;
        const bool floats = same.base == ValueBase::Float;
        switch (Pick(13)) {
        case 0: { // arithmetic, of alike or a scalar
            const ValueShape scalar = Shape(same.base, 1, 1);
            const char* op = kOperators[Pick(5)];
            const bool divides = op[0] == '/' || op[0] == '%';
            return operand(Pick(3) ? &same : &scalar) && (!divides || in[1].Within(floats ? 0.25 : 1, 1e9)) &&
                   (op[0] != '%' || !floats || exact()) && make("$0 " + std::string(op) + " $1", op[0] != '/' || !floats);
        }
        case 1: // comparisons and logical operators
            if (!operand(&same) || !exact())
                return false;
            if (same.base == ValueBase::Bool && Pick(2))
                return make(Pick(3) == 0 ? "!$0" : Pick(2) ? "$0 && $1" : "$0 || $1");
            return make("$0 " + std::string(kComparisons[Pick(6)]) + " $1");
        case 2: { // ?:, of a scalar or a vector condition
            const ValueShape condition = Shape(ValueBase::Bool, 1, same.IsVector() && Pick(2) ? same.columns : 1);
            return operand(&same) && operand(&condition) && exact() && make("$2 ? $0 : $1");
        }
        case 3: { // casts: to another base, or a vector cut short
            ValueShape to = same;
            to.base = ValueBase(Pick(4) == 0 ? 0 : Pick(2) ? 1 : 3);
            to.columns = uint8_t(to.IsVector() && Pick(2) ? 1 + Pick(to.columns) : to.columns);
            return (to.base == ValueBase::Float || exact()) && make("(" + gfx::ShapeName(to) + ")$0");
        }
        case 4: { // swizzles
            const char* letters = Pick(2) ? "xyzw" : "rgba";
            std::string swizzle = ".";
            for (uint32_t k = 0, n = 1 + Pick(4); k < n; ++k)
                swizzle += letters[Pick(same.columns)];
            return (same.IsVector() || same.IsScalar()) && make("$0" + swizzle);
        }
        case 5: { // a matrix's rows and elements
            if (!same.matrix)
                return false;
            const uint32_t r = Pick(same.rows), c = Pick(same.columns);
            const bool zeroBased = Pick(2);
            const auto element = [&](uint32_t i, uint32_t j) {
                return zeroBased ? "_m" + std::to_string(i) + std::to_string(j)
                                 : "_" + std::to_string(i + 1) + std::to_string(j + 1);
            };
            std::string swizzle = "." + element(r, c);
            if (matrixSwizzles_ && Pick(2))
                swizzle += element(Pick(same.rows), Pick(same.columns));
            return make(Pick(3) == 0 ? "$0[" + std::to_string(r) + "]"
                        : Pick(2)    ? "$0[" + std::to_string(r) + "][" + std::to_string(c) + "]"
                                     : "$0" + swizzle);
        }
        case 6: // intrinsics with steps, of exact values
            return exact() && make(std::string(kSteps[Pick(6)]) + "($0)");
        case 7: // smooth intrinsics, and those of a domain
            if (!in[0].Within(0, 8))
                return false;
            switch (Pick(6)) {
            case 0: return in[0].Within(0, 8, false) && make("sqrt($0)", false);
            case 1: return in[0].Within(0.25, 8, false) && make(Pick(2) ? "log($0)" : Pick(2) ? "log2($0)" : "rsqrt($0)", false);
            case 2: return in[0].Within(0, 4) && make(Pick(2) ? "exp($0)" : "exp2($0)", false);
            case 3: return in[0].Within(0, 1) && make(Pick(2) ? "asin($0)" : "acos($0)", false);
            case 4: return in[0].Within(0.25, 8) && make("rcp($0)", false);
            default: return make(std::string(kSmooth[Pick(8)]) + "($0)", false);
            }
        case 8: // intrinsics of two or three alike
            if (!operand(&same))
                return false;
            switch (Pick(7)) {
            case 0: return make(Pick(2) ? "min($0, $1)" : "max($0, $1)");
            case 1: return exact() && in[1].Within(0.25, 1e4) && make("fmod($0, $1)");
            case 2: return exact() && make("step($0, $1)");
            case 3: return in[0].Within(0.25, 4, false) && in[1].Within(0, 3) && make("pow($0, $1)", false);
            case 4: return in[1].Within(0.25, 1e4) && make("atan2($0, $1)", false);
            default:
                if (!operand(&same))
                    return false;
                for (size_t k = 0; k < in[0].value.components.size(); ++k)
                    if (!(in[1].value.components[k] - in[0].value.components[k] >= 0.25))
                        return make("lerp($0, $1, $2)");
                return make(Pick(2) ? "clamp($2, $0, $1)" : "smoothstep($0, $1, $2)", false);
            }
        case 9: // of vectors
            in.clear();
            if (!operand(&vector))
                return false;
            switch (Pick(5)) {
            case 0: return operand(&vector) && make("dot($0, $1)");
            case 1: return make("length($0)", false);
            case 2: return operand(&vector) && make("distance($0, $1)", false);
            case 3: return in[0].Within(0.25, 1e4) && make("normalize($0)", false);
            default: return exact() && make(Pick(2) ? "any($0)" : "all($0)");
            }
        case 10: { // mul of vectors and matrices
            const int a = 2 + int(Pick(3)), b = 2 + int(Pick(3)), c = 2 + int(Pick(3));
            const ValueShape left = Pick(3) ? Shape(ValueBase::Float, a, b, true) : Shape(ValueBase::Float, 1, b);
            const ValueShape right = Pick(3) ? Shape(ValueBase::Float, b, c, true) : Shape(ValueBase::Float, 1, b);
            in.clear();
            return operand(&left) && operand(&right) && make("mul($0, $1)");
        }
        case 11: // of matrices
            return same.matrix && make(same.rows == same.columns && Pick(2) ? "determinant($0)" : "transpose($0)");
        default: { // the constant array, cross and the sign of several
            const ValueShape three = Shape(ValueBase::Float, 1, 3), index = Shape(ValueBase::Int, 1, 1);
            in.clear();
            switch (Pick(3)) {
            case 0: return operand(&index) && in[0].Within(0, 2, false) && make(Pick(2) ? "Table[$0]" : "Table[$0].zx");
            case 1: return operand(&three) && operand(&three) && make("cross($0, $1)");
            default: return operand(&three) && exact() && make("sign($0) / 2");
            }
        }
        }
    }

    std::mt19937 random_;
    bool matrixSwizzles_;
    uint32_t parameters_ = 0;
};

} // namespace

std::vector<GeneratedExpression> GenerateExpressions(uint32_t seed, size_t count, bool matrixSwizzles)
{
    Generator generator(seed, matrixSwizzles);
    std::vector<GeneratedExpression> out;
    while (out.size() < count)
        if (Node n; generator.Make(3, n) && n.text.size() < 600)
            out.push_back({n.text, n.param, n.declarations, gfx::ShapeName(n.value.shape)});
    return out;
}

} // namespace gfx_test
