#include "scene/matrix_array.h"

#include <cstdint>
#include <new>

#include "platform/os/aligned_memory.h"

MatrixArray::~MatrixArray()
{
    platform::os::AlignedFree(matrices);
}

void AllocMatrixArray(MatrixArray& array, uint32_t count)
{
    platform::os::AlignedFree(array.matrices);
    array.matrices = nullptr;
    array.count = count;
    // A size that does not fit the address space is memory that cannot be had.
    if (static_cast<uint64_t>(count) > SIZE_MAX / sizeof(float4x4))
        return;
    void* block = platform::os::AlignedAlloc(static_cast<size_t>(count) * sizeof(float4x4), alignof(float4x4));
    if (!block)
        return;
    array.matrices = static_cast<float4x4*>(block);
    for (uint32_t i = 0; i < count; ++i)
        (new (array.matrices + i) float4x4)->SetIdentity();
}
