#include "render/resources/mesh.h"

#include <cstring>
#include <iostream>

#include "kernel/archive.h"
#include "kernel/error_stream.h"
#include "kernel/global_objects.h"
#include "kernel/memory_archive.h"
#include "kernel/resource_tasks.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/device/vertex_layout.h"

namespace {
[[maybe_unused]] MeshResource* const meshType = RegisterGlobalObject(new MeshResource);

// The fewest bytes a nested subset takes: its framing and fixed fields.
constexpr uint64_t kMinSubsetBytes = 2 + 4 + 1 + 16 + 4;

// "UnlockVB" unlocks through the mesh's own unlock.
void UnlockMeshVertexBuffer(MeshResource* mesh)
{
    mesh->UnlockVertexBuffer();
}

[[maybe_unused]] const bool unlockRoutineInstalled =
    (SetUnlockVertexBufferRoutine(&UnlockMeshVertexBuffer), true);

// The target holds the source's block, counted. A block that is no longer the
// one registered under its id (another was named over it) cannot be reached
// by id: the target is then left empty rather than given a stranger's block.
template <class Handle>
void ShareBlock(Handle& target, Handle& source)
{
    if (source.GetBlock() && Handle::RegisteredBlock(source.GetId()) == source.GetBlock())
        target.AttachById(source.GetId());
    else
        target.ReleaseResource();
}

void ShareVertexSet(MeshVertexSet& target, MeshVertexSet& source)
{
    ShareBlock(target.buffer, source.buffer);
    target.lockedMemory = source.lockedMemory;
}

void ShareSubsets(MeshSubsetList& target, MeshSubsetList& source)
{
    target.items = std::make_unique<MeshSubset[]>(source.count);
    target.capacity = source.count;
    target.count = source.count;
    target.name = source.name;
    for (uint32_t i = 0; i < source.count; ++i) {
        MeshSubset& to = target.items[i];
        MeshSubset& from = source.items[i];
        ShareBlock(to, from);
        ShareBlock(to.material, from.material);
        to.lockPointer = from.lockPointer;
        to.vertexCount = from.vertexCount;
    }
}

template <class T>
void NewTable(MeshLodTable<T>& table, uint32_t count)
{
    table.items = std::make_unique<T[]>(count);
    table.capacity = count;
    table.count = count;
}

bool ArchiveDamaged(Archive& archive)
{
    auto* memory = dynamic_cast<MemoryArchive*>(&archive);
    return memory && memory->Damaged();
}
} // namespace

MeshSubset::MeshSubset()
{
    CreateUnique();
    SetState(resource_state::kLoaded);
}

MeshVertexSet::MeshVertexSet()
{
    buffer.CreateUnique();
    buffer.SetState(resource_state::kLoaded);
}

MeshData::MeshData()
    : currentVertexSet(&baseVertexSet)
    , currentDecl(&baseDecl)
    , currentSubsets(&baseSubsets)
    , currentLodDistance(&baseLodDistance)
{
    lodVertexSets.name = "lodVertexSets";
    lodDecls.name = "lodVertexDecls";
    lodSubsets.name = "lodSubsets";
    lodDistances.name = "lodDistances";
}

void MeshData::SelectLevel(int level)
{
    if (level < 0 || static_cast<uint32_t>(level) >= lodDistances.count) {
        currentVertexSet = &baseVertexSet;
        currentDecl = &baseDecl;
        currentSubsets = &baseSubsets;
        currentLodDistance = &baseLodDistance;
        return;
    }
    currentVertexSet = &lodVertexSets.items[level];
    currentDecl = &lodDecls.items[level];
    currentSubsets = &lodSubsets.items[level];
    currentLodDistance = &lodDistances.items[level];
}

int MeshData::CurrentLevel() const
{
    if (currentVertexSet == &baseVertexSet || !lodVertexSets.items)
        return -1;
    return static_cast<int>(currentVertexSet - lodVertexSets.items.get());
}

bool MeshResource::DoUnload()
{
    if (MeshData* data = GetPayload())
        data->currentSubsets->count = 0;
    return true;
}

void MeshResource::CopyPayloadTo(ResourceObject& target)
{
    MeshData* from = GetPayload();
    MeshData* to = target.GetPayload();
    if (!from || !to || from == to)
        return;
    target.SetState(GetState());
    to->SelectLevel(-1);
    ShareVertexSet(to->baseVertexSet, from->baseVertexSet);
    ShareBlock(to->baseDecl, from->baseDecl);
    ShareSubsets(to->baseSubsets, from->baseSubsets);
    to->baseLodDistance = from->baseLodDistance;
    const uint32_t levels = from->lodDistances.count;
    NewTable(to->lodVertexSets, levels);
    NewTable(to->lodDecls, levels);
    NewTable(to->lodSubsets, levels);
    NewTable(to->lodDistances, levels);
    for (uint32_t level = 0; level < levels; ++level) {
        ShareVertexSet(to->lodVertexSets.items[level], from->lodVertexSets.items[level]);
        ShareBlock(to->lodDecls.items[level], from->lodDecls.items[level]);
        ShareSubsets(to->lodSubsets.items[level], from->lodSubsets.items[level]);
        to->lodDistances.items[level] = from->lodDistances.items[level];
    }
    to->SelectLevel(from->CurrentLevel());
}

void MeshResource::SetMeshMaterial(MaterialResource& material)
{
    MeshData* data = GetPayload();
    if (!data)
        return;
    const uint32_t materialId = material.GetId();
    const auto attach = [materialId](MeshSubsetList& list) {
        for (uint32_t k = 0; k < list.count; ++k)
            list.items[k].material.AttachById(materialId);
    };
    attach(data->baseSubsets);
    for (uint32_t level = 0; level < data->lodSubsets.count; ++level)
        attach(data->lodSubsets.items[level]);
}

void MeshResource::UseDefaultDeclaration()
{
    MeshData* data = GetPayload();
    if (!data)
        return;
    if (sharedDecl) {
        data->currentDecl->AttachById(sharedDecl->GetId());
        return;
    }
    if (!data->currentDecl->LoadByName(kDefaultVertexDeclName))
        return;
    VertexDeclData* decl = data->currentDecl->GetPayload();
    if (!decl)
        return;
    decl->AddVertexElement(0, 0, gfx::kDeclFloat3, gfx::kDeclMethodDefault, gfx::kDeclUsagePosition, 0);
    decl->AddVertexElement(0, 12, gfx::kDeclFloat3, gfx::kDeclMethodDefault, gfx::kDeclUsageNormal, 0);
    decl->AddVertexElement(0, 24, gfx::kDeclFloat2, gfx::kDeclMethodDefault, gfx::kDeclUsageTexcoord, 0);
    decl->AddVertexElement(0, 32, gfx::kDeclFloat3, gfx::kDeclMethodDefault, gfx::kDeclUsageTangent, 0);
    decl->AddVertexElement(0, 44, gfx::kDeclFloat3, gfx::kDeclMethodDefault, gfx::kDeclUsageBinormal, 0);
}

void MeshResource::CreateMeshVertexBuffer(uint32_t count)
{
    MeshData* data = GetPayload();
    if (!data)
        return;
    VertexDeclData* decl = data->currentDecl->GetPayload();
    VertexBufferData* buffer = data->currentVertexSet->buffer.GetPayload();
    if (!decl || !buffer)
        return;
    buffer->AllocVertexBuffer(count, decl->GetStreamStride(0), vertexUsage);
}

void* MeshResource::LockVertexBuffer(uint32_t flags)
{
    MeshData* data = GetPayload();
    VertexBufferData* buffer = data ? data->currentVertexSet->buffer.GetPayload() : nullptr;
    void* memory = buffer ? buffer->LockVertexBuffer(flags) : nullptr;
    lockedVertices = memory;
    if (data) {
        data->currentVertexSet->lockedMemory = memory;
        data->currentVertexSet->buffer.lockPointer = memory;
    }
    return memory;
}

void MeshResource::UnlockVertexBuffer()
{
    MeshData* data = GetPayload();
    if (VertexBufferData* buffer = data ? data->currentVertexSet->buffer.GetPayload() : nullptr)
        buffer->UnlockVertexBuffer();
}

uint8_t* MeshResource::VertexElementAddress(uint32_t vertex, uint32_t usage)
{
    MeshData* data = GetPayload();
    VertexDeclData* decl = data ? data->currentDecl->GetPayload() : nullptr;
    if (!decl || !lockedVertices)
        return nullptr;
    const auto offset = decl->usageOffsets.find(usage);
    if (offset == decl->usageOffsets.end())
        return nullptr;
    return static_cast<uint8_t*>(lockedVertices) + size_t(vertex) * decl->GetStreamStride(0) + offset->second;
}

void MeshResource::WriteVertexElement(uint32_t vertex, uint32_t usage, std::initializer_list<float> values)
{
    uint8_t* address = VertexElementAddress(vertex, usage);
    if (!address)
        return;
    for (float value : values) {
        std::memcpy(address, &value, sizeof(float));
        address += sizeof(float);
    }
}

void MeshResource::AllocSubsets(uint32_t count)
{
    MeshData* data = GetPayload();
    if (!data)
        return;
    MeshSubsetList& list = *data->currentSubsets;
    if (list.count != 0) {
        // Growing a list in use would drop or overwrite the subsets it has.
        errorTwoLines = false;
        GetErrorStream() << "NOT IMPLEMENTED\n";
        return;
    }
    list.items = std::make_unique<MeshSubset[]>(count);
    list.capacity = count;
    for (uint32_t i = 0; i < count; ++i) {
        list.items[list.count].keepBlock = 0;
        ++list.count;
    }
}

void MeshResource::AllocLods(uint32_t count)
{
    MeshData* data = GetPayload();
    if (!data)
        return;
    data->SelectLevel(-1);
    NewTable(data->lodVertexSets, count);
    NewTable(data->lodDecls, count);
    NewTable(data->lodSubsets, count);
    NewTable(data->lodDistances, count);
}

void MeshResource::BuildVertexBuffer(const std::vector<float3>& positions, const std::vector<TexCoord>* texcoords,
                                     const std::vector<float3>* normals)
{
    if (!GetBlock())
        CreateUnique();
    MeshData* data = GetPayload();
    if (!data)
        return;
    const uint32_t n = static_cast<uint32_t>(positions.size());
    UseDefaultDeclaration();
    CreateMeshVertexBuffer(n);
    LockVertexBuffer(0);
    AllocSubsets(1);
    MeshSubset& subset = data->currentSubsets->items[0];
    IndexBufferData* indices = subset.GetPayload();
    if (!indices)
        return;
    indices->indicesPerPrimitive = 2;
    const bool wide = indices->AllocIndexBuffer(n, n, gfx::kUsageWriteOnly);
    subset.lockPointer = indices->LockIndexBuffer(0);
    for (uint32_t i = 0; i < n; ++i) {
        const float3& p = positions[i];
        WriteVertexElement(i, gfx::kDeclUsagePosition, {p.x, p.y, p.z});
        if (texcoords && i < texcoords->size())
            WriteVertexElement(i, gfx::kDeclUsageTexcoord, {(*texcoords)[i].u, (*texcoords)[i].v});
        if (normals && i < normals->size()) {
            const float3& q = (*normals)[i];
            WriteVertexElement(i, gfx::kDeclUsageNormal, {q.x, q.y, q.z});
        }
        if (subset.lockPointer) {
            if (wide) {
                static_cast<uint32_t*>(subset.lockPointer)[i] = i;
            } else {
                static_cast<uint16_t*>(subset.lockPointer)[i] = static_cast<uint16_t>(i);
            }
        }
    }
    UnlockVertexBuffer();
    indices->UnlockIndexBuffer();
    indices->subsetScalar = 1000.0f;
    SetState(resource_state::kLoaded);
}

void MeshResource::Serialize(Archive& archive)
{
    MeshData* data = GetPayload();
    if (!data) {
        // A handle without a mesh is written as an empty one (no levels, no
        // vertices, no declaration elements, no subsets), so that what follows
        // it in a file still reads back.
        if (archive.IsWriting()) {
            uint8_t noLevels = 0;
            float baseDistance = -1.0f;
            uint16_t unversioned = 0;
            uint32_t none = 0;
            if (formatVersion >= 2) {
                archive.U8(noLevels);
                archive.Float(baseDistance);
            }
            for (int part = 0; part < 2; ++part) { // the vertex set, the declaration
                archive.U16(unversioned);
                archive.U32(none);
                archive.U32(none);
            }
            archive.U32(none); // subsets
        }
        return;
    }
    uint8_t levels = formatVersion >= 2 ? data->LevelCount() : 0;
    if (formatVersion >= 2) {
        archive.U8(levels);
        if (archive.IsReading()) {
            if (levels > kMaxMeshLevels) {
                RefuseResourceRead(archive, "Mesh of " + std::to_string(levels) + " levels refused: at most " +
                                                std::to_string(kMaxMeshLevels) + ".");
                return;
            }
            if (levels != 0)
                AllocLods(levels);
        }
    }
    for (int level = -1; level < static_cast<int>(levels); ++level) {
        if (level >= 0)
            std::cout << "lod " << level << "\n";
        if (!SerializeLevel(archive, level))
            break;
    }
    data->SelectLevel(-1);
}

bool MeshResource::SerializeLevel(Archive& archive, int level)
{
    MeshData* data = GetPayload();
    data->SelectLevel(level);
    if (formatVersion >= 2)
        archive.Float(*data->currentLodDistance);
    VertexBufferResource& vertexSet = data->currentVertexSet->buffer;
    SerializeResource(archive, vertexSet);
    SerializeResource(archive, *data->currentDecl);
    if (ArchiveDamaged(archive))
        return false;
    VertexBufferData* vertices = vertexSet.GetPayload();
    const uint32_t vertexCount = vertices ? vertices->vertexCount : 0;
    if (archive.IsReading() && vertexCount != 0) {
        VertexDeclData* decl = data->currentDecl->GetPayload();
        const uint32_t declared = decl ? decl->GetStreamStride(0) : 0;
        if (declared != vertices->stride) {
            RefuseResourceRead(archive, "Mesh refused: vertices of " + std::to_string(vertices->stride) +
                                            " bytes against a declaration of " + std::to_string(declared) + ".");
            return false;
        }
    }
    uint32_t subsets = data->currentSubsets->count;
    archive.U32(subsets);
    if (archive.IsReading()) {
        if (subsets > ArchiveBytesLeft(archive) / kMinSubsetBytes) {
            RefuseResourceRead(archive, "Mesh of " + std::to_string(subsets) + " subsets refused.");
            return false;
        }
        data->currentSubsets->count = 0;
        AllocSubsets(subsets);
    }
    for (uint32_t j = 0; j < subsets && j < data->currentSubsets->count; ++j) {
        MeshSubset& subset = data->currentSubsets->items[j];
        subset.vertexCount = vertexCount;
        SerializeResource(archive, subset);
        if (ArchiveDamaged(archive))
            return false;
    }
    return true;
}
