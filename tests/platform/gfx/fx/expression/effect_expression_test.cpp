#include "platform/gfx/fx/expression/effect_expression.h"

#include <gtest/gtest.h>

#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using gfx::Expression;
using gfx::ExpressionName;
using gfx::ExpressionValue;
using gfx::ValueBase;
using gfx::ValueShape;

// Names as an effect would give them: two constants, two parameters, a
// static computed from a parameter, functions and a typedef.
class TestNames : public gfx::ExpressionNames {
public:
    TestNames()
    {
        pi_.shape.base = ValueBase::Float;
        pi_.components = {static_cast<double>(3.14159265f)};
        grid_.shape.arraySize = 6;
        grid_.components = {1, 2, 3, 4, 5, 6};
        weights_.shape.columns = 3;
        weights_.components = {static_cast<double>(0.2126f), static_cast<double>(0.7152f), static_cast<double>(0.0722f)};
        functions_["twice"] = "float twice(float x) { return x * 2; }";
        functions_["transform"] =
            "float4x4 transform() { return float4x4(2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1); }";
        functions_["scaled"] = "float scaled(float x, uniform float k = 3) { float y = x; y *= k; return y + 0; }";
        functions_["loops"] = "float loops() { for (;;) {} }";
        functions_["self"] = "float self(float x) { return self(x); }";
        functions_["mixed"] = "float mixed(float4 v) { float4 w = v * 2, u; return dot(w, 1) + twice(v.x); }";
        functions_["broken"] = "float broken(float x) { float y = twice(x); return y + missing; }";
        functions_["badDefault"] = "float badDefault(float x, float k = missing) { return x * k; }";
        functions_["badHead"] = "float badHead(float x, out float y) { return x; }";
        // Statements computed as they are read.
        functions_["sum"] = "float sum(int n) { float s = 0; for (int i = 1; i <= n; i++) s += i; return s; }";
        functions_["pick"] =
            "float pick(int i) { if (i == 0) return 10; else if (i == 1) { return 20; } return i > 5 ? 60 : 30; }";
        functions_["firstOver"] =
            "int firstOver(float limit) { int i = 0; while (true) { if (i * i > limit) break; i++; } return i; }";
        functions_["odds"] =
            "int odds() { int n = 0; [unroll] for (int i = 0; i < 10; i++) { if (i % 2 == 0) continue; n += i; } return n; }";
        functions_["countdown"] = "int countdown(int n) { int k = 0; do { k += n; n--; } while (n > 0); return k; }";
        functions_["identity3"] =
            "float3x3 identity3() { float3x3 m = 0; for (int i = 0; i < 3; i++) m[i][i] = 1; return m; }";
        functions_["swizzled"] = "float4 swizzled(float4 v) { v.zx = float2(7, 8); v.y += 1; v[3] *= 2; return v; }";
        functions_["table"] =
            "float table(int i) { float4 t[3] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 }; t[2].w = 0; return t[i].w + t[i][1]; }";
        functions_["total"] = "float total(float a[3]) { float s = 0; for (int i = 0; i < 3; ++i) s += a[i]; return s; }";
        functions_["early"] = "float early(float x) { for (int i = 0; i < 100; i++) { if (i == 3) return x * i; } return -1; }";
        functions_["bits"] = "uint bits(uint v) { uint n = 0; while (v != 0) { n += v & 1; v >>= 1; } return n; }";
        functions_["depth"] = "float depth(int n) { if (n == 0) return 0; return 1 + depth(n - 1); }";
        functions_["split"] =
            "float split(float4 v) { float2 a, b; float4(a, b) = v * 2; float c; float3 d; float4(c, d.zyx) = v.wzyx;"
            " return a.y + b.x * 10 + c * 100 + d.x * 1000; }";
        functions_["nestedSplit"] = "float nestedSplit(float4 v) { float a, b; float2 c;"
                                    " float4(float3(a, float2(b, c.x)), c.y) = v; return a + b * 10 + c.x * 100 + c.y * 1000; }";
        functions_["onParameter"] = "float onParameter(float x) { if (x > 0) return 1; return 2; }";
        // Ways chosen by a parameter: locals of every shape, nested ways, returns among them.
        functions_["lightView"] =
            "float3x3 lightView(float3 d) { float3 up = float3(0, 1, 0); float3 r = cross(up, d);"
            " if (any(r)) r = normalize(r); else { up = float3(0, 0, 1); r = float3(1, 0, 0); }"
            " return float3x3(r, cross(d, r), d); }";
        functions_["ladder"] =
            "int ladder(float x) { float w[2] = {0, 0}; if (x < 0) w[0] = -1; else if (x < 1) { w[1] = 1;"
            " if (x < 0.5) return 10; } else return 30; return (int)(w[0] * 100 + w[1] * 20); }";
        functions_["firstAbove"] =
            "float firstAbove(float x) { for (int i = 0; i < 4; i++) { if (i > x) return i; } return -1; }";
        functions_["afterReturn"] =
            "float afterReturn(float x) { int n = 2; if (x > 0) { n = 5; return 0; } for (int i = 0; i < n; i++)"
            " x += 1; return x; }";
        functions_["rounds"] = "float rounds(float x) { float s = 0; for (int i = 0; i < x; i++) s += 1; return s; }";
        functions_["leaves"] =
            "float leaves(float x) { float s = 0; for (int i = 0; i < 4; i++) { if (x > i) break; s += 1; }"
            " return s; }";
        functions_["byParameter"] =
            "float byParameter(int i) { float4 v = 0; v[i] = 1; v[i] *= 3; return dot(v, float4(1, 10, 100, 1000)); }";
        functions_["choose"] = "float choose(int i) { switch (i) { case 0: return 1; } return 0; }";
        functions_["breakOut"] = "float breakOut() { break; return 1; }";
        functions_["writesConstant"] = "float writesConstant() { PI = 2; return PI; }";
        // Writes across a matrix's rows as effects write them, as the raster suite draws them.
        functions_["acrossRows"] =
            "float4 acrossRows(float3 Scale, float2 w) { float4x4 S = 0; S._11_22_33_44 = float4(Scale, 1);"
            " float3x3 samples = float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);"
            " samples._m00_m10_m20 = lerp(samples._m00_m10_m20, samples._m01_m11_m21, w.x);"
            " S._12_21 += w; S._41_42_43 = Scale; S._m30_m31_m32 *= 2; S. _13_24 = /**/ samples._13_31;"
            " return float4(S._11_22_33_44.w, S[0][1] + S[1][0] * 10, S._41_42_43.y, samples._11_21_31.z)"
            " + S._m02_m13_m30_m31 * 100 + float4(samples._m00_m10_m20, 0) * 1000; }";
        functions_["twiceX"] = "float twiceX() { float4 v = 1; v.xx = 2; return v.x; }";
        functions_["pastTheEnd"] = "float pastTheEnd() { float a[2] = {1, 2}; a[2] = 3; return a[0]; }";
        functions_["noReturn"] = "float noReturn(float x) { if (x > 0) { x = 1; } }";
        // Arrays of arrays: rows written and read, and one sized by its values.
        functions_["rows"] =
            "float rows(int i) { float m[2][3] = { {1, 2, 3}, {4, 5, 6} }; m[1][0] += 10; m[i][2] *= 2;"
            " float n[][2] = {1, 2, 3, 4}; return m[i][2] + m[1][0] + n[1][1]; }";
        // A loop's variable read after it, and a later loop's of the same name read after that.
        functions_["afterLoops"] =
            "float afterLoops() { int n = 0; for (int i = 0; i < 3; i++) n += i; int last = i;"
            " for (float i = 0.5; i < 2; i++) n += 1; return n * 100 + last * 10 + i * 2; }";
    }

    ExpressionName Find(std::string_view name) override
    {
        ExpressionName n;
        if (name == "PI") {
            n.kind = ExpressionName::Kind::Constant;
            n.value = &pi_;
        } else if (name == "W") {
            n.kind = ExpressionName::Kind::Constant;
            n.value = &weights_;
        } else if (name == "Grid") {
            n.kind = ExpressionName::Kind::Constant;
            n.value = &grid_;
            n.sizes = &gridSizes_;
        } else if (name == "U") {
            n.kind = ExpressionName::Kind::Parameter;
            n.parameter = 1;
            n.shape.columns = 4;
        } else if (name == "M") {
            n.kind = ExpressionName::Kind::Parameter;
            n.parameter = 0;
            n.shape.rows = n.shape.columns = 2;
            n.shape.matrix = true;
        } else if (name == "S" && derived_) {
            n.kind = ExpressionName::Kind::Derived;
            n.program = derived_;
        } else if (name == "Mode") {
            n.kind = ExpressionName::Kind::Type;
            n.shape.base = ValueBase::Int;
        } else if (name == "tex") {
            n.kind = ExpressionName::Kind::Refused;
            n.text = "'tex' is a texture: it has no constant value";
        } else if (functions_.count(std::string(name))) {
            n.kind = ExpressionName::Kind::Function;
            n.text = functions_[std::string(name)];
            n.line = 10;
        }
        return n;
    }

    const Expression* derived_ = nullptr;

private:
    ExpressionValue pi_;
    ExpressionValue weights_;
    ExpressionValue grid_; // float[2][3]
    std::vector<uint32_t> gridSizes_ = {2, 3};
    std::map<std::string, std::string> functions_;
};

// Parameter 0 is M (float2x2), 1 is U (float4).
class TestParameters : public gfx::ExpressionParameters {
public:
    const float* Values(uint32_t index, size_t& count) const override
    {
        const std::vector<float>& v = index == 0 ? m : u;
        count = v.size();
        return index < 2 ? v.data() : nullptr;
    }
    std::vector<float> m = {1, 2, 3, 4};
    std::vector<float> u = {0.5f, 0.25f, 2, 8};
};

bool Compile(const std::string& text, TestNames& names, Expression& out, gfx::ExpressionError& error,
             const ValueShape* target = nullptr)
{
    gfx::TokenListReader tokens(gfx::Tokenize(text));
    gfx::ExpressionBudget budget = gfx::ExpressionBudget::ForText(text.size());
    const bool ok = target ? gfx::CompileInitializer(tokens, names, budget, *target, out, error)
                           : gfx::CompileExpression(tokens, names, budget, out, error);
    if (ok && tokens.Peek().kind != gfx::TokenKind::End) {
        error.text = "left over: " + std::string(tokens.Peek().text);
        return false;
    }
    return ok;
}

// The steps that compiling `text` against `budget` spends; `error` says why it failed, if it did.
uint64_t Work(const std::string& text, gfx::ExpressionBudget budget = {}, std::string* error = nullptr)
{
    TestNames names;
    Expression e;
    gfx::ExpressionError failed;
    gfx::TokenListReader tokens(gfx::Tokenize(text));
    const bool ok = gfx::CompileExpression(tokens, names, budget, e, failed);
    if (error)
        *error = failed.text;
    else
        EXPECT_TRUE(ok) << failed.text;
    return budget.work;
}

// The value of `text`, its parameters as `parameters` holds them.
ExpressionValue Value(const std::string& text, const ValueShape* target = nullptr,
                      const TestParameters& parameters = {})
{
    TestNames names;
    Expression e;
    gfx::ExpressionError error;
    EXPECT_TRUE(Compile(text, names, e, error, target)) << text << ": " << error.text;
    ExpressionValue v;
    std::string why;
    EXPECT_TRUE(e.Evaluate(&parameters, v, why)) << text << ": " << why;
    return v;
}

std::string Error(const std::string& text, const ValueShape* target = nullptr)
{
    TestNames names;
    Expression e;
    gfx::ExpressionError error;
    if (Compile(text, names, e, error, target)) {
        gfx::ExpressionBudget budget;
        ExpressionValue v;
        gfx::Token at;
        if (!e.NamesParameters() && !gfx::FoldExpression(e, budget, v, error, at))
            return std::to_string(error.code) + ": " + error.text;
        ADD_FAILURE() << text << " compiled";
        return "";
    }
    return std::to_string(error.line) + "," + std::to_string(error.column) + " X" + std::to_string(error.code) +
           ": " + error.text;
}

// The value of `e` written to bytes and read back, its parameters as TestParameters holds them.
std::vector<double> ReadBack(const Expression& e)
{
    std::vector<uint8_t> bytes;
    e.Write(bytes);
    Expression back;
    size_t offset = 0;
    std::string why;
    ExpressionValue v;
    TestParameters parameters;
    EXPECT_TRUE(Expression::Read(bytes.data(), bytes.size(), offset, back, why) && back.Evaluate(&parameters, v, why))
        << why;
    return v.components;
}

double F(double v) { return static_cast<double>(static_cast<float>(v)); }

struct ValueCase {
    const char* text;
    const char* shape;
    std::vector<double> components;
};

template <size_t N> void ExpectValues(const ValueCase (&cases)[N])
{
    for (const ValueCase& c : cases) {
        const ExpressionValue v = Value(c.text);
        EXPECT_EQ(gfx::ShapeName(v.shape), c.shape) << c.text;
        EXPECT_EQ(v.components, c.components) << c.text;
    }
}

TEST(EffectExpression, ValuesAreThoseOfHlsl)
{
    const ValueCase cases[] = {
        {"1 + 2 * 3", "int", {7}},
        {"(1 + 2) * 3", "int", {9}},
        {"7 / 2", "int", {3}},
        {"-7 / 2", "int", {-3}},
        {"-7 % 3", "int", {-1}},
        {"7.0 / 2", "float", {3.5}},
        {"-7.5 % 2", "float", {-1.5}},
        {"1.0 / 0", "float", {INFINITY}},
        {"-1.0 / 0.0", "float", {-INFINITY}},
        {"PI * 0.5", "float", {F(F(3.14159265) * 0.5)}},
        {"W", "float3", {F(0.2126), F(0.7152), F(0.0722)}},
        {"W.zx", "float2", {F(0.0722), F(0.2126)}},
        {"W.b", "float", {F(0.0722)}},
        {"float4(W, 1).wzyx", "float4", {1, F(0.0722), F(0.7152), F(0.2126)}},
        {"rsqrt(2.0f)", "float", {F(1 / std::sqrt(2.0))}},
        {"sin(1) + log2(8) + pow(2, 10)", "float", {F(F(F(std::sin(1.0)) + 3) + 1024)}},
        {"max(3, 5)", "int", {5}},
        {"max(3, 5.5)", "float", {5.5}},
        {"normalize(float2(3, 4))", "float2", {F(0.6), F(0.8)}},
        {"length(float3(2, 3, 6))", "float", {7}},
        {"dot(float3(1, 2, 3), float3(4, 5, 6))", "float", {32}},
        {"cross(float3(1, 0, 0), float3(0, 1, 0))", "float3", {0, 0, 1}},
        {"(1, 2)", "int", {2}},
        {"true && false || true", "bool", {1}},
        {"1 < 2 == true", "bool", {1}},
        {"3 > 2 ? 10 : 20", "int", {10}},
        {"float2(1, 2) < float2(2, 1)", "bool2", {1, 0}},
        {"0x10 | 3", "int", {19}},
        {"1 << 33", "int", {2}},
        {"-8 >> 1", "int", {-4}},
        {"0xFFFFFFFF", "uint", {4294967295.0}},
        {"2147483647 + 1", "int", {-2147483648.0}},
        {"2147483648 + 1", "uint", {2147483649.0}},
        {"(int)2147483647 + (int)1", "int", {-2147483648.0}},
        {"(-2147483647 - 1) / -1", "int", {-2147483648.0}},
        {"(-2147483647 - 1) % -1", "int", {0}},
        {"(int)3.9", "int", {3}},
        {"(int)-3.9", "int", {-3}},
        {"(int)1e20", "int", {2147483647}},
        {"(uint)-1", "uint", {4294967295.0}},
        {"(float)true + 1", "float", {2}},
        {"(Mode)2.5", "int", {2}},
        {"(int[2])int2(5, 6)", "int[2]", {5, 6}},
        {"!0", "bool", {1}},
        {"~0", "int", {-1}},
        {"-true", "int", {-1}},
        {"1u - 2u", "uint", {4294967295.0}},
        {"float4(1, 2, 3, 4)[2]", "float", {3}},
        {"float2x2(1, 2, 3, 4)[1]", "float2", {3, 4}},
        {"float2x2(1, 2, 3, 4)._m01_m10", "float2", {2, 3}},
        {"float2x2(1, 2, 3, 4)._22", "float", {4}},
        {"mul(float2(1, 1), float2x2(1, 2, 3, 4))", "float2", {4, 6}},
        {"mul(float2x2(1, 2, 3, 4), float2(1, 1))", "float2", {3, 7}},
        {"mul(float2x2(1, 2, 3, 4), float2x2(1, 0, 0, 1))", "float2x2", {1, 2, 3, 4}},
        // Where the sizes differ the larger is cut: the matrix to its first rows, the vector to its first components.
        {"mul(float3(1, 2, 3), float4x4(1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1))", "float4", {1, 2, 3, 0}},
        {"mul(U.xyz, float4x4(1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1))", "float4", {0.5, 0.25, 2, 0}}, // as a pass begins
        {"mul(float3(1, 2, 3), float2x2(1, 2, 3, 4))", "float2", {7, 10}},
        {"mul(float3x3(1,0,0, 0,2,0, 0,0,3), float4(1, 1, 1, 9))", "float3", {1, 2, 3}},
        {"mul(float2x3(1,2,3, 4,5,6), float2x2(1, 0, 0, 1))", "float2x2", {1, 2, 4, 5}},
        {"mul(float3(1, 2, 3), float2(1, 1))", "float", {3}},
        {"transpose(float2x3(1, 2, 3, 4, 5, 6))", "float3x2", {1, 4, 2, 5, 3, 6}},
        {"determinant(float3x3(2, 0, 0, 0, 3, 0, 0, 0, 4))", "float", {24}},
        {"any(float3(0, 0, 1))", "bool", {1}},
        {"all(float3(0, 0, 1))", "bool", {0}},
        {"clamp(5, 0, 3)", "int", {3}},
        {"saturate(float2(-1, 0.5))", "float2", {0, 0.5}},
        {"lerp(0, 10, 0.25)", "float", {2.5}},
        {"smoothstep(0, 1, 0.5)", "float", {0.5}},
        {"frac(-0.25)", "float", {0.75}},
        {"round(2.5)", "float", {2}},
        {"sign(-3.5)", "int", {-1}},
        {"abs(int2(-2, 3))", "int2", {2, 3}},
        {"fmod(-7, 3)", "float", {-1}},
        {"step(1, 2)", "float", {1}},
        {"degrees(PI)", "float", {F(F(3.14159265) * (180.0 / 3.14159265358979323846))}},
        {"asuint(1.0)", "uint", {1065353216.0}},
        {"float4(1, 2, 3, 4) + 1", "float4", {2, 3, 4, 5}},
        {"float4(1, 2, 3, 4) * float2(2, 3)", "float2", {2, 6}},
        {"twice(4)", "float", {8}},
        {"transform()[1][1]", "float", {2}},
        {"scaled(2)", "float", {6}},
        {"scaled(2, 5)", "float", {10}},
        {"mixed(float4(1, 2, 3, 4))", "float", {22}},
        {"vector<int, 2>(1, 2)", "int2", {1, 2}},
        {"U.a", "float", {8}},
        {"U.x * 4 + M[1].y", "float", {6}},
        {"twice(U.z)", "float", {4}},
        {"U[U.y > 0]", "float", {0.25}},
    };
    ExpectValues(cases);
}

// Every intrinsic with a constant meaning, and the shapes its arguments may take.
TEST(EffectExpression, IntrinsicsGiveTheirValuesAtFullFloatPrecision)
{
    const double pi = 3.14159265358979323846;
    const ValueCase cases[] = {
        {"tan(0.5)", "float", {F(std::tan(0.5))}},
        {"asin(0.5) + acos(0.5)", "float", {F(F(std::asin(0.5)) + F(std::acos(0.5)))}},
        {"atan(1)", "float", {F(pi / 4)}},
        {"atan2(1, -1)", "float", {F(3 * pi / 4)}},
        {"sinh(1) - cosh(1) + tanh(1)", "float", {F(F(F(std::sinh(1.0)) - F(std::cosh(1.0))) + F(std::tanh(1.0)))}},
        {"exp(1)", "float", {F(std::exp(1.0))}},
        {"exp2(10) + log10(1000) + log(1)", "float", {1027}},
        {"ceil(float2(1.5, -1.5))", "float2", {2, -1}},
        {"floor(float2(1.5, -1.5))", "float2", {1, -2}},
        {"trunc(float2(1.5, -1.5))", "float2", {1, -1}},
        {"round(float2(1.5, -2.5))", "float2", {2, -2}},
        {"rcp(4)", "float", {0.25}},
        {"ldexp(3, 2)", "float", {12}},
        {"mad(2, 3, 4)", "int", {10}},
        {"isnan(0.0) || isinf(1.0 / 0) && isfinite(1.0)", "bool", {1}},
        {"distance(float2(0, 0), float2(3, 4))", "float", {5}},
        {"reflect(float2(1, -1), float2(0, 1))", "float2", {1, 1}},
        {"refract(float2(0, -1), float2(0, 1), 1)", "float2", {0, -1}},
        {"refract(float2(1, -0.1), normalize(float2(0, 1)), 2)", "float2", {0, 0}},
        {"faceforward(float2(0, 1), float2(0, 1), float2(0, 1))", "float2", {0, -1}},
        {"asint(asfloat(1065353216))", "int", {1065353216}},
        {"asfloat(0x3F800000u)", "float", {1}},
        {"min(int2(1, 5), 3)", "int2", {1, 3}},
        {"max(2u, 3u)", "uint", {3}},
        {"clamp(float3(-1, 0.5, 2), 0, 1)", "float3", {0, 0.5, 1}},
        {"abs(-2147483647 - 1)", "int", {-2147483648.0}},
        {"sign(float2(0, 2))", "int2", {0, 1}},
        {"smoothstep(1, 1, 0.5)", "float", {0}},
        {"any(int2(0, 0)) || all(bool2(true, true))", "bool", {1}},
        {"determinant(float2x2(1, 2, 3, 4))", "float", {-2}},
        {"determinant(float4x4(2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,2))", "float", {16}},
        {"dot(int2(2, 3), int2(4, 5))", "int", {23}},
        {"mul(2, float2(1, 2))", "float2", {2, 4}},
        {"mul(float2(1, 2), float2(3, 4))", "float", {11}},
        {"mul(int2x2(1, 2, 3, 4), int2x2(1, 1, 1, 1))", "int2x2", {3, 3, 7, 7}},
        {"transpose(float2(1, 2))", "float2", {1, 2}},
        {"length(3)", "float", {3}},
    };
    ExpectValues(cases);
}

// How operands of different shapes and bases meet, as HLSL has them meet.
TEST(EffectExpression, OperandsMeetByHlslsRules)
{
    const ValueCase cases[] = {
        {"true + true", "int", {2}},
        {"1u + -1", "uint", {0}},
        {"-1 < 0u", "bool", {0}}, // compared as uint
        {"1 + 0.5h", "float", {1.5}},
        {"float2x2(1, 2, 3, 4) * 2", "float2x2", {2, 4, 6, 8}},
        {"float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9) + float2x2(1, 1, 1, 1)", "float2x2", {2, 3, 5, 6}},
        {"float1x3(1, 2, 3) + float3(1, 1, 1)", "float3", {2, 3, 4}},
        {"bool2(true, false) ? float2(1, 2) : 3", "float2", {1, 3}},
        {"int2(1, 2) == int2(1, 3)", "bool2", {1, 0}},
        {"!float2(0, 2)", "bool2", {1, 0}},
        {"-uint2(1, 0)", "uint2", {4294967295.0, 0}},
        {"~1u", "uint", {4294967294.0}},
        {"7u >> 1", "uint", {3}},
        {"1 << -1", "int", {-2147483648.0}},
        {"5 ^ 3 & 6 | 8", "int", {15}},
        {"1 ? 2 : 3 ? 4 : 5", "int", {2}},
        {"((float4x4)2)[3][3]", "float", {2}},
        {"((float3x3)float4x4(1,2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16))[2]", "float3", {9, 10, 11}},
        {"(float2)float4(1, 2, 3, 4)", "float2", {1, 2}},
        {"(bool3)float3(0, 0.5, -1)", "bool3", {0, 1, 1}},
        {"(uint)3.99", "uint", {3}},
        {"float2(1, 2).yx.y", "float", {1}},
        {"(1).xxx", "int3", {1, 1, 1}},
        // A swizzle on a number: what stands before its '.' is the number.
        {"1.xxx", "int3", {1, 1, 1}},
        {"3.xx / 2", "int2", {1, 1}},
        {"0.0.xxx", "float3", {0, 0, 0}},
        {"0.25.xxxx + 1.f.x", "float4", {1.25, 1.25, 1.25, 1.25}},
        {"-.5.rr", "float2", {-0.5, -0.5}},
        {"W.rgb.b", "float", {F(0.0722)}},
    };
    ExpectValues(cases);
    const std::pair<const char*, const char*> refused[] = {
        {"float2x2(1, 2, 3, 4) + float3(1, 2, 3)", "'float2x2' and 'float3' differ in shape"},
        {"float4(1, 2, 3, 4) + (float[2])0", "an array cannot be an operand"},
        {"~1.5", "'~' takes int or uint, not 'float'"},
        {"float3(1, 2, 3) ? 1 : float4(1, 2, 3, 4)", "the condition of '?:' is 'float3' for values of 'float4'"},
        {"(float4x4)2 [3][3]", "'int' cannot be indexed"}, // a cast binds less than an index,
        {"(float3x3)float2x2(1, 2, 3, 4)", "cannot convert from 'float2x2' to 'float3x3'"},
        {"float2x2(1, 2, 3, 4).x", "invalid subscript 'x' of 'float2x2'"},
        {"float2x2(1, 2, 3, 4)._m22", "invalid subscript '_m22'"},
        {"float2x2(1, 2, 3, 4)._m00_11", "X3018: invalid subscript '_m00_11' of 'float2x2'"},
        {"float2(1, 2).xyzwx", "invalid subscript 'xyzwx'"},
        {"(1)[0]", "'int' cannot be indexed"},
        {"W[float2(0, 1)]", "an index is a scalar"},
        {"transpose((float[2])1)", "'transpose' takes no array"},
        {"determinant(float2x3(1, 2, 3, 4, 5, 6))", "'determinant' takes a square matrix"},
        {"dot(float2(1, 2), float3(1, 2, 3))", "'dot' takes vectors of one size"},
        {"vector<float, 5>(1)", "invalid size: 1 to 4 expected"},
        {"(float[0])1", "array size 0 is out of range"},
        {"(float[1.5])1", "an array size is an integer constant"},
        // Statements a function cannot compute for a constant: a way chosen by a parameter among them.
        {"rounds(U.x)", "X3025: 'rounds' has no constant value: the condition of its 'for' depends on a parameter"},
        {"leaves(U.x)", "'leaves' has no constant value: a way of its 'if' leaves a loop"},
        {"choose(1)", "'choose' has no constant value: its 'switch' is not computed here"},
        {"breakOut()", "'breakOut' has no constant value: its 'break' is outside a loop"},
        {"writesConstant()", "'writesConstant' has no constant value: it writes 'PI', which is not its own"},
        {"twiceX()", "'.xx' writes one component twice"},
        {"pastTheEnd()", "X3504: array index out of bounds: 2 of 0 to 1"},
        {"noReturn(1)", "'noReturn' has no constant value: it returns no value"},
        {"Grid[2][0]", "X3504: array index out of bounds: 2 of 0 to 1"},
        {"Grid[1] + 1", "'Grid' is an array of arrays: a value names one of its elements, an index for each of its 2"},
    };
    for (const auto& [text, expected] : refused)
        EXPECT_NE(Error(text).find(expected), std::string::npos) << text << " gave: " << Error(text);
}

TEST(EffectExpression, InitializersFlattenAndTakeTheirSize)
{
    const ValueShape unsized{.arraySize = gfx::kUnsizedArray};
    ExpressionValue v = Value("{1, 2}", &unsized);
    EXPECT_EQ(gfx::ShapeName(v.shape), "float[2]");

    const ValueShape pairs{.columns = 2, .arraySize = 2};
    v = Value("{1, 2, {3}, float(4)}", &pairs);
    EXPECT_EQ(v.components, (std::vector<double>{1, 2, 3, 4}));
    v = Value("{float2(1, 2), float2(3, 4)}", &pairs);
    EXPECT_EQ(v.components, (std::vector<double>{1, 2, 3, 4}));

    const ValueShape f2{.columns = 2};
    v = Value("(1, 1)", &f2);
    EXPECT_EQ(v.components, (std::vector<double>{1, 1}));
    v = Value("float4(1, 2, 3, 4)", &f2); // cut, as HLSL does
    EXPECT_EQ(v.components, (std::vector<double>{1, 2}));
    const ValueShape i1{.base = ValueBase::Int};
    v = Value("2.75", &i1);
    EXPECT_EQ(v.components, (std::vector<double>{2}));

    EXPECT_NE(Error("{1, 2, 3}", &pairs).find("takes 4 values, 3 given"),
              std::string::npos);
    EXPECT_NE(Error("float2(1, 2)", &unsized).find("braces"), std::string::npos);
    const ValueShape f4{.columns = 4};
    EXPECT_NE(Error("float2(1, 2)", &f4).find("cannot convert from 'float2' to 'float4'"), std::string::npos);
}

TEST(EffectExpression, RefusalsNameWhatAndWhere)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1 / 0", "1,3 X4010: Unsigned integer divide by zero"},
        {"1 % 0", "1,3 X4010: Unsigned integer modulus by zero"},
        {"int2(1, 2) / int2(1, 0)", "X4010"},
        {"0.0 / 0.0", "3025: the value is not a number"},
        {"1.0 % 0", "3025: the value is not a number"},
        {"sqrt(-1) * U.x", "1,1 X3025: the value is not a number: sqrt(-1)"},
        {"Nothing + 1", "1,1 X3004: undeclared identifier 'Nothing'"},
        {"sqrt", "'sqrt' is an intrinsic function"},
        {"pow(2)", "'pow' takes 2 arguments, 1 given"},
        {"tex2D(s, 0)", "only a shader can call it"},
        {"float4", "'float4' is a type"},
        {"tex", "'tex' is a texture"},
        {"W.q", "invalid subscript 'q' of 'float3'"},
        {"W.xr", "invalid subscript 'xr'"},
        {"W[3]", "array index out of bounds"},
        {"float2(1, 2, 3)", "'float2' takes 2 values, 3 given"},
        {"1.5 & 1", "takes int or uint operands"},
        {"loops()", "10,17 X3025: 'loops' has no constant value: its 'for' loop does not end within"},
        {"self(1)", "X3000: calls of 'self' nested too deeply (more than 16)"},
        {"depth(16)", "10,55 X3000: calls of 'depth' nested too deeply (more than 16)"},
        {"twice(1, 2)", "'twice' takes 1 arguments, more given"},
        {"scaled()", "'scaled' takes 2 arguments, 0 given"},
        {"a = 1", "undeclared identifier 'a'"},
        {"W = 1", "an assignment is not a constant expression"},
        {"U++", "'++' is not a constant expression"},
        {"(1", "unexpected end of expression"},
        {"99999999999", "too large"},
        {"1e99", "invalid number"},
        {"float4x4(1)[4]", "array index out of bounds"},
        {"cross(float2(1, 2), float2(3, 4))", "'cross' takes two 3-vectors"},
        {"1.xyzwx", "invalid number '1.xyzwx'"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_NE(Error(text).find(expected), std::string::npos) << text << " gave: " << Error(text);
    // A value that is not a number is refused where it is made, whatever takes it after.
    for (const char* text : {"max(sqrt(-1), 1)", "(bool)sqrt(-1)", "step(sqrt(-1), 1)", "min(sqrt(-1), 1)",
                             "saturate(sqrt(-1) * 0 + 2)", "sign(sqrt(-1))", "(int)(sqrt(-1) * 0 + 1e10)",
                             "any(sqrt(-1) > 0)", "sqrt(-1) < 0 ? 1 : 2", "isnan(sqrt(-1))", "U.x > 0 ? 1 : max(sqrt(-1), 1)"})
        EXPECT_NE(Error(text).find("X3025: the value is not a number: sqrt(-1)"), std::string::npos) << Error(text);
}

TEST(EffectExpression, NestingAndSizesAreBoundedBeforeTheWork)
{
    EXPECT_NE(Error(std::string(300, '(') + "1" + std::string(300, ')')).find("nested too deeply"), std::string::npos);
    std::string negations;
    for (int k = 0; k < 300; ++k)
        negations += "- ";
    EXPECT_NE(Error(negations + "1").find("nested too deeply"), std::string::npos);
    const ValueShape huge{.rows = 4, .columns = 4, .matrix = true, .arraySize = gfx::kUnsizedArray};
    EXPECT_NE(Error("(float4x4[65536])0", &huge).find("X3"), std::string::npos);
    EXPECT_NE(Error("(float[65537])0").find("out of range"), std::string::npos);

    // Calls that double at every level spend the budget, not the memory.
    TestNames names;
    std::string text;
    Expression e;
    gfx::ExpressionError error;
    gfx::TokenListReader tokens(gfx::Tokenize("1"));
    gfx::ExpressionBudget budget{0, 50};
    EXPECT_TRUE(gfx::CompileExpression(tokens, names, budget, e, error));
    gfx::TokenListReader more(gfx::Tokenize("mixed(float4(1,2,3,4)) + mixed(float4(1,2,3,4))"));
    EXPECT_FALSE(gfx::CompileExpression(more, names, budget, e, error));
    EXPECT_NE(error.text.find("too large: more than 50 steps"), std::string::npos) << error.text;
}

TEST(EffectExpression, ParametersAreReadAtEvaluation)
{
    TestNames names;
    Expression e;
    gfx::ExpressionError error;
    ASSERT_TRUE(Compile("U.x * 2 + PI * 0", names, e, error)) << error.text;
    EXPECT_TRUE(e.NamesParameters());
    EXPECT_EQ(e.Parameters(), std::vector<uint32_t>{1});
    TestParameters parameters;
    gfx::ExpressionScratch scratch;
    ExpressionValue v;
    std::string why;
    ASSERT_TRUE(e.Evaluate(&parameters, v, why, &scratch));
    EXPECT_EQ(v.components, std::vector<double>{1});
    parameters.u[0] = 4;
    ASSERT_TRUE(e.Evaluate(&parameters, v, why, &scratch));
    EXPECT_EQ(v.components, std::vector<double>{8});

    // A static that follows a parameter is its program, spliced where named.
    Expression s;
    ASSERT_TRUE(Compile("scaled(U.w, 0.5)", names, s, error)) << error.text;
    names.derived_ = &s;
    ASSERT_TRUE(Compile("S + S", names, e, error)) << error.text;
    ASSERT_TRUE(e.Evaluate(&parameters, v, why, &scratch)) << why;
    EXPECT_EQ(v.components, std::vector<double>{8});

    // An integer division by a zero that only the parameter gives: all bits.
    ASSERT_TRUE(Compile("7 / (int)U.x", names, e, error)) << error.text;
    parameters.u[0] = 0;
    ASSERT_TRUE(e.Evaluate(&parameters, v, why, &scratch));
    EXPECT_EQ(v.components, std::vector<double>{-1});
    parameters.u[0] = NAN;
    ASSERT_TRUE(e.Evaluate(&parameters, v, why, &scratch));

    // Fewer values than the shape, or none, is an error, not a read past them.
    parameters.u.resize(2);
    EXPECT_FALSE(e.Evaluate(&parameters, v, why, &scratch));
    EXPECT_NE(why.find("float4"), std::string::npos) << why;
    EXPECT_FALSE(e.Evaluate(nullptr, v, why));
}

TEST(EffectExpression, ASplicedProgramKeepsItsLocalsApartFromTheCallers)
{
    TestNames names;
    Expression s;
    gfx::ExpressionError error;
    // Its own locals (the calls' parameters) come after the caller's.
    ASSERT_TRUE(Compile("scaled(U.w, twice(U.x))", names, s, error)) << error.text;
    names.derived_ = &s;
    Expression e;
    ASSERT_TRUE(Compile("twice(U.y) + S + scaled(S, U.z)", names, e, error)) << error.text;
    TestParameters parameters;
    ExpressionValue v;
    std::string why;
    ASSERT_TRUE(e.Evaluate(&parameters, v, why)) << why;
    // 0.5 + 8 * (0.5 * 2) + 8 * 2
    EXPECT_EQ(v.components, std::vector<double>{0.5 + 8 + 16});
    EXPECT_EQ(ReadBack(e), std::vector<double>{24.5});
}

// A call that fails in its head, its arguments, its defaults or its body
// leaves the reader as it was: the next expression, with the same names and
// budget, reads its own calls, locals and parameters.
TEST(EffectExpression, AFailedCallIsFollowedByAGoodExpression)
{
    TestNames names;
    gfx::ExpressionBudget budget = gfx::ExpressionBudget::ForText(1000);
    const char* const failing[] = {
        "1 + broken(2)", "scaled(1, broken(U.x))", "badDefault(1)", "badHead(1, 2)", "twice(missing)",
        "mixed(float4(1, 2, 3, 4)) + self(1)", "twice(1, 2)",
    };
    for (const char* text : failing) {
        Expression e;
        gfx::ExpressionError error;
        gfx::TokenListReader tokens(gfx::Tokenize(text));
        EXPECT_FALSE(gfx::CompileExpression(tokens, names, budget, e, error)) << text;
        EXPECT_FALSE(error.text.empty()) << text;
        gfx::TokenListReader good(gfx::Tokenize("scaled(2) + twice(U.x) + scaled(U.y, twice(1))"));
        ASSERT_TRUE(gfx::CompileExpression(good, names, budget, e, error)) << text << ", then: " << error.text;
        EXPECT_EQ(ReadBack(e), std::vector<double>{6 + 1 + 0.5}) << text;
    }
}

// Every conversion of a number to an integer is defined, NaN, infinities
// and numbers past either end among them: a cast, an index, a shift's count.
TEST(EffectExpression, ConversionsToIntegersAreDefinedForEveryNumber)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        const char* text;
        double value;    // U.x
        double expected;
    } cases[] = {
        {"(int)U.x", nan, 0},
        {"(int)U.x", infinity, 2147483647},
        {"(int)U.x", -infinity, -2147483648.0},
        {"(int)U.x", 3e9, 3e9 - 4294967296.0}, // a uint's bits
        {"(int)U.x", 1e20, 2147483647},
        {"(int)U.x", -2.75, -2},
        {"(uint)U.x", nan, 0},
        {"(uint)U.x", -1, 4294967295.0}, // an int's bits
        {"(uint)U.x", -3e9, 0},
        {"(uint)U.x", infinity, 4294967295.0},
        {"float4(1, 2, 3, 4)[U.x]", nan, 1},
        {"float4(1, 2, 3, 4)[U.x]", infinity, 4},
        {"float4(1, 2, 3, 4)[U.x]", -infinity, 1},
        {"float4(1, 2, 3, 4)[U.x]", 2.9, 3},
        {"1 << (int)U.x", infinity, -2147483648.0},
        {"asuint(U.x)", 1, 0x3F800000},
        {"(int)U.x / 0", nan, -1},
        {"(bool)U.x", nan, 1},
    };
    for (const auto& c : cases) {
        TestParameters parameters;
        parameters.u[0] = static_cast<float>(c.value);
        EXPECT_EQ(Value(c.text, nullptr, parameters).components, std::vector<double>{c.expected})
            << c.text << " of " << c.value;
    }
}

// A function called for a constant computes its statements: branches and
// loops whose conditions are known as they are read, elements and components
// written, local arrays with flat lists; a value of parameters flows through
// them. (What they cannot compute is among the refusals above.)
TEST(EffectExpression, FunctionsComputeTheirStatements)
{
    const ValueCase cases[] = {
        {"sum(4)", "float", {10}},
        {"float4(pick(0), pick(1), pick(3), pick(7))", "float4", {10, 20, 30, 60}},
        {"firstOver(10)", "int", {4}},
        {"odds()", "int", {25}},
        {"countdown(3)", "int", {6}},
        {"identity3()", "float3x3", {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"swizzled(float4(1, 2, 3, 4))", "float4", {8, 3, 7, 8}},
        {"swizzled(U)", "float4", {8, 1.25, 7, 16}},
        {"table(1) + table(2) * 100", "float", {14 + 1000}},
        {"total((float[3])float3(1, 2, 3))", "float", {6}},
        {"early(2)", "float", {6}},
        {"bits(0xF0F0u)", "uint", {8}},
        {"depth(15)", "float", {15}}, // sixteen calls deep
        {"twice(float3(3, 4, 5)) + scaled(2, U.xy)", "float", {6 + 2 * 0.5}}, // a vector for a scalar: its first
        {"split(float4(1, 2, 3, 4))", "float", {4 + 60 + 400 + 1000}},
        {"nestedSplit(float4(1, 2, 3, 4))", "float", {4321}},
        {"afterLoops()", "float", {500 + 30 + 5}},
        {"Grid[1][2] * 10 + Grid[0][1]", "float", {62}},
        {"rows(0) + rows(1) * 100", "float", {24 + 3000}},
        {"rows(U.y > 0) + Grid[U.y > 0][U.z]", "float", {30 + 6}},
        {"acrossRows(float3(1, 2, 3), float2(0.5, 4))", "float4", {1801, 5290.5, 7704, 407.5}},
        {"mul(float4x4(1,2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16), float4x3(1,0,0, 0,1,0, 0,0,1, 1,1,1))._m01_m12_m10_m10",
         "float4", {6, 15, 13, 13}},
        {"float3x3(1,2,3,4,5,6,7,8,9). _11_22_33 + float3x3(1,2,3,4,5,6,7,8,9)./**/_m00_m11_m22", "float3", {2, 10, 18}},
        {"float3x3(1,2,3,4,5,6,7,8,9).\n_m01_m12 + float3x3(M, 0, 0, 0, 0, 1)._11_22_33.zy", "float2", {3, 6}},
    };
    ExpectValues(cases);

    // Known values fold whole; a value of parameters leaves a program that
    // reads back from its bytes.
    TestNames names;
    Expression e;
    gfx::ExpressionError error;
    ASSERT_TRUE(Compile("sum(100) + identity3()[1][1]", names, e, error)) << error.text;
    EXPECT_EQ(e.Instructions().size(), 1u);
    ASSERT_TRUE(Compile("swizzled(U) + table(0) + split(U)", names, e, error)) << error.text;
    EXPECT_TRUE(e.NamesParameters());
    const double split = 0.5 + 4 * 10 + 8 * 100 + 0.5 * 1000;
    EXPECT_EQ(ReadBack(e), (std::vector<double>{8 + 6 + split, 1.25 + 6 + split, 7 + 6 + split, 16 + 6 + split}));
}

// An `if` whose condition depends on a parameter takes both ways: every
// local, and the value returned, is what the parameter's value then
// chooses, from the program and from its bytes alike.
TEST(EffectExpression, WaysAParameterChoosesAreBothTaken)
{
    const struct {
        const char* text;
        float x; // U.x
        std::vector<double> expected;
    } cases[] = {
        {"onParameter(U.x)", 0.5f, {1}},
        {"onParameter(U.x)", -1, {2}},
        {"lightView(float3(U.x, 1, 0))", 1, {0, 0, -1, -1, 1, 0, 1, 1, 0}},
        {"lightView(float3(U.x, 1, 0))", 0, {1, 0, 0, 0, 0, -1, 0, 1, 0}},
        {"ladder(U.x)", -1, {-100}},
        {"ladder(U.x)", 0.25f, {10}},
        {"ladder(U.x)", 0.75f, {20}},
        {"ladder(U.x)", 2, {30}},
        {"firstAbove(U.x)", 0.5f, {1}},
        {"firstAbove(U.x)", 2.5f, {3}},
        {"firstAbove(U.x)", 5, {-1}},
        {"afterReturn(U.x)", 1, {0}},
        {"afterReturn(U.x)", -1, {1}},
        {"byParameter((int)U.x)", 2, {300}},
        {"byParameter(U.x)", 0.5f, {3}},
    };
    for (const auto& c : cases) {
        TestNames names;
        Expression e;
        gfx::ExpressionError error;
        ASSERT_TRUE(Compile(c.text, names, e, error)) << c.text << ": " << error.text;
        std::vector<uint8_t> bytes;
        e.Write(bytes);
        Expression back;
        size_t offset = 0;
        std::string why;
        ASSERT_TRUE(Expression::Read(bytes.data(), bytes.size(), offset, back, why)) << c.text << ": " << why;
        TestParameters parameters;
        parameters.u[0] = c.x;
        for (const Expression* program : {&e, &back}) {
            ExpressionValue v;
            ASSERT_TRUE(program->Evaluate(&parameters, v, why)) << c.text << ": " << why;
            EXPECT_EQ(v.components, c.expected) << c.text << " of " << c.x;
        }
    }
}

// A loop's rounds spend the budget: ten times the rounds, about ten times
// the steps, and a loop that does not end is refused within the budget.
TEST(EffectExpression, ALoopsRoundsSpendTheBudget)
{
    const uint64_t hundred = Work("sum(100)");
    const uint64_t thousand = Work("sum(1000)");
    EXPECT_GT(thousand, hundred * 9);
    EXPECT_LT(thousand, hundred * 11);

    std::string error;
    EXPECT_LT(Work("sum(100000000)", {0, 100000}, &error), 100100u);
    EXPECT_NE(error.find("more than 100000 steps"), std::string::npos) << error;
}

// Steps, not time: four times the text costs at most four and a half times
// the work, and a call costs its body once for each call, not more.
TEST(EffectExpression, WorkGrowsWithTheText)
{
    auto work = [](int n) {
        std::string text = "0";
        for (int i = 0; i < n; ++i)
            text += " + mixed(float4(1, 2, 3, " + std::to_string(i) + ")) * sin(PI) + W.x";
        return Work(text);
    };
    const uint64_t one = work(100);
    const uint64_t four = work(400);
    EXPECT_LE(four * 2, one * 9) << one << " then " << four;
}

// Folding spends a step for each component it makes, not only for each
// instruction: a program of few instructions and a large value costs its size.
TEST(EffectExpression, FoldingSpendsTheComponentsItMakes)
{
    TestNames names;
    Expression e;
    gfx::ExpressionError error;
    ASSERT_TRUE(Compile("(float4x4[1000])U.x", names, e, error)) << error.text;
    EXPECT_LT(e.Instructions().size(), 4u);
    EXPECT_GE(e.Work(), 16000u);
    gfx::ExpressionBudget budget{0, 20000};
    ExpressionValue v;
    gfx::Token at;
    Expression folded;
    ASSERT_TRUE(Compile("(float4x4[1000])PI", names, folded, error)) << error.text;
    ASSERT_TRUE(gfx::FoldExpression(folded, budget, v, error, at)) << error.text;
    EXPECT_GE(budget.work, 16000u);
    EXPECT_FALSE(gfx::FoldExpression(folded, budget, v, error, at));
    EXPECT_NE(error.text.find("more than 20000 steps"), std::string::npos) << error.text;
}

// The effect's budget grows with the bytes of the tokens of its files as
// read, included ones among them: not with their comments and blanks, the
// text a false condition skips, nor the text its macros make; and no further
// than the most any text buys. A loop the budget refuses, or a pass's state whose
// program the compiled file would keep, is refused with the budget its tokens
// give however much a comment pads it; tokens of its own are what buy work.
TEST(EffectExpression, TheBudgetGrowsWithTheTokensOfTheFilesAlone)
{
    const std::string programs[] = {
        "float f() { float x = 0; for (int i = 0; i < 50000; i++) x += 1; return x; }\n"
        "static const float k = f();\n",
        "float k;\nfloat f() { float x = 0; for (int i = 0; i < 50000; i++) x += k; return x; }\n"
        "technique t { pass p { FogDensity = f(); } }\n",
    };
    const std::string dashes(1 << 16, '-'); // were they counted, 4 million steps more
    std::string lines, declarations;
    for (int i = 0; i < 4096; ++i) {
        lines += "--------------------------------\n";
        declarations += "float a" + std::to_string(10000 + i) + ";\n"; // 5 + 6 + 1 bytes of tokens
    }
    // 24 bytes of tokens, then 20 a line, then 63, and 120 KB made.
    const std::string macros = "#define P0 1+1+1+1+1+1+1+1\n#define P1 P0+P0+P0+P0\n#define P2 P1+P1+P1+P1\n"
                               "#define P3 P2+P2+P2+P2\n#define P4 P3+P3+P3+P3\n#define P5 P4+P4+P4+P4\n"
                               "#define P6 P5+P5+P5+P5\n"
                               "float pad() { return P6+P6+P6+P6+P6+P6+P6+P6+P6+P6+P6+P6+P6+P6+P6; }\n";
    const std::string include = "#include \"pad.fxh\"\n"; // 17 bytes of tokens
    const struct {
        const char* what;
        std::string before;   // in the effect's file, before the program
        std::string included; // what the file it includes holds, when it includes one
        uint64_t bought;      // the bytes of tokens the padding adds
    } cases[] = {
        {"the bare program", "", "", 0},
        {"a line comment", "// " + dashes + "\n", "", 0},
        {"a block comment over lines", "/*\n" + lines + "*/\n", "", 0},
        {"blanks and line ends", std::string(1 << 16, ' ') + std::string(1 << 12, '\n'), "", 0},
        {"a comment a directive's line opens", "#define E /*\n" + lines + "*/\n", "", 8},
        {"macros that make much text", macros, "", 24 + 6 * 20 + 63},
        {"an included file of comments", include, "/* " + dashes + " */\n// " + dashes + "\n", 17},
        {"an included file of declarations", include, declarations, 17 + 4096 * 12},
        {"declarations a false condition skips", "#if 0\n" + declarations + "#endif\n", "", 4},
        {"a long string", "string s = \"" + dashes + "\";\n", "", 6 + 1 + 1 + 16 + 1},
        {"a long name", "float " + std::string(1 << 16, 'n') + ";\n", "", 5 + 16 + 1},
    };
    for (const std::string& program : programs) {
        uint64_t tokens = 0; // as the tokenizer reads them
        for (const gfx::Token& t : gfx::Tokenize(program))
            tokens += std::min(t.text.size(), gfx::kMostBytesOfAToken);
        for (const auto& c : cases) {
            const gfx::EffectFileReader reader = [&](const std::string&, size_t, std::string& contents) {
                contents = c.included;
                return std::string();
            };
            gfx::EffectDescription d;
            std::string messages;
            const bool compiled = gfx::CompileEffectSource(c.before + program, "pad.fx", {}, reader, d, messages);
            const std::string refusal = "more than " +
                                        std::to_string(gfx::ExpressionBudget::ForText(tokens + c.bought).limit) +
                                        " steps of work for this effect";
            // Only tokens enough to cover the work are taken; each bound refuses with the budget its tokens give.
            EXPECT_EQ(compiled, c.bought > 4096 * 12) << c.what << ": " << messages;
            EXPECT_TRUE(compiled || messages.find(refusal) != std::string::npos) << c.what << ": " << messages;
        }
    }
    // Values the budget covers are taken: a large value in a small effect.
    gfx::EffectDescription d;
    std::string messages;
    EXPECT_TRUE(gfx::CompileEffectSource("float x < float4x4 a[16384] = (float4x4[16384])1; >;\n", "one.fx", {}, {}, d,
                                         messages))
        << messages;
    // No text buys more than the most: eight values of a million numbers,
    // past 16.7 million steps, beside declarations that would buy 31 million.
    std::string many = "static const float c = 0";
    for (int i = 0; i < 8; ++i)
        many += " + ((float4x4[65536])1)[0][0][0]";
    many += ";\n";
    for (int i = 0; i < 40000; ++i)
        many += "float a" + std::to_string(100000 + i) + ";\n";
    EXPECT_FALSE(gfx::CompileEffectSource(many, "many.fx", {}, {}, d, messages));
    EXPECT_NE(messages.find("more than " + std::to_string(gfx::ExpressionBudget::kMostWork) + " steps"),
              std::string::npos)
        << messages;
}

TEST(EffectExpression, BytesReadBackAndDamageIsRefused)
{
    TestNames names;
    Expression e;
    gfx::ExpressionError error;
    ASSERT_TRUE(Compile("twice(U.x) + float4(1, 2, 3, 4)[(int)M[0].y] + (U.y > 0 ? 1 : 2)", names, e, error))
        << error.text;
    std::vector<uint8_t> bytes;
    e.Write(bytes);
    Expression back;
    std::string why;
    size_t offset = 0;
    ASSERT_TRUE(Expression::Read(bytes.data(), bytes.size(), offset, back, why)) << why;
    EXPECT_EQ(offset, bytes.size());
    EXPECT_TRUE(back == e);
    TestParameters parameters;
    ExpressionValue a, b;
    ASSERT_TRUE(e.Evaluate(&parameters, a, why));
    ASSERT_TRUE(back.Evaluate(&parameters, b, why));
    EXPECT_EQ(a, b);

    // The count of constants is held to the bytes left, each a shape and a
    // component at least, before the table is made.
    const size_t most = (bytes.size() - 4) / 8;
    for (const size_t count : {most, most + 1}) {
        std::vector<uint8_t> claimed(bytes.size(), 0);
        platform::ByteWriter(claimed).U32(static_cast<uint32_t>(count));
        offset = 0;
        EXPECT_FALSE(Expression::Read(claimed.data(), claimed.size(), offset, back, why));
        EXPECT_EQ(why == "damaged expression: more constants than bytes", count > most) << count;
    }

    // Every cut and every byte changed is read safely: refused, or a sound program.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        offset = 0;
        EXPECT_FALSE(Expression::Read(bytes.data(), cut, offset, back, why)) << cut;
    }
    for (size_t at = 0; at < bytes.size(); ++at)
        for (uint8_t change : {uint8_t(1), uint8_t(0x80), uint8_t(0xFF)}) {
            std::vector<uint8_t> damaged = bytes;
            damaged[at] ^= change;
            offset = 0;
            if (Expression::Read(damaged.data(), damaged.size(), offset, back, why))
                back.Evaluate(&parameters, b, why);
        }
}

} // namespace
