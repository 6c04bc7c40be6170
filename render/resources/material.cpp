#include "render/resources/material.h"

#include "kernel/archive.h"
#include "kernel/memory_archive.h"
#include "kernel/serializable_object.h"

namespace {
[[maybe_unused]] MaterialResource* const materialType = RegisterGlobalObject(new MaterialResource);
}

TextureResource* MaterialTextureSlots::GetTextureSlot(std::string textureName)
{
    Effect* effect = material->GetEffect();
    if (!effect)
        return nullptr;
    TextureResource*& bound = effect->params.Group(*groupName).textures[textureName];
    if (!bound)
        bound = &slots.Push();
    return bound;
}

void SerializeTextureMap(Archive& archive, std::map<std::string, TextureResource*>& textures,
                         staticHeapVector<TextureResource>& slots)
{
    uint32_t count = static_cast<uint32_t>(textures.size());
    archive.U32(count);
    if (archive.IsWriting()) {
        for (auto& [textureName, handle] : textures) {
            std::string written = textureName;
            archive.String(written);
            TextureResource empty;
            SerializeResource(archive, handle ? *handle : empty);
        }
        return;
    }
    auto* memory = dynamic_cast<MemoryArchive*>(&archive);
    for (uint32_t i = 0; i < count; ++i) {
        // A damaged count must not spin through billions of empty entries.
        if (memory && memory->Damaged())
            return;
        std::string textureName;
        archive.String(textureName);
        if (memory && memory->Damaged())
            return;
        TextureResource& slot = slots.Push();
        // A slot taken again gives up what it held, so an entry without a
        // file does not keep an earlier texture.
        slot.ReleaseResource();
        SerializeResource(archive, slot);
        textures[textureName] = &slot;
    }
}

void MaterialResource::Serialize(Archive& archive)
{
    Effect none;
    Effect* effect = GetEffect();
    // Without a block there is nothing to store or read into: the file keeps
    // its shape with an empty effect.
    Effect& stored = effect ? *effect : none;
    SerializeResource(archive, stored);
    if (archive.IsReading())
        textureSlots.slots.count = 0;
    SerializeTextureMap(archive, stored.params.Group("").textures, textureSlots.slots);
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
