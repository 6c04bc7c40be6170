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
// value the language gives (row by row), which the evaluator must give too;
// `parametrized`, where given, the expression with its numbers parameters,
// declared in `declarations`, else made here.
struct Row {
    std::string expression;
    std::string type;
    std::vector<double> expected = {};
    std::string parametrized = {};
    std::string declarations = {};
};

std::string Parametrized(const std::string& expression, const std::string& prefix, std::string& declarations)
{
    std::string out;
    size_t at = 0;
    for (const Token& t : Tokenize(expression)) {
        if (t.kind != TokenKind::Number)
            continue;
        const std::string text(t.text), name = prefix + "_" + std::to_string(at);
        declarations += (text.find_first_of(".eE") != std::string::npos ? "float " : "int ") + name + " = " + text + ";\n";
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
        const std::vector<gfx_test::GeneratedExpression> generated =
            gfx_test::GenerateExpressions(seed, count, matrixSwizzles);
        size_t disagreeing = 0;
        for (size_t done = 0; done < count && !HasFatalFailure();) {
            std::vector<Row> rows;
            for (; rows.size() < 50 && done < count; ++done) {
                const gfx_test::GeneratedExpression& e = generated[done];
                rows.push_back({e.literal, e.type, {}, e.parametrized, e.declarations});
            }
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
        std::string source = std::string(gfx_test::kPassOn) + gfx_test::kGeneratedDeclarations;
        for (size_t k = first; k < end; ++k) {
            const Row& r = rows[k];
            ValueShape shape;
            BuiltInShape(r.type, shape);
            const std::string id = std::to_string(k);
            std::string declarations = r.declarations;
            const std::string parametrized =
                r.parametrized.empty() ? Parametrized(r.expression, "N" + id, declarations) : r.parametrized;
            std::string row = "(float" + (shape.columns > 1 ? std::to_string(shape.columns) : "") + ")";
            row += std::string(shape.matrix ? "v[i]" : "v") + std::string(", 0, 0, 0").substr(0, 3 * (4 - shape.columns));
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
        {"sin(float2x2(0, .5, 1, 2))", "float2x2", {0, std::sin(.5), std::sin(1.), std::sin(2.)}},
        {"cos(float2x2(0, .5, 1, 2))", "float2x2", {1, std::cos(.5), std::cos(1.), std::cos(2.)}},
        {"int3(-7, -1, 7) % int3(-3, -30, -3)", "int3", {-1, -1, 1}},
        {"length(int2(3, 4)) + floor(min(int2(3, 4), 2)).y", "float", {7}},
        {"bool2(any(float3(0, 0, 1)), all(int2(1, 0)))", "bool2", {1, 0}},
    };
    for (const std::string& line : Disagreements(rows))
        ADD_FAILURE() << line;
}

// 300 from seed 65 in the suite; ZANDREL_ARITHMETIC_SEED and
// ZANDREL_ARITHMETIC_COUNT make a long run of thousands, and
// ZANDREL_ARITHMETIC_MATRIX_SWIZZLES=1 adds swizzles of several matrix elements.
TEST_F(GfxArithmetic, GeneratedExpressionsDrawWhatTheEvaluatorComputes)
{
    const auto given = [](const char* name, unsigned long otherwise) {
        const char* value = std::getenv(name);
        return value ? std::strtoul(value, nullptr, 10) : otherwise;
    };
    const size_t count = given("ZANDREL_ARITHMETIC_COUNT", 300);
    const size_t disagreeing = Generated(uint32_t(given("ZANDREL_ARITHMETIC_SEED", 65)), count,
                                         given("ZANDREL_ARITHMETIC_MATRIX_SWIZZLES", 0) != 0, 20);
    std::printf("%zu of %zu generated expressions agreed\n", count - disagreeing, count);
}

} // namespace
