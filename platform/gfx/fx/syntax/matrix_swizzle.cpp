#include "platform/gfx/fx/syntax/matrix_swizzle.h"

namespace gfx {

MatrixSwizzle ReadMatrixSwizzle(std::string_view name)
{
    MatrixSwizzle read;
    if (name.size() < 3 || name[0] != '_')
        return read;
    const bool zeroBased = name[1] == 'm';
    bool mixed = false;
    for (size_t at = 0; at < name.size();) {
        if (name[at] != '_')
            return {};
        const bool zero = at + 1 < name.size() && name[at + 1] == 'm';
        mixed = mixed || zero != zeroBased;
        const size_t digits = at + (zero ? 2 : 1);
        if (digits + 2 > name.size())
            return {};
        const int base = zero ? '0' : '1';
        const int row = name[digits] - base, column = name[digits + 1] - base;
        if (row < 0 || row > 3 || column < 0 || column > 3)
            return {};
        read.elements.push_back({uint8_t(row), uint8_t(column)});
        at = digits + 2;
    }
    if (mixed) {
        read.elements.clear();
        read.mixed = true;
    }
    return read;
}

std::string InvalidSubscriptText(std::string_view name, std::string_view type)
{
    return "invalid subscript '" + std::string(name) + "' of '" + std::string(type) + "'";
}

} // namespace gfx
