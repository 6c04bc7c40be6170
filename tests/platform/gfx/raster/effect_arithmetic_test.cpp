// What a pixel shader draws against what the constant evaluator computes:
// each expression is a parameter's default, which the evaluator computes,
// and the value of a pixel shader drawn into a 32-bit float target, once
// with its numbers as written and once with each number a parameter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "tests/platform/gfx/raster/expression_generator.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

namespace {

using namespace gfx;

// An expression and the HLSL type of its value; `expected`, where given, the
// value the language gives (row by row), which the evaluator must give too.
struct Row {
    std::string expression;
    std::string type;
    std::vector<double> expected = {};
    std::string parametrized = {}; // with its numbers parameters, declared in `declarations`; or made here
    std::string declarations = {};
};

// The components of a type: its base ("float", "int", "bool"), rows and columns.
void Dimensions(const std::string& type, std::string& base, int& rows, int& columns)
{
    size_t digits = type.find_first_of("0123456789");
    base = type.substr(0, digits);
    rows = 1;
    columns = 1;
    if (digits == std::string::npos)
        return;
    columns = type[digits] - '0';
    if (type.size() > digits + 2 && type[digits + 1] == 'x') {
        rows = columns;
        columns = type[digits + 2] - '0';
    }
}

// `expression` with each number a parameter of its type, declared in `declarations`.
std::string Parametrized(const std::string& expression, const std::string& prefix, std::string& declarations)
{
    std::string out;
    size_t at = 0;
    int count = 0;
    for (const Token& t : Tokenize(expression)) {
        if (t.kind != TokenKind::Number)
            continue;
        const std::string text(t.text);
        const bool isFloat = text.find_first_of(".eE") != std::string::npos;
        const std::string name = prefix + "_" + std::to_string(count++);
        declarations += std::string(isFloat ? "float " : "int ") + name + " = " + text + ";\n";
        out += expression.substr(at, t.offset - at) + name;
        at = t.offset + t.text.size();
    }
    return out + expression.substr(at);
}

class GfxArithmetic : public gfx_test::RasterTest {
protected:
    static constexpr int kParts = 4; // a row of a matrix each, across the target

    // The disagreements of `rows`, one line each; compiled as one effect, or
    // one at a time where that fails, each failure a line of its own.
    std::vector<std::string> Disagreements(const std::vector<Row>& rows)
    {
        std::vector<std::string> found;
        std::string errors;
        if (!Compile(rows, 0, rows.size(), errors)) {
            for (size_t k = 0; k < rows.size(); ++k) {
                errors.clear();
                if (Compile(rows, k, k + 1, errors))
                    Compare(rows, k, k + 1, found);
                else
                    found.push_back(rows[k].expression + ": not compiled: " + errors);
            }
            return found;
        }
        Compare(rows, 0, rows.size(), found);
        return found;
    }

    // The disagreements of `count` expressions generated from `seed`, in
    // batches of one effect each; the first `shown` of them in words.
    size_t Generated(uint32_t seed, size_t count, bool matrixSwizzles, size_t shown)
    {
        gfx_test::ExpressionGenerator generator(seed, matrixSwizzles);
        size_t disagreeing = 0;
        for (size_t done = 0; done < count && !HasFatalFailure();) {
            std::vector<Row> rows;
            for (; rows.size() < 50 && done < count; ++done) {
                const gfx_test::GeneratedExpression e = generator.Next();
                rows.push_back({e.literal, e.type, {}, e.parametrized, e.declarations});
            }
            for (const std::string& line : Disagreements(rows))
                if (disagreeing++ < shown)
                    ADD_FAILURE() << line;
        }
        return disagreeing;
    }

private:
    bool Compile(const std::vector<Row>& rows, size_t first, size_t end, std::string& errors)
    {
        std::string source = std::string(gfx_test::kPassOn) + gfx_test::ExpressionGenerator::kDeclarations;
        for (size_t k = first; k < end; ++k) {
            const Row& r = rows[k];
            std::string base;
            int rowCount = 1, columns = 1;
            Dimensions(r.type, base, rowCount, columns);
            const std::string id = std::to_string(k);
            std::string declarations = r.declarations;
            const std::string parametrized =
                r.parametrized.empty() ? Parametrized(r.expression, "N" + id, declarations) : r.parametrized;
            const std::string vector = "float" + (columns > 1 ? std::to_string(columns) : std::string());
            const std::string padding = columns < 4 ? ", " + std::string("0, 0, 0").substr(0, 3 * (4 - columns) - 2) : "";
            const std::string part = rowCount > 1 || r.type.find('x') != std::string::npos ? "v[i]" : "v";
            source += declarations + r.type + " E" + id + " = " + r.expression + ";\n";
            for (const char* form : {"L", "P"}) {
                const std::string& text = form[0] == 'L' ? r.expression : parametrized;
                source += "float4 " + std::string(form) + id + "(float2 uv : TEXCOORD0) : COLOR\n{\n    int i = min(int(uv.x * " +
                          std::to_string(kParts) + "), " + std::to_string(rowCount - 1) + ");\n    " + r.type +
                          " v = " + text + ";\n    return float4((" + vector + ")" + part + padding + ");\n}\nPASS(T" +
                          form + id + ", " + form + id + ")\n";
            }
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
        for (size_t k = first; k < end; ++k) {
            const Row& r = rows[k];
            std::string base;
            int rowCount = 1, columns = 1;
            Dimensions(r.type, base, rowCount, columns);
            std::vector<float> evaluated(size_t(rowCount * columns));
            ASSERT_EQ(kEffectOk, effect->GetFloatArray("E" + std::to_string(k), evaluated.data(),
                                                       uint32_t(evaluated.size())));
            std::ostringstream line;
            line << r.expression << ":";
            bool wrong = false;
            const auto show = [&](const char* what, const std::vector<float>& v) {
                line << " " << what;
                for (float f : v)
                    line << " " << f;
            };
            if (!r.expected.empty()) {
                for (size_t i = 0; i < evaluated.size() && i < r.expected.size(); ++i)
                    wrong = wrong || !Near(evaluated[i], r.expected[i], base);
                wrong = wrong || r.expected.size() != evaluated.size();
            }
            show("evaluated", evaluated);
            for (const char* form : {"L", "P"}) {
                Clear();
                SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
                DrawWith("T" + std::string(form) + std::to_string(k));
                const std::span<const uint8_t> bytes = platform::testing::DrawnSurfaceBytes(*level);
                std::vector<float> drawn;
                for (int row = 0; row < rowCount; ++row)
                    for (int c = 0; c < columns; ++c) {
                        float f = 0;
                        const size_t x = size_t(row) * kWidth / kParts + kWidth / kParts / 2;
                        std::memcpy(&f, bytes.data() + size_t(kHeight / 2) * platform::testing::SurfacePitch(*level) +
                                            x * 16 + size_t(c) * 4,
                                    4);
                        drawn.push_back(f);
                        wrong = wrong || !Near(f, evaluated[drawn.size() - 1], base);
                    }
                show(form[0] == 'L' ? "drawn" : "with parameters", drawn);
            }
            if (wrong)
                found.push_back(line.str());
        }
        ASSERT_EQ(kOk, device->SetRenderTarget(0, back));
        level->Release();
    }

    // Ints and bools exactly; floats as float arithmetic lets two computations differ.
    static bool Near(double a, double b, const std::string& base)
    {
        if (base != "float" && base != "half")
            return a == b;
        return std::fabs(a - b) <= 1e-3 * std::max({1.0, std::fabs(a), std::fabs(b)});
    }
};

TEST_F(GfxArithmetic, EachFaultsSmallestFormDrawsTheLanguagesValue)
{
    const std::vector<Row> rows = {
        {"determinant(float2x2(1, 2, 3, 4) * float2x2(2, 1, 1, 1))", "float", {2}},
        {"float2x3(1, 2, 3, 4, 5, 6) * float2x3(2, 1, 1, 1, 2, 0.5)", "float2x3", {2, 2, 3, 4, 10, 3}},
        {"float2x3(1, 2, 3, 4, 5, 6) * float3x2(1, 2, 3, 4, 5, 6)", "float2x2", {1, 4, 12, 20}},
        {"float3(1, 5, 1) < 2", "bool3", {1, 0, 1}},
        {"int2(3, 1) <= int2(2, 2)", "bool2", {0, 1}},
        {"(float3(1, 5, 1) < 2) ? float3(1, 2, 3) : float3(4, 5, 6)", "float3", {1, 5, 3}},
        {"(float3(1, 5, 1) < 2).b", "bool", {1}},
        {"bool4(bool2(true, false), int2(3, 1) <= int2(2, 2))", "bool4", {1, 0, 0, 1}},
        {"dot(int2(4, 7), int2(10, 11))", "int", {117}},
        {"dot(int3(1, 2, 3), int3(1, 1, 1)) * 0.1", "float", {0.6}},
        {"dot(1.xx, 1.xx)", "int", {2}},
        {"5.0 % 2.0", "float", {1}},
        {"2.625 % 7.31", "float", {2.625}},
        {"fmod(-2.5, 4.0)", "float", {-2.5}},
        {"fmod(1.5, -4.0)", "float", {1.5}},
        {"round(2.5)", "float", {2}},
        {"round(float2(-2.5, 3.5))", "float2", {-2, 4}},
        {"(float)(sign(-3.5) / 2)", "float", {0}},
        {"float3(100e-1, 1600e-1, 5000e-2)", "float3", {10, 160, 50}},
        {"saturate(float2x2(-1, .5, 2, .25))", "float2x2", {0, .5, 1, .25}},
        {"abs(float2x2(-1, .5, 2, -.25))", "float2x2", {1, .5, 2, .25}},
        {"floor(float2x2(-1.5, .5, 2.25, -.25))", "float2x2", {-2, 0, 2, -1}},
        {"frac(float2x2(-1.5, .5, 2.25, -.25))", "float2x2", {.5, .5, .25, .75}},
        {"round(float2x2(-1.5, .5, 2.25, -.75))", "float2x2", {-2, 0, 2, -1}},
        {"sin(float2x2(0, .5, 1, 2))", "float2x2", {0, std::sin(.5), std::sin(1.), std::sin(2.)}},
        {"cos(float2x2(0, .5, 1, 2))", "float2x2", {1, std::cos(.5), std::cos(1.), std::cos(2.)}},
        {"(-7) % (-3)", "int", {-1}},
        {"(-1) % (-30)", "int", {-1}},
        {"7 % -3", "int", {1}},
        {"length(int2(3, 4))", "float", {5}},
        {"floor(min(int2(3, 4), 2)).y", "float", {2}},
        {"sin(int2(0, 2))", "float2", {0, std::sin(2.)}},
        {"any(float3(0, 0, 1))", "bool", {1}},
        {"all(int2(1, 0))", "bool", {0}},
    };
    for (const std::string& line : Disagreements(rows))
        ADD_FAILURE() << line;
}

TEST_F(GfxArithmetic, GeneratedExpressionsDrawWhatTheEvaluatorComputes)
{
    EXPECT_EQ(Generated(65, 300, false, 20), 0u);
}

// The long run: ZANDREL_ARITHMETIC_SEED, ZANDREL_ARITHMETIC_COUNT (4096 unless
// given) and ZANDREL_ARITHMETIC_MATRIX_SWIZZLES=1 for swizzles of several
// matrix elements; run with --gtest_also_run_disabled_tests.
TEST_F(GfxArithmetic, DISABLED_ManyGeneratedExpressions)
{
    const auto number = [](const char* name, unsigned long otherwise) {
        const char* given = std::getenv(name);
        return given ? std::strtoul(given, nullptr, 10) : otherwise;
    };
    const size_t count = number("ZANDREL_ARITHMETIC_COUNT", 4096);
    const size_t disagreeing = Generated(uint32_t(number("ZANDREL_ARITHMETIC_SEED", 65)), count,
                                         number("ZANDREL_ARITHMETIC_MATRIX_SWIZZLES", 0) != 0, 100);
    std::printf("%zu of %zu generated expressions agreed\n", count - disagreeing, count);
}

} // namespace
