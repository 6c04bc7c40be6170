#include "tests/platform/gfx/raster/expression_generator.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/expression/token_source.h"

namespace gfx_test {

using gfx::ValueBase;
using gfx::ValueShape;

namespace {

// The table kDeclarations declares, as the evaluator names it.
class TableNames : public gfx::ExpressionNames {
public:
    TableNames()
    {
        table_.shape.columns = 4;
        table_.shape.arraySize = 3;
        table_.components = {0.5, -1.25, 2, 0, 3, 0.75, -2.5, 1, -0.25, 4, 1.5, -3};
    }
    gfx::ExpressionName Find(std::string_view name) override
    {
        gfx::ExpressionName found;
        if (name == "Table") {
            found.kind = gfx::ExpressionName::Kind::Constant;
            found.value = &table_;
        }
        return found;
    }

private:
    gfx::ExpressionValue table_;
};

bool Evaluate(const std::string& text, gfx::ExpressionValue& value)
{
    static TableNames names;
    gfx::TokenListReader reader(gfx::Tokenize(text));
    gfx::ExpressionBudget budget;
    gfx::Expression program;
    gfx::ExpressionError error;
    return gfx::CompileExpression(reader, names, budget, program, error, false) &&
           reader.Peek().kind == gfx::TokenKind::End && gfx::FoldExpression(program, budget, value, error, {});
}

// Whether every component lies in `[low, high]`, by its magnitude where `magnitude`.
bool Within(const gfx::ExpressionValue& v, double low, double high, bool magnitude = false)
{
    for (double c : v.components)
        if (!((magnitude ? std::fabs(c) : c) >= low && (magnitude ? std::fabs(c) : c) <= high))
            return false;
    return true;
}

ValueShape Shape(ValueBase base, uint8_t rows, uint8_t columns, bool matrix = false)
{
    ValueShape s;
    s.base = base;
    s.rows = rows;
    s.columns = columns;
    s.matrix = matrix;
    return s;
}

} // namespace

GeneratedExpression ExpressionGenerator::Next()
{
    for (;;) {
        Node n;
        if (Make(3, n) && n.text.size() < 600)
            return {n.text, n.param, n.declarations, gfx::ShapeName(n.value.shape)};
    }
}

bool ExpressionGenerator::Done(Node& out, const std::string& text, const std::string& param,
                               const std::string& declarations, bool exact)
{
    out.text = text;
    out.param = param;
    out.declarations = declarations;
    if (!Evaluate(text, out.value) || out.value.shape.arraySize != 0 || !Within(out.value, 0, 1e4, true) ||
        (out.value.shape.matrix && (out.value.shape.base != ValueBase::Float || out.value.shape.rows < 2 ||
                                    out.value.shape.columns < 2)))
        return false;
    // Exact: a float of few bits, which float arithmetic computes as doubles do.
    out.exact = exact;
    for (double c : out.value.components)
        out.exact = out.exact && c * 64 == std::floor(c * 64) && std::fabs(c) < 4096;
    return true;
}

void ExpressionGenerator::Literal(ValueBase base, double value, Node& out)
{
    static const char* const kExponents[][2] = {{"100e-1", "10"}, {"2000e-2", "20"}, {"1600e-1", "160"},
                                                {"5e-1", "0.5"},  {"250e-2", "2.5"},  {"5000e-2", "50"}};
    char written[32];
    if (base == ValueBase::Bool)
        std::snprintf(written, sizeof written, "%s", value != 0 ? "true" : "false");
    else if (base == ValueBase::Int)
        std::snprintf(written, sizeof written, "%d", int(value));
    else
        std::snprintf(written, sizeof written, std::floor(value) == value ? "%.1f" : "%g", value);
    std::string text = written;
    if (base == ValueBase::Float && Pick(8) == 0) {
        const auto& e = kExponents[Pick(6)];
        text = e[0];
        value = std::atof(e[1]);
    }
    const std::string name = "G" + std::to_string(parameters_++);
    const char* type = base == ValueBase::Bool ? "bool" : base == ValueBase::Int ? "int" : "float";
    Done(out, value < 0 ? "(" + text + ")" : text, name, std::string(type) + " " + name + " = " + text + ";\n", true);
}

bool ExpressionGenerator::Make(int depth, Node& out)
{
    if (depth > 0 && Pick(6) != 0)
        for (int tries = 0; tries < 8; ++tries)
            if (Compose(depth, out))
                return true;
    switch (Pick(4)) {
    case 0: Literal(ValueBase::Bool, Pick(2), out); break;
    case 1: Literal(ValueBase::Int, double(Pick(19)) - 9, out); break;
    default: Literal(ValueBase::Float, (double(Pick(49)) - 24) / 8, out); break;
    }
    return true;
}

bool ExpressionGenerator::Shaped(int depth, const ValueShape& shape, Node& out)
{
    for (int tries = 0; tries < 3; ++tries)
        if (Make(depth, out) && out.value.shape == shape)
            return true;
    if (shape.IsScalar()) {
        Literal(shape.base, shape.base == ValueBase::Float ? (double(Pick(33)) - 16) / 8 : double(Pick(9)) - 4, out);
        return true;
    }
    // A constructor of parts: rows, or pieces of a vector.
    std::string text = gfx::ShapeName(shape) + "(", param = text, declarations;
    bool exact = true;
    for (uint32_t made = 0, total = shape.matrix ? shape.rows : shape.columns; made < total;) {
        const uint32_t size = shape.matrix ? shape.columns : 1 + Pick(total - made);
        Node part;
        if (!Shaped(depth - 1, Shape(shape.base, 1, uint8_t(size)), part))
            return false;
        text += (made ? ", " : "") + part.text;
        param += (made ? ", " : "") + part.param;
        declarations += part.declarations;
        exact = exact && part.exact;
        made += shape.matrix ? 1 : size;
    }
    return Done(out, text + ")", param + ")", declarations, exact);
}

bool ExpressionGenerator::Compose(int depth, Node& out)
{
    std::vector<Node> in;
    const auto operand = [&](const ValueShape* shape) {
        in.emplace_back();
        return shape ? Shaped(depth - 1, *shape, in.back()) : Make(depth - 1, in.back());
    };
    // `pattern` with $0, $1 ... for the operands, in parentheses.
    const auto make = [&](std::string pattern, bool exact) {
        std::string text = pattern, param = pattern, declarations;
        for (size_t k = in.size(); k-- > 0;) {
            const std::string at = "$" + std::to_string(k);
            for (size_t p = text.find(at); p != std::string::npos; p = text.find(at))
                text.replace(p, at.size(), "(" + in[k].text + ")");
            for (size_t p = param.find(at); p != std::string::npos; p = param.find(at))
                param.replace(p, at.size(), "(" + in[k].param + ")");
            declarations += in[k].declarations;
            exact = exact && in[k].exact;
        }
        return Done(out, text, param, declarations, exact);
    };
    const auto exactAll = [&] {
        for (const Node& n : in)
            if (!n.exact)
                return false;
        return true;
    };
    static const char* const kSteps[] = {"floor", "ceil", "frac", "round", "trunc", "sign"};
    static const char* const kSmooth[] = {"abs", "saturate", "sin", "cos", "atan", "tanh", "degrees", "radians"};
    static const char* const kOperators[] = {"+", "-", "*", "/", "%"};
    static const char* const kComparisons[] = {"<", ">", "<=", ">=", "==", "!="};
    switch (Pick(14)) {
    case 0: { // arithmetic
        if (!operand(nullptr))
            return false;
        ValueShape same = in[0].value.shape, scalar = Shape(same.base, 1, 1);
        if (!operand(Pick(3) ? &same : &scalar))
            return false;
        const char* op = kOperators[Pick(5)];
        const bool floats = in[0].value.shape.base == ValueBase::Float || in[1].value.shape.base == ValueBase::Float;
        if ((op[0] == '/' || op[0] == '%') && !Within(in[1].value, floats ? 0.25 : 1, 1e9, true))
            return false;
        if (op[0] == '%' && floats && !exactAll())
            return false;
        return make(std::string("$0 ") + op + " $1", op[0] != '/' || !floats);
    }
    case 1: { // comparisons and logical operators
        if (!operand(nullptr))
            return false;
        ValueShape same = in[0].value.shape;
        if (!operand(&same) || !exactAll())
            return false;
        if (same.base == ValueBase::Bool && Pick(2))
            return make(Pick(3) == 0 ? "!$0" : Pick(2) ? "$0 && $1" : "$0 || $1", true);
        return make(std::string("$0 ") + kComparisons[Pick(6)] + " $1", true);
    }
    case 2: { // ?:
        if (!operand(nullptr))
            return false;
        ValueShape same = in[0].value.shape, condition = Shape(ValueBase::Bool, 1, 1);
        if (same.IsVector() && Pick(2))
            condition.columns = same.columns;
        return operand(&same) && operand(&condition) && exactAll() && make("$2 ? $0 : $1", true);
    }
    case 3: { // casts: to another base, or a vector cut short
        if (!operand(nullptr))
            return false;
        ValueShape to = in[0].value.shape;
        to.base = ValueBase(Pick(4) == 0 ? 0 : Pick(2) ? 1 : 3);
        if (to.IsVector() && to.columns > 1 && Pick(2))
            to.columns = uint8_t(1 + Pick(to.columns));
        if (to.base != ValueBase::Float && !exactAll())
            return false;
        return make("(" + gfx::ShapeName(to) + ")$0", true);
    }
    case 4: { // swizzles
        if (!operand(nullptr) || !(in[0].value.shape.IsVector() || in[0].value.shape.IsScalar()))
            return false;
        const char* letters = Pick(2) ? "xyzw" : "rgba";
        std::string swizzle = ".";
        for (uint32_t k = 0, n = 1 + Pick(4); k < n; ++k)
            swizzle += letters[Pick(in[0].value.shape.columns)];
        return make("$0" + swizzle, true);
    }
    case 5: { // a matrix's rows and elements
        const ValueShape matrix = Shape(ValueBase::Float, uint8_t(2 + Pick(3)), uint8_t(2 + Pick(3)), true);
        if (!operand(&matrix))
            return false;
        const uint32_t r = Pick(matrix.rows), c = Pick(matrix.columns);
        const std::string row = std::to_string(r), column = std::to_string(c);
        const bool zeroBased = Pick(2);
        const auto name = [&](uint32_t i, uint32_t j) {
            return zeroBased ? "_m" + std::to_string(i) + std::to_string(j) : "_" + std::to_string(i + 1) + std::to_string(j + 1);
        };
        std::string element = "." + name(r, c);
        if (matrixSwizzles_ && Pick(2))
            element += name(Pick(matrix.rows), Pick(matrix.columns));
        return make(Pick(3) == 0 ? "$0[" + row + "]" : Pick(2) ? "$0[" + row + "][" + column + "]" : "$0" + element, true);
    }
    case 6: { // intrinsics with steps, of exact values
        return operand(nullptr) && exactAll() && make(std::string(kSteps[Pick(6)]) + "($0)", true);
    }
    case 7: { // smooth intrinsics, and those of a domain
        if (!operand(nullptr) || !Within(in[0].value, 0, 8, true))
            return false;
        switch (Pick(6)) {
        case 0: return Within(in[0].value, 0, 8) && make("sqrt($0)", false);
        case 1: return Within(in[0].value, 0.25, 8) && make(Pick(2) ? "log($0)" : Pick(2) ? "log2($0)" : "rsqrt($0)", false);
        case 2: return Within(in[0].value, 0, 4, true) && make(Pick(2) ? "exp($0)" : "exp2($0)", false);
        case 3: return Within(in[0].value, 0, 1, true) && make(Pick(2) ? "asin($0)" : "acos($0)", false);
        case 4: return Within(in[0].value, 0.25, 8, true) && make("rcp($0)", false);
        default: return make(std::string(kSmooth[Pick(8)]) + "($0)", false);
        }
    }
    case 8: { // intrinsics of two or three values alike
        if (!operand(nullptr))
            return false;
        ValueShape same = in[0].value.shape;
        if (!operand(&same))
            return false;
        switch (Pick(7)) {
        case 0: return make(Pick(2) ? "min($0, $1)" : "max($0, $1)", true);
        case 1: return exactAll() && Within(in[1].value, 0.25, 1e4, true) && make("fmod($0, $1)", true);
        case 2: return exactAll() && make("step($0, $1)", true);
        case 3: return Within(in[0].value, 0.25, 4) && Within(in[1].value, 0, 3, true) && make("pow($0, $1)", false);
        case 4: return Within(in[1].value, 0.25, 1e4, true) && make("atan2($0, $1)", false);
        default: {
            if (!operand(&same))
                return false;
            std::vector<double> low = in[0].value.components, high = in[1].value.components;
            for (size_t k = 0; k < low.size(); ++k)
                if (!(high[k] - low[k] >= 0.25))
                    return make("lerp($0, $1, $2)", true);
            return make(Pick(2) ? "clamp($2, $0, $1)" : "smoothstep($0, $1, $2)", false);
        }
        }
    }
    case 9: { // of vectors
        const ValueShape vector = Shape(ValueBase(Pick(3) ? 3 : 1), 1, uint8_t(2 + Pick(3)));
        if (!operand(&vector))
            return false;
        switch (Pick(5)) {
        case 0: return operand(&vector) && make("dot($0, $1)", true);
        case 1: return make("length($0)", false);
        case 2: return operand(&vector) && make("distance($0, $1)", false);
        case 3: return Within(in[0].value, 0.25, 1e4, true) && make("normalize($0)", false);
        default: return exactAll() && make(Pick(2) ? "any($0)" : "all($0)", true);
        }
    }
    case 10: { // mul of vectors and matrices
        const uint8_t a = uint8_t(2 + Pick(3)), b = uint8_t(2 + Pick(3)), c = uint8_t(2 + Pick(3));
        const ValueShape left = Pick(3) == 0 ? Shape(ValueBase::Float, 1, b) : Shape(ValueBase::Float, a, b, true);
        const ValueShape right = Pick(3) == 0 ? Shape(ValueBase::Float, 1, b) : Shape(ValueBase::Float, b, c, true);
        return operand(&left) && operand(&right) && make("mul($0, $1)", true);
    }
    case 11: { // of matrices
        const uint8_t n = uint8_t(2 + Pick(3));
        const ValueShape matrix = Shape(ValueBase::Float, n, uint8_t(Pick(2) ? n : 2 + Pick(3)), true);
        if (!operand(&matrix))
            return false;
        return matrix.rows == matrix.columns && Pick(2) ? make("determinant($0)", true) : make("transpose($0)", true);
    }
    case 12: { // the constant array
        Node index;
        Literal(ValueBase::Int, Pick(3), index);
        in.push_back(index);
        return make(Pick(2) ? "Table[$0]" : "Table[$0].zx", true);
    }
    default: { // cross, and the sign of several
        const ValueShape three = Shape(ValueBase::Float, 1, 3);
        return Pick(2) ? operand(&three) && operand(&three) && make("cross($0, $1)", true)
                       : operand(&three) && exactAll() && make("sign($0) / 2", true);
    }
    }
}

} // namespace gfx_test
