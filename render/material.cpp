#include "render/material.h"

#include "kernel/archive.h"
#include "kernel/serializable_object.h"

namespace {
[[maybe_unused]] MaterialResource* const materialType = RegisterGlobalObject(new MaterialResource);
}

void MaterialResource::Serialize(Archive& archive)
{
    Effect* effect = GetEffect();
    if (!effect) {
        // Nothing to store or read into: keep the file's shape with an empty effect.
        Effect none;
        SerializeResource(archive, none);
        uint32_t none_count = 0;
        archive.U32(none_count);
        return;
    }
    SerializeResource(archive, *effect);
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
