#pragma once
// The one reading of a matrix's member name as the elements it picks, for
// the evaluator of constant expressions and for the shaders alike: `_22`
// and `_11_22_33` count rows and columns from 1, `_m11` and `_m00_m11_m22`
// from 0. One name keeps to one form: `_m00_11` is refused by the
// platform's compiler, and so here.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

struct MatrixElement {
    uint8_t row = 0;
    uint8_t column = 0;
    bool operator==(const MatrixElement&) const = default;
};

struct MatrixSwizzle {
    std::vector<MatrixElement> elements; // in the order named; empty for a name that is no such swizzle
    bool mixed = false;                  // it would be one but that it mixes the two forms (elements left empty)
};

// The elements `name` picks, each of rows and columns 0 to 3 (whether the
// matrix has them is the caller's to check); however many it names.
MatrixSwizzle ReadMatrixSwizzle(std::string_view name);

// The platform compiler's words for a member name a value of type `type` does not have.
inline constexpr int kInvalidSubscriptCode = 3018;
std::string InvalidSubscriptText(std::string_view name, std::string_view type);

} // namespace gfx
