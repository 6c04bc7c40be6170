// What a pixel shader draws against what the constant evaluator computes:
// each expression is a parameter's default, which the evaluator computes,
// and the value of a pixel shader drawn into a 32-bit float target, once
// with its numbers as written and once with each number a parameter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/expression/token_source.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

using namespace gfx;

// An expression and the HLSL type of its value; `expected`, where given, the
// value the language gives (row by row), which the evaluator must give too.
struct Row {
    std::string expression;
    std::string type;
    std::vector<double> expected = {};
};

// A seeded generator of well-typed expressions of the effect language for
// the differential test of the evaluator against the drawn shaders:
// scalars, vectors and float matrices of float, int and bool; literals (each
// a parameter too), constructors, casts, swizzles and matrix elements, `?:`,
// comparisons, the arithmetic and logical operators, the intrinsics, `mul`,
// and a constant array. The evaluator types and computes each part as it is
// made, which is kept only within its functions' domains and what a float
// target holds; what a function with steps (floor, a comparison, a cast to
// int) reads is exact in float arithmetic, so that the shader's floats and
// the evaluator's doubles cannot fall on two sides of a step.

// What every expression may name, declared before them.
constexpr const char* kGeneratedDeclarations =
    "static const float4 Table[3] = { {0.5, -1.25, 2, 0}, {3, 0.75, -2.5, 1}, {-0.25, 4, 1.5, -3} };\n";

ValueShape Shape(ValueBase base, int rows, int columns, bool matrix = false, uint32_t arraySize = 0)
{
    return {base, uint8_t(rows), uint8_t(columns), matrix, arraySize};
}

// The table kGeneratedDeclarations declares, as the evaluator names it.
struct TableNames : ExpressionNames {
    ExpressionName Find(std::string_view name) override
    {
        static const ExpressionValue table{Shape(ValueBase::Float, 1, 4, false, 3),
                                           {0.5, -1.25, 2, 0, 3, 0.75, -2.5, 1, -0.25, 4, 1.5, -3}};
        return {name == "Table" ? ExpressionName::Kind::Constant : ExpressionName::Kind::Unknown, &table};
    }
};

struct Node {
    std::string text;
    ExpressionValue value;
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
            static const ValueBase kBases[] = {ValueBase::Bool, ValueBase::Int, ValueBase::Float, ValueBase::Float};
            if (!made)
                Literal(shape ? shape->base : kBases[Pick(4)], out);
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
        std::string pattern = ShapeName(*shape) + "(";
        for (size_t k = 0; k < parts.size(); ++k)
            pattern += (k ? ", $" : "$") + std::to_string(k);
        return Done(out, parts, pattern + ")", true, false);
    }

private:
    uint32_t Pick(uint32_t n) { return uint32_t(random_() % n); }

    bool Literal(ValueBase base, Node& out)
    {
        static const char* const kExponents[] = {"100e-1", "2000e-2", "1600e-1", "5e-1", "250e-2", "5000e-2"};
        std::string text = base == ValueBase::Bool ? (Pick(2) ? "true" : "false")
                           : base == ValueBase::Int ? std::to_string(int(Pick(19)) - 9)
                           : Pick(8) ? std::to_string((double(Pick(49)) - 24) / 8) : kExponents[Pick(6)];
        if (base == ValueBase::Float)
            text = text.substr(0, text.find_last_not_of('0') + 2);
        return Done(out, {Node{text[0] == '-' ? "(" + text + ")" : text}}, "$0", true, false);
    }

    // `out` of `pattern`, $0, $1 ... standing for `in`'s texts, computed.
    bool Done(Node& out, const std::vector<Node>& in, const std::string& pattern, bool exact, bool parenthesized = true)
    {
        out = Node{pattern, {}, exact};
        for (size_t k = in.size(); k-- > 0;) {
            const std::string at = "$" + std::to_string(k);
            for (size_t p = out.text.find(at); p != std::string::npos; p = out.text.find(at))
                out.text.replace(p, at.size(), parenthesized ? "(" + in[k].text + ")" : in[k].text);
            out.exact = out.exact && in[k].exact;
        }
        static TableNames names;
        TokenListReader reader(Tokenize(out.text));
        ExpressionBudget budget;
        Expression program;
        ExpressionError error;
        const ValueShape& s = out.value.shape;
        if (!CompileExpression(reader, names, budget, program, error, false) ||
            reader.Peek().kind != TokenKind::End || !FoldExpression(program, budget, out.value, error, {}) ||
            s.arraySize != 0 || !out.Within(0, 1e4) ||
            (s.matrix && (s.base != ValueBase::Float || s.rows < 2 || s.columns < 2)))
            return false;
        // Exact: floats of few bits, which float arithmetic computes as doubles do;
        // what is not stays small, so that no step of it makes its error large.
        for (double c : out.value.components)
            out.exact = out.exact && c * 64 == std::floor(c * 64) && std::fabs(c) < 4096;
        return out.exact || out.Within(0, 16);
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
                   (op[0] != '%' || !floats || exact()) &&
                   make("$0 " + std::string(op) + " $1", op[0] != '/' || !floats);
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
            return (to.base == ValueBase::Float || exact()) && make("(" + ShapeName(to) + ")$0");
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
            const std::string r = std::to_string(Pick(same.rows)), c = std::to_string(Pick(same.columns));
            std::string swizzle = ".";
            for (int n = matrixSwizzles_ && Pick(2) ? 2 : 1, based = int(Pick(2)); n-- > 0;)
                swizzle += (based ? "_" : "_m") + std::to_string(Pick(same.rows) + based) +
                           std::to_string(Pick(same.columns) + based);
            return make(Pick(3) == 0 ? "$0[" + r + "]" : Pick(2) ? "$0[" + r + "][" + c + "]" : "$0" + swizzle);
        }
        case 6: // intrinsics with steps, of exact values
            return exact() && make(std::string(kSteps[Pick(6)]) + "($0)");
        case 7: // smooth intrinsics, and those of a domain
            if (!in[0].Within(0, 8))
                return false;
            switch (Pick(6)) {
            case 0: return in[0].Within(0, 8, false) && make("sqrt($0)", false);
            case 1: return in[0].Within(0.25, 8, false) && make(Pick(2) ? "log($0)" : "rsqrt($0)", false);
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
        case 11: // of matrices; a determinant's terms kept small, which cancel one another
            if (same.matrix && same.rows == same.columns && Pick(2))
                return in[0].Within(0, 4) && make("determinant($0)", false);
            return same.matrix && make("transpose($0)");
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
};

// `count` expressions from `seed`; with `matrixSwizzles`, swizzles of several
// matrix elements too.
std::vector<Row> GenerateExpressions(uint32_t seed, size_t count, bool matrixSwizzles)
{
    Generator generator(seed, matrixSwizzles);
    std::vector<Row> out;
    while (out.size() < count)
        if (Node n; generator.Make(3, n) && n.text.size() < 600)
            out.push_back({n.text, ShapeName(n.value.shape)});
    return out;
}

// `expression` with each number and bool a parameter of its type, declared in `declarations`.
std::string Parametrized(const std::string& expression, const std::string& prefix, std::string& declarations)
{
    std::string out;
    size_t at = 0;
    for (const Token& t : Tokenize(expression)) {
        if (t.kind != TokenKind::Number && !t.Is("true") && !t.Is("false"))
            continue;
        const std::string text(t.text), name = prefix + "_" + std::to_string(at);
        const bool number = t.kind == TokenKind::Number;
        declarations += (!number ? "bool " : text.find_first_of(".eE") != std::string::npos ? "float " : "int ") +
                        name + " = " + text + ";\n";
        out += expression.substr(at, t.offset - at) + name;
        at = t.offset + t.text.size();
    }
    return out + expression.substr(at);
}

// Ints and bools exactly; floats as two float computations may differ.
bool Near(double a, double b, ValueBase base)
{
    return base == ValueBase::Float ? std::fabs(a - b) <= 1e-3 * std::max({1.0, std::fabs(a), std::fabs(b)}) : a == b;
}

class GfxArithmetic : public gfx_test::RasterTest {
protected:
    // The rows whose values disagree, one line each: compiled as one effect,
    // or one at a time where that fails, each failure a line of its own.
    std::vector<std::string> Disagreements(const std::vector<Row>& rows)
    {
        std::vector<std::string> found;
        std::string errors;
        if (Compile(rows, 0, rows.size(), errors)) {
            Compare(rows, 0, rows.size(), found);
            return found;
        }
        for (size_t k = 0; k < rows.size(); ++k) {
            errors.clear();
            if (Compile(rows, k, k + 1, errors))
                Compare(rows, k, k + 1, found);
            else
                found.push_back(rows[k].expression + ": not compiled: " + errors);
        }
        return found;
    }

    // How many of `count` expressions generated from `seed` disagree, in
    // batches of one effect each; the first `shown` of them in words.
    size_t Generated(uint32_t seed, size_t count, bool matrixSwizzles, size_t shown)
    {
        const std::vector<Row> generated = GenerateExpressions(seed, count, matrixSwizzles);
        size_t disagreeing = 0;
        for (size_t done = 0; done < count && !HasFatalFailure(); done += 50) {
            const std::vector<Row> rows(generated.begin() + long(done),
                                        generated.begin() + long(std::min(count, done + 50)));
            for (const std::string& line : Disagreements(rows))
                if (disagreeing++ < shown)
                    ADD_FAILURE() << line;
        }
        return disagreeing;
    }

private:
    // Each row a parameter's default (E) and two pixel shaders, its numbers
    // written (L) and parameters (P), which draw a row of a matrix on each
    // quarter of the target, across.
    bool Compile(const std::vector<Row>& rows, size_t first, size_t end, std::string& errors)
    {
        std::string source = std::string(gfx_test::kPassOn) + kGeneratedDeclarations;
        for (size_t k = first; k < end; ++k) {
            const Row& r = rows[k];
            ValueShape shape;
            BuiltInShape(r.type, shape);
            const std::string id = std::to_string(k);
            std::string declarations;
            const std::string parametrized = Parametrized(r.expression, "N" + id, declarations);
            std::string row = "(float" + (shape.columns > 1 ? std::to_string(shape.columns) : "") + ")";
            row += (shape.matrix ? "v[i]" : "v") + std::string(", 0, 0, 0").substr(0, 3 * (4 - shape.columns));
            source += declarations + r.type + " E" + id + " = " + r.expression + ";\n";
            for (const std::string form : {"L", "P"})
                source += "float4 " + form + id + "(float2 uv : TEXCOORD0) : COLOR { int i = min(int(uv.x * 4), " +
                          std::to_string(shape.rows - 1) + "); " + r.type + " v = " +
                          (form == "L" ? r.expression : parametrized) + "; return float4(" + row + "); }\nPASS(T" +
                          form + id + ", " + form + id + ")\n";
        }
        effect.reset();
        return RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors) == kEffectOk;
    }

    void Compare(const std::vector<Row>& rows, size_t first, size_t end, std::vector<std::string>& found)
    {
        effect->SetDevice(device);
        Texture* target = nullptr;
        ASSERT_EQ(kOk, device->CreateTexture(kWidth, kHeight, 1, kUsageRenderTarget, kFormatA32B32G32R32F,
                                             kPoolDefault, &target));
        owned.push_back(target);
        Surface* level = nullptr;
        ASSERT_EQ(kOk, target->GetSurfaceLevel(0, &level));
        ASSERT_EQ(kOk, device->SetRenderTarget(0, level));
        SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
        for (size_t k = first; k < end; ++k) {
            const Row& r = rows[k];
            ValueShape shape;
            BuiltInShape(r.type, shape);
            std::vector<float> evaluated(shape.ElementComponents());
            ASSERT_EQ(kEffectOk, effect->GetFloatArray("E" + std::to_string(k), evaluated.data(),
                                                       uint32_t(evaluated.size())));
            bool wrong = !r.expected.empty() && r.expected.size() != evaluated.size();
            for (size_t i = 0; i < r.expected.size() && i < evaluated.size(); ++i)
                wrong = wrong || !Near(evaluated[i], r.expected[i], shape.base);
            std::ostringstream line;
            line << r.expression << ": evaluated";
            for (float f : evaluated)
                line << " " << f;
            for (const std::string form : {"L", "P"}) {
                Clear();
                DrawWith("T" + form + std::to_string(k));
                const std::span<const uint8_t> bytes = platform::testing::DrawnSurfaceBytes(*level);
                line << (form == "L" ? "; drawn" : "; with parameters");
                for (uint32_t i = 0; i < evaluated.size(); ++i) {
                    float f = 0;
                    const size_t x = (i / shape.columns) * kWidth / 4 + kWidth / 8;
                    std::memcpy(&f, bytes.data() + (kHeight / 2) * platform::testing::SurfacePitch(*level) + x * 16 +
                                        (i % shape.columns) * 4, 4);
                    line << " " << f;
                    wrong = wrong || !Near(f, evaluated[i], shape.base);
                }
            }
            if (wrong)
                found.push_back(line.str());
        }
        ASSERT_EQ(kOk, device->SetRenderTarget(0, back));
        level->Release();
    }
};

TEST_F(GfxArithmetic, EachFaultsSmallestFormDrawsTheLanguagesValue)
{
    const std::vector<Row> rows = {
        {"determinant(float2x2(1, 2, 3, 4) * float2x2(2, 1, 1, 1))", "float", {2}},
        {"float2x3(1, 2, 3, 4, 5, 6) * float2x3(2, 1, 1, 1, 2, 0.5)", "float2x3", {2, 2, 3, 4, 10, 3}},
        {"float2x3(1, 2, 3, 4, 5, 6) * float3x2(1, 2, 3, 4, 5, 6)", "float2x2", {1, 4, 12, 20}},
        {"float3(1, 5, 1) < 2", "bool3", {1, 0, 1}},
        {"(float3(1, 5, 1) < 2) ? float3(1, 2, 3) : float3(4, 5, 6)", "float3", {1, 5, 3}},
        {"bool4((float3(1, 5, 1) < 2).b, int2(3, 1) <= int2(2, 2), false)", "bool4", {1, 0, 1, 0}},
        {"dot(int2(4, 7), int2(10, 11))", "int", {117}},
        {"dot(int3(1, 2, 3), int3(1, 1, 1)) * 0.1 + dot(1.xx, 1.xx)", "float", {2.6}},
        {"float2(5.0, 2.625) % float2(2.0, 7.31)", "float2", {1, 2.625}},
        {"fmod(float2(-2.5, 1.5), float2(4.0, -4.0))", "float2", {-2.5, 1.5}},
        {"round(float3(2.5, -2.5, 3.5))", "float3", {2, -2, 4}},
        {"(float)(sign(-3.5) / 2)", "float", {0}},
        {"float3(100e-1, 1600e-1, 5000e-2)", "float3", {10, 160, 50}},
        {"saturate(float2x2(-1, .5, 2, .25))", "float2x2", {0, .5, 1, .25}},
        {"abs(float2x2(-1, .5, 2, -.25)) + frac(float2x2(-1.5, .5, 2.25, -.25))", "float2x2", {1.5, 1, 2.25, 1}},
        {"floor(float2x2(-1.5, .5, 2.25, -.25)) + round(float2x2(-1.5, .5, 2.25, -.75))", "float2x2", {-4, 0, 4, -2}},
        {"sin(float2x2(0, .5, 1, 2)) + cos(float2x2(0, .5, 1, 2))", "float2x2",
         {1, std::sin(.5) + std::cos(.5), std::sin(1.) + std::cos(1.), std::sin(2.) + std::cos(2.)}},
        {"int3(-7, -1, 7) % int3(-3, -30, -3)", "int3", {-1, -1, 1}},
        {"length(int2(3, 4)) + floor(min(int2(3, 4), 2)).y", "float", {7}},
        {"bool2(any(float3(0, 0, 1)), all(int2(1, 0)))", "bool2", {1, 0}},
    };
    for (const std::string& line : Disagreements(rows))
        ADD_FAILURE() << line;
}

// 300 from seed 65 in the suite; ZANDREL_ARITHMETIC_SEED and
// ZANDREL_ARITHMETIC_COUNT make a long run of thousands, and
// ZANDREL_ARITHMETIC_MATRIX_SWIZZLES=0 leaves out swizzles of several matrix elements.
TEST_F(GfxArithmetic, GeneratedExpressionsDrawWhatTheEvaluatorComputes)
{
    const auto given = [](const char* name, unsigned long otherwise) {
        const char* value = std::getenv(name);
        return value ? std::strtoul(value, nullptr, 10) : otherwise;
    };
    const size_t count = given("ZANDREL_ARITHMETIC_COUNT", 300);
    const size_t disagreeing = Generated(uint32_t(given("ZANDREL_ARITHMETIC_SEED", 65)), count,
                                         given("ZANDREL_ARITHMETIC_MATRIX_SWIZZLES", 1) != 0, 20);
    std::printf("%zu of %zu generated expressions agreed\n", count - disagreeing, count);
}

} // namespace
