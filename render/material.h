#pragma once
// MaterialResource: a resource whose payload is an Effect handle; what a mesh
// subset draws with. Stored in resource files as its effect (framed as a
// resource of its own) followed by its texture bindings.
#include <string>

#include "kernel/resource_types.h"
#include "render/effect.h"

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
};

// A material with a fresh unique block, already loaded (state 2): for
// materials their owners fill themselves.
void MakeUniqueMaterial(MaterialResource& material);
