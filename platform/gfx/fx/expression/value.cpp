#include "platform/gfx/fx/expression/value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace gfx {

std::string ShapeName(const ValueShape& shape)
{
    static const char* const kBase[] = {"bool", "int", "uint", "float"};
    std::string name = kBase[static_cast<int>(shape.base)];
    if (shape.matrix)
        name += std::to_string(shape.rows) + "x" + std::to_string(shape.columns);
    else if (shape.columns > 1)
        name += std::to_string(shape.columns);
    if (shape.arraySize != 0)
        name += "[" + std::to_string(shape.arraySize) + "]";
    return name;
}

bool BuiltInShape(std::string_view name, ValueShape& shape)
{
    shape = ValueShape();
    if (name == "vector") {
        shape.columns = 4;
        return true;
    }
    if (name == "matrix") {
        shape.rows = shape.columns = 4;
        shape.matrix = true;
        return true;
    }
    static const std::pair<std::string_view, ValueBase> kScalars[] = {
        {"bool", ValueBase::Bool},  {"int", ValueBase::Int},     {"uint", ValueBase::Uint},
        {"dword", ValueBase::Uint}, {"half", ValueBase::Float},  {"float", ValueBase::Float},
        {"double", ValueBase::Float}, {"min16float", ValueBase::Float}, {"min10float", ValueBase::Float},
        {"min16int", ValueBase::Int}, {"min12int", ValueBase::Int}, {"min16uint", ValueBase::Uint},
    };
    auto dim = [](char c) { return c >= '1' && c <= '4'; };
    for (const auto& [base, type] : kScalars) {
        if (name.substr(0, base.size()) != base)
            continue;
        const std::string_view suffix = name.substr(base.size());
        if (suffix.empty()) {
        } else if (suffix.size() == 1 && dim(suffix[0]) && base != "dword") {
            shape.columns = static_cast<uint8_t>(suffix[0] - '0');
        } else if (suffix.size() == 3 && dim(suffix[0]) && suffix[1] == 'x' && dim(suffix[2]) && base != "dword") {
            shape.rows = static_cast<uint8_t>(suffix[0] - '0');
            shape.columns = static_cast<uint8_t>(suffix[2] - '0');
            shape.matrix = true;
        } else {
            continue;
        }
        shape.base = type;
        return true;
    }
    return false;
}

std::vector<float> ExpressionValue::Floats() const
{
    std::vector<float> out(components.size());
    for (size_t k = 0; k < components.size(); ++k)
        out[k] = static_cast<float>(components[k]);
    return out;
}

std::string NumberText(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "infinity" : "-infinity";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

bool ElementIndex(double v, uint64_t count, uint64_t& index)
{
    if (!(v >= 0))
        return false;
    const double whole = std::trunc(v);
    if (!(whole < double(count)))
        return false;
    index = static_cast<uint64_t>(whole);
    return true;
}

namespace expr {

bool IndexedElement(const ValueShape& shape, ValueShape& element, uint32_t& count)
{
    element = shape;
    if (shape.arraySize != 0) {
        count = shape.arraySize;
        element.arraySize = 0;
    } else if (shape.matrix) {
        count = shape.rows;
        element.matrix = false;
        element.rows = 1;
    } else if (shape.columns > 1) {
        count = shape.columns;
        element.columns = 1;
    } else {
        return false;
    }
    return true;
}

uint32_t PackShape(const ValueShape& s)
{
    return static_cast<uint32_t>(s.base) | uint32_t(s.rows - 1) << 2 | uint32_t(s.columns - 1) << 4 |
           uint32_t(s.matrix) << 6 | s.arraySize << 7;
}

bool UnpackShape(uint32_t packed, ValueShape& s)
{
    s.base = static_cast<ValueBase>(packed & 3);
    s.rows = static_cast<uint8_t>((packed >> 2 & 3) + 1);
    s.columns = static_cast<uint8_t>((packed >> 4 & 3) + 1);
    s.matrix = (packed >> 6 & 1) != 0;
    s.arraySize = packed >> 7;
    return s.arraySize <= kMaxExpressionArraySize && (s.matrix || s.rows == 1);
}

// A value of `base` from any number: what HLSL's conversions give, with no

double ToBase(double v, ValueBase base)
{
    switch (base) {
    case ValueBase::Bool:
        return v != 0 ? 1.0 : 0.0;
    case ValueBase::Int:
        if (std::isnan(v))
            return 0;
        v = std::trunc(v);
        if (v >= 2147483648.0 && v <= 4294967295.0)
            return v - 4294967296.0; // a uint's bits read as an int
        return std::clamp(v, -2147483648.0, 2147483647.0);
    case ValueBase::Uint:
        if (std::isnan(v))
            return 0;
        v = std::trunc(v);
        if (v < 0 && v >= -2147483648.0)
            return v + 4294967296.0; // an int's bits read as a uint
        return std::clamp(v, 0.0, 4294967295.0);
    case ValueBase::Float:
        return static_cast<double>(static_cast<float>(v));
    }
    return 0;
}

int32_t AsInt(double v) { return static_cast<int32_t>(static_cast<int64_t>(ToBase(v, ValueBase::Int))); }
uint32_t AsUint(double v) { return static_cast<uint32_t>(static_cast<int64_t>(ToBase(v, ValueBase::Uint))); }

// The base two operands meet in: float over uint over int; bool counts as int.
ValueBase CommonBase(ValueBase a, ValueBase b)
{
    if (a == ValueBase::Float || b == ValueBase::Float)
        return ValueBase::Float;
    if (a == ValueBase::Uint || b == ValueBase::Uint)
        return ValueBase::Uint;
    return ValueBase::Int;
}

bool VectorLike(const ValueShape& s) { return !s.matrix || s.rows == 1 || s.columns == 1; }

bool MeetShapes(const ValueShape& a, const ValueShape& b, ValueShape& out, std::string& why)
{
    if (a.arraySize != 0 || b.arraySize != 0) {
        why = "an array cannot be an operand";
        return false;
    }
    out = ValueShape();
    if (a.ElementComponents() == 1 && !(b.ElementComponents() == 1 && a.matrix)) {
        out = b;
        return true;
    }
    if (b.ElementComponents() == 1) {
        out = a;
        return true;
    }
    if (a.matrix && b.matrix && !(a.rows == 1 || a.columns == 1) && !(b.rows == 1 || b.columns == 1)) {
        out.matrix = true;
        out.rows = std::min(a.rows, b.rows);
        out.columns = std::min(a.columns, b.columns);
        return true;
    }
    if (a.matrix && b.matrix && a.rows == b.rows && a.columns == b.columns) {
        out = a;
        return true;
    }
    if (VectorLike(a) && VectorLike(b)) {
        if (a.matrix != b.matrix && VectorSize(a) != VectorSize(b)) {
            why = "'" + ShapeName(a) + "' and '" + ShapeName(b) + "' differ in shape";
            return false;
        }
        out.columns = static_cast<uint8_t>(std::min(VectorSize(a), VectorSize(b)));
        return true;
    }
    why = "'" + ShapeName(a) + "' and '" + ShapeName(b) + "' differ in shape";
    return false;
}


} // namespace expr
} // namespace gfx
