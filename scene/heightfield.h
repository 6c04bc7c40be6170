#pragma once
// Heightfield: a terrain height grid, row after row along z (sample (c, r) is
// number r x width + c), of 8-bit samples (value / 255) or 32-bit floats, over
// the box from minCorner to maxCorner. A sample 0 lies at minCorner.y, a sample
// 1 at maxCorner.y. Scripts sample the one current field through
// "float GetHeightfieldHeight(float,float)".
#include <cstdint>

#include "kernel/math/float3.h"

struct HeightfieldDescription {
    uint32_t sampleCount = 0;
};

struct Heightfield {
    const HeightfieldDescription* description = nullptr;
    uint32_t dataSize = 0;         // bytes of sample data
    const uint8_t* data = nullptr; // row after row; float samples need no alignment
    float3 extent;                 // size along x, y, z
    float3 minCorner;
    float3 maxCorner;
    uint32_t width = 0;            // samples along x
    uint32_t depth = 0;            // samples along z
};

// The height at world (x, z): each grid cell is split along its diagonal from
// (ix, iz) to (ix + 1, iz + 1) and interpolated over the triangle holding the
// point. Points outside the field, in its first row or column of cells, or on
// a field whose samples are missing or too few for its size give minCorner.y.
float HeightfieldHeight(const Heightfield& field, float x, float z);

// The current field, or null (then every height is 0).
Heightfield* GetHeightfield();
void SetHeightfield(Heightfield* field);

// HeightfieldHeight on the current field; 0 when there is none.
float GetHeightfieldHeight(float x, float z);
