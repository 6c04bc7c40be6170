#pragma once
// The demonstration's four shadow casters, "Object01" to "Object04": where each
// one sits in the world (the centre of its mesh's first bounding sphere carried
// by its world matrix), from which its light camera is placed, and the target
// record through which that light camera draws into its own 256 x 256 quarter
// of the 512 x 512 shadow atlas. Both are worked out once at start-up.
#include <cstdint>

#include "kernel/math/float4.h"
#include "render/device/render_device.h"

class Scene;
class SceneNode;

inline constexpr uint32_t kCasterCount = 4;
inline constexpr const char* kCasterNodeNames[kCasterCount] = {"Object01", "Object02", "Object03", "Object04"};

inline constexpr uint32_t kShadowAtlasSize = 512;
inline constexpr uint32_t kAtlasTileSize = 256;

struct AtlasTileOrigin {
    uint32_t x;
    uint32_t y;
};
// Upper-left, upper-right, lower-left, lower-right: tile i belongs to caster i.
inline constexpr AtlasTileOrigin kAtlasTileOrigins[kCasterCount] = {{0, 0}, {256, 0}, {0, 256}, {256, 256}};

// The caster's world position: its mesh's first subset's bounding centre,
// all four lanes as loaded, times the node's world matrix. A centre with
// w = 0 therefore picks up no translation. False, with `position` untouched
// and the node named in the error box, when the node is not a mesh node with
// at least one subset (a null node is left to whoever failed to find it).
bool CasterPosition(SceneNode* node, float4& position);

// Looks the four casters up in the scene by name and stores their positions,
// all four before anything reads them. A caster that is missing or has no
// mesh subset is reported and keeps its slot as it was (zero at start-up), so
// its light camera stays at the light; the others are still filled. True when
// all four were found.
bool ComputeCasterPositions(Scene& scene, float4 (&casterPositions)[kCasterCount]);

// The same over casters already looked up (null: missing, reported by the
// lookup and skipped here without a further report).
bool ComputeCasterPositions(SceneNode* const (&casters)[kCasterCount], float4 (&casterPositions)[kCasterCount]);

// Each tile is the atlas's record (depth range and both surfaces, which the
// tiles share with the atlas and never own) with the rectangle of its quarter.
void FillAtlasTiles(const RenderTargetRecord& atlas, RenderTargetRecord (&atlasTiles)[kCasterCount]);
