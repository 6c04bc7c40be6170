#pragma once
// Fixed places for shader semantics, so stages compiled apart still meet: a
// vertex input of the usages meshes carry goes to the attribute location of its
// usage and index, and a value passed from the vertex to the pixel stage goes
// to the varying location of its semantic. Pairs without a fixed place get one
// of their own per shader (the pass keeps where). Semantics are matched without
// regard to case.
#include <cstdint>
#include <string>
#include <string_view>

namespace gfx {

struct Semantic {
    std::string name;   // upper case, without the index: "TEXCOORD"
    uint32_t index = 0; // the trailing number, 0 when none
    bool operator==(const Semantic&) const = default;
};

// Its name and index, a `_centroid` suffix (any letter case) left out.
Semantic SplitSemantic(std::string_view semantic);
// Whether it ends in `_centroid`: the value is sampled where the primitive covers the pixel.
bool IsCentroidSemantic(std::string_view semantic);

// The declaration usage a semantic name stands for (below kDeclarationUsages), or -1.
int SemanticUsage(std::string_view name);
inline constexpr uint32_t kDeclarationUsages = 14;

inline constexpr uint32_t kVertexAttributeSlots = 16;
inline constexpr uint32_t kVaryingSlots = 31;

// The fixed attribute location of a declaration usage and index, or -1 when it has none.
int VertexAttributeLocation(uint32_t usage, uint32_t index);
// The usage and index whose fixed attribute location is `location` (below kVertexAttributeSlots).
void FixedVertexAttribute(uint32_t location, uint32_t& usage, uint32_t& index);
// The fixed attribute location of a vertex-input semantic, or -1.
int VertexInputLocation(const Semantic& semantic);
// The fixed varying location of a vertex-output / pixel-input semantic, or -1.
int VaryingLocation(const Semantic& semantic);

// Position, pixel-stage specials and outputs.
bool IsPositionSemantic(const Semantic& semantic);  // POSITION0, SV_POSITION
// What a vertex input reads: SV_POSITION is POSITION0's attribute.
Semantic VertexInputSemantic(const Semantic& semantic);
bool IsPointSizeSemantic(const Semantic& semantic); // PSIZE
bool IsPixelPositionSemantic(const Semantic& semantic); // VPOS
bool IsFaceSemantic(const Semantic& semantic);      // VFACE
bool IsDepthSemantic(const Semantic& semantic);     // DEPTH, SV_DEPTH
// The render target a pixel output writes (COLORn, SV_TARGETn), or -1.
int ColourTarget(const Semantic& semantic);

} // namespace gfx
