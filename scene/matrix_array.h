#pragma once
// MatrixArray: count 4x4 matrices in one 16-byte aligned block, each set to
// identity when allocated. AllocMatrixArray fills the record; when the memory
// cannot be had the pointer stays null (the count is kept). The record owns
// its block and frees it when it goes.
#include <cstdint>

#include "kernel/math/float4x4.h"

struct MatrixArray {
    MatrixArray() = default;
    ~MatrixArray();
    MatrixArray(const MatrixArray&) = delete;
    MatrixArray& operator=(const MatrixArray&) = delete;

    uint32_t count = 0;
    float4x4* matrices = nullptr;
};

// Frees what `array` held, then gives it `count` identity matrices.
void AllocMatrixArray(MatrixArray& array, uint32_t count);
