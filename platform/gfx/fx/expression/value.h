#pragma once
// The values of an effect's constant expressions and their shapes: bool, int,
// uint and float (half and double are float), of scalar, vector or matrix
// shape, or arrays of those. Also what the evaluator's parts share about
// them: how a number becomes a value of each base (defined for every double,
// NaN and infinities included), how two shapes meet in an operation, and how a
// shape travels in one word of a program.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

enum class ValueBase : uint8_t { Bool, Int, Uint, Float };

struct ValueShape {
    ValueBase base = ValueBase::Float;
    uint8_t rows = 1;      // 1 for scalars and vectors
    uint8_t columns = 1;   // vector size, or matrix columns
    bool matrix = false;   // float1x4 is a matrix, float4 a vector
    uint32_t arraySize = 0; // 0: not an array

    uint32_t ElementComponents() const { return uint32_t(rows) * columns; }
    uint32_t Elements() const { return arraySize == 0 ? 1u : arraySize; }
    uint64_t Components() const { return uint64_t(ElementComponents()) * Elements(); }
    bool IsScalar() const { return arraySize == 0 && !matrix && columns == 1; }
    bool IsVector() const { return arraySize == 0 && !matrix && rows == 1; }
    bool operator==(const ValueShape&) const = default;
};
// The HLSL spelling of a shape: "float", "int3", "float4x4", "float[2]".
std::string ShapeName(const ValueShape& shape);
// The shape a built-in type name spells ("float", "uint3", "half4x4", "bool",
// "dword", "vector", "matrix"), or false.
bool BuiltInShape(std::string_view name, ValueShape& shape);

// Bounds of one value and of the programs an effect may make. The largest
// value a shape allows, an array of the most elements of float4x4, is the
// unit of the bounds on what a program holds at once.
inline constexpr uint32_t kMaxExpressionArraySize = 65536;
inline constexpr uint64_t kMaxExpressionComponents = uint64_t{kMaxExpressionArraySize} * 16;
inline constexpr int kMaxExpressionNesting = 200;
inline constexpr int kMaxExpressionCallDepth = 16;

// A value: its components in order (an array's elements one after another,
// a matrix row by row), each exactly a value of the shape's base type.
struct ExpressionValue {
    ValueShape shape;
    std::vector<double> components;

    // As the effect's parameter table keeps values: floats, bools as 0 and 1.
    std::vector<float> Floats() const;
    bool operator==(const ExpressionValue&) const = default;
};

// A number as messages give it: "-0.5", "4", "1e+20", "infinity", "NaN".
std::string NumberText(double v);

// The element that value `v` chooses of `count`, truncated toward zero as
// HLSL converts a float to an integer: false for NaN, for a negative value
// and for one past the last element, never a conversion out of range.
bool ElementIndex(double v, uint64_t count, uint64_t& index);

namespace expr {

// Shapes travel in one word: base, rows, columns, matrix, array size.
uint32_t PackShape(const ValueShape& s);
// False for a word that is no shape within the bounds.
bool UnpackShape(uint32_t packed, ValueShape& s);

// A value of `base` from any number: what HLSL's conversions give, with no
// undefined behaviour for NaN or for numbers out of range.
double ToBase(double v, ValueBase base);
int32_t AsInt(double v);
uint32_t AsUint(double v);

// The base two operands meet in: float over uint over int; bool counts as int.
ValueBase CommonBase(ValueBase a, ValueBase b);

// What indexing a value of `shape` reads, and how many of it there are: an
// array's element, a matrix's row, a vector's component; false for a scalar.
bool IndexedElement(const ValueShape& shape, ValueShape& element, uint32_t& count);

// Whether a shape reads as a vector: not a matrix, or a matrix of one row or column.
bool VectorLike(const ValueShape& s);
inline uint32_t VectorSize(const ValueShape& s) { return s.ElementComponents(); }

// The shape of a component-by-component result of operands `a` and `b`, with
// HLSL's truncation of the larger; false, with `why`, when they do not meet.
bool MeetShapes(const ValueShape& a, const ValueShape& b, ValueShape& out, std::string& why);

// Where component (row, column) of a result comes from in an operand of
// `shape`: a scalar stands for all, a vector is read by column (and a one-row
// or one-column matrix like one), a matrix by row and column.
inline uint32_t Source(const ValueShape& shape, uint32_t row, uint32_t column)
{
    if (shape.ElementComponents() == 1)
        return 0;
    if (!shape.matrix || shape.rows == 1)
        return column;
    if (shape.columns == 1) // a one-column matrix: by row, or by column as a vector
        return row + column;
    return row * shape.columns + column;
}

// Component k (row by row) of `out` as row and column.
inline void RowColumn(const ValueShape& out, uint32_t k, uint32_t& row, uint32_t& column)
{
    row = k / out.columns;
    column = k % out.columns;
}

} // namespace expr
} // namespace gfx
