#include "render/resources/quad.h"

#include <cstring>
#include <iostream>

#include "kernel/error_stream.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/device/vertex_layout.h"
#include "render/resources/mesh.h"

namespace {
// The most divisions whose vertex and index counts fit 32 bits.
constexpr uint32_t kMaxQuadDivisions = 26000;
} // namespace

bool CreateQuadOfSize(MeshResource& mesh, float width, float height, uint32_t divisions, uint8_t halfPixel)
{
    return mesh.CreateQuad(width, height, divisions, halfPixel);
}

bool MeshResource::CreateQuad(float width, float height, uint32_t divisions, uint8_t halfPixel)
{
    if (divisions == 0 || divisions > kMaxQuadDivisions) {
        errorTwoLines = false;
        GetErrorStream() << "Quad of " << divisions << " divisions refused.\n";
        return false;
    }
    CreateUnique();
    MeshData* data = GetPayload();
    if (!data)
        return false;
    UseDefaultDeclaration();
    const uint32_t d = divisions;
    const uint32_t vertexCount = (d + 1) * (d + 1);
    CreateMeshVertexBuffer(vertexCount);
    LockVertexBuffer(0);
    const float h = halfPixel ? 1.0f : 0.0f;
    const float x0 = -width / 2 - h / 2, x1 = width / 2 - h / 2;
    const float y0 = -height / 2 + h / 2, y1 = height / 2 + h / 2;

    AllocSubsets(1);
    MeshSubset& subset = data->currentSubsets->items[0];
    IndexBufferData* indices = subset.GetPayload();
    bool wide = false;
    lockedIndices16 = nullptr;
    lockedIndices32 = nullptr;
    if (indices) {
        wide = indices->AllocIndexBuffer(6 * d * d, vertexCount, gfx::kUsageWriteOnly);
        subset.lockPointer = indices->LockIndexBuffer(0);
        if (wide)
            lockedIndices32 = static_cast<uint32_t*>(subset.lockPointer);
        else
            lockedIndices16 = static_cast<uint16_t*>(subset.lockPointer);
    }
    FillVertexStreams(0, 0, wide, d, x0, x1, y0, y1, 0.0f, 0.0f, 0);
    for (uint32_t v = 0; v < vertexCount; ++v)
        WriteVertexElement(v, gfx::kDeclUsageNormal, {0.0f, 0.0f, -1.0f});
    UnlockVertexBuffer();
    if (indices) {
        indices->UnlockIndexBuffer();
        indices->subsetScalar = width >= height ? width : height;
        indices->subsetValues = float4{0.0f, 0.0f, 0.0f, 1.0f};
    }
    lockedIndices16 = nullptr;
    lockedIndices32 = nullptr;
    SetState(resource_state::kLoaded);
    std::cout << "Quad created.\n";
    return true;
}

void MeshResource::FillVertexStreams(uint32_t firstVertex, uint32_t firstIndex, bool wide, uint32_t d, float x0,
                                     float x1, float y0, float y1, float z0, float z1, uint8_t flip)
{
    if (d == 0)
        return;
    for (uint32_t r = 0; r <= d; ++r) {
        for (uint32_t c = 0; c <= d; ++c) {
            const uint32_t v = firstVertex + r * (d + 1) + c;
            const float s = static_cast<float>(c) / static_cast<float>(d);
            const float t = static_cast<float>(r) / static_cast<float>(d);
            const float z = x0 == x1 ? z0 + (z1 - z0) * s : z0 + (z1 - z0) * t;
            WriteVertexElement(v, gfx::kDeclUsagePosition, {x0 + (x1 - x0) * s, y0 + (y1 - y0) * t, z});
            WriteVertexElement(v, gfx::kDeclUsageTexcoord, {s, 1.0f - t});
            WriteVertexElement(v, gfx::kDeclUsageNormal, {0.0f, 0.0f, 1.0f});
        }
    }
    for (uint32_t r = 0; r < d; ++r) {
        for (uint32_t c = 0; c < d; ++c) {
            const uint32_t a = firstVertex + r * (d + 1) + c, b = a + 1, e = a + (d + 1), f = e + 1;
            const size_t at = size_t(firstIndex) + 6 * (size_t(r) * d + c);
            if (wide) {
                if (!lockedIndices32)
                    continue;
                const uint32_t cell[6] = {flip ? a : e, b, flip ? e : a, flip ? b : e, f, flip ? e : b};
                std::memcpy(lockedIndices32 + at, cell, sizeof(cell));
            } else {
                if (!lockedIndices16)
                    continue;
                const uint32_t cell[6] = {flip ? e : f, a, flip ? f : e, flip ? a : f, b, flip ? f : a};
                for (int i = 0; i < 6; ++i)
                    lockedIndices16[at + i] = static_cast<uint16_t>(cell[i]);
            }
        }
    }
}
