#pragma once
// MaterialResource: a resource whose payload is an Effect handle; what a mesh
// subset draws with. Its 24 texture slots hold the textures bound by name to
// the effect's texture parameters. Stored in resource files as its effect
// (framed as a resource of its own) followed by its texture bindings: a count,
// then per binding in name order the parameter name and the texture handle.
#include <map>
#include <string>

#include "kernel/resource_types.h"
#include "kernel/static_heap_vector.h"
#include "render/effects/effect.h"
#include "render/textures/texture_resource.h"

class MaterialResource;

inline constexpr uint32_t kMaterialTextureSlots = 24;

// The texture handles a material binds to its effect's texture parameters.
// A slot is bound once per name and never unbound.
class MaterialTextureSlots {
public:
    MaterialTextureSlots(MaterialResource& owner, const std::string& group)
        : material(&owner), groupName(&group)
    {
    }
    MaterialTextureSlots(const MaterialTextureSlots&) = delete;
    MaterialTextureSlots& operator=(const MaterialTextureSlots&) = delete;

    // The handle bound to the texture parameter in the material effect's
    // group, binding the next free slot when the name is new (a 25th name
    // reports "staticHeapVector overflow." and shares the first slot). The
    // caller loads the texture into it. Null when the material has no block.
    TextureResource* GetTextureSlot(std::string name);

    MaterialResource* material;
    const std::string* groupName;
    staticHeapVector<TextureResource> slots{kMaterialTextureSlots};
    std::string name;
};

class MaterialResource : public ResourceObject<MaterialResource, Effect, kMaterialFormatVersion> {
public:
    MaterialResource() = default;

    // The payload's Effect handle; null when the material holds no block.
    Effect* GetEffect() { return GetPayload(); }

    void Serialize(Archive& archive) override;
    // Gives the target's Effect handle a fresh block when it has none, then
    // copies this material's effect into it.
    void CopyPayloadTo(ResourceObject& target) override;

    // The parameter group texture bindings are made in ("" when built).
    std::string groupName;
    MaterialTextureSlots textureSlots{*this, groupName};
};

// A material's texture bindings through an archive: the count, then per entry
// in name order the name and the texture handle (framed as a resource).
// Reading takes each handle from the next slot and binds the name to it.
void SerializeTextureMap(Archive& archive, std::map<std::string, TextureResource*>& textures,
                         staticHeapVector<TextureResource>& slots);

// A material with a fresh unique block, already loaded (state 2): for
// materials their owners fill themselves.
void MakeUniqueMaterial(MaterialResource& material);
