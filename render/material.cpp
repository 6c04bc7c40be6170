#include "render/material.h"

#include "kernel/archive.h"
#include "kernel/serializable_object.h"

namespace {
[[maybe_unused]] MaterialResource* const materialType = RegisterGlobalObject(new MaterialResource);
}

void MaterialResource::Serialize(Archive& archive)
{
    Effect none;
    Effect* effect = GetEffect();
    // Without a block there is nothing to store or read into: the file keeps
    // its shape with an empty effect.
    SerializeResource(archive, effect ? *effect : none);
    // Texture bindings: none yet, as materials have no texture slots here.
    uint32_t slotCount = 0;
    archive.U32(slotCount);
}

void MaterialResource::CopyPayloadTo(ResourceObject& target)
{
    Effect* source = GetEffect();
    Effect* destination = static_cast<MaterialResource&>(target).GetEffect();
    if (!source || !destination)
        return;
    if (!destination->IsValid())
        destination->CreateUnique();
    source->CopyPayloadTo(*destination);
}

void MakeUniqueMaterial(MaterialResource& material)
{
    material.CreateUnique();
    material.SetState(resource_state::kLoaded);
}
