#pragma once
// What a shader target passes at the boundaries of its stage. Every vertex
// shader reads up to 16 inputs, each of a declaration usage with an index up
// to 15. Before shader model 3 a vertex stage writes fixed registers
// (position, point size, fog, two colours, eight texture coordinates) and a
// pixel stage reads the colours and texture coordinates it has; from shader
// model 3 on both stages take any usage and index, as many as there are
// places between the stages (the demonstration's own effects pass more than
// the platform's twelve output registers). A matrix takes one register per
// row, at consecutive indices.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gfx/fx/hlsl/shader_semantics.h"

namespace gfx {

inline constexpr uint32_t kVertexInputRegisters = 16;
inline constexpr uint32_t kMaxUsageIndex = 15;

// The values a target passes to or from the other stage, besides the
// position, the point size and the pixel stage's VPOS and VFACE.
struct StageRegisters {
    bool general = false;   // any declaration usage and index
    uint32_t texcoords = 0; // else TEXCOORD0 to texcoords - 1,
    uint32_t colours = 0;   // COLOR0 to colours - 1,
    bool fog = false;       // and FOG

    bool Takes(const Semantic& semantic) const;
    // What it takes, for messages: "COLOR0-1, TEXCOORD0-7 and FOG".
    std::string Describe() const;
};

// What a vertex shader of `target` writes for the pixel stage.
StageRegisters VertexOutputRegisters(std::string_view target);
// What a pixel shader of `target` reads from the vertex stage.
StageRegisters PixelInputRegisters(std::string_view target);

// True when `semantic` is a declaration usage with an index up to kMaxUsageIndex,
// what a vertex declaration element can carry.
bool IsDeclarationSemantic(const Semantic& semantic);

} // namespace gfx
