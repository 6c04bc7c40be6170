#include "render/resources/geometry_files.h"

#include <limits>
#include <vector>

#include "kernel/archive.h"
#include "kernel/error_stream.h"
#include "kernel/memory_archive.h"
#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/device/vertex_layout.h"

namespace {
// The bytes of the index and vertex data read in one go; a lock that failed
// still has its bytes consumed so the rest of the file stays in step.
void TransferBytes(Archive& archive, void* locked, uint64_t size)
{
    if (size == 0)
        return;
    if (locked) {
        archive.Bytes(locked, static_cast<uint32_t>(size));
        return;
    }
    std::vector<uint8_t> sink(static_cast<size_t>(size));
    archive.Bytes(sink.data(), static_cast<uint32_t>(size));
}

// The byte count of count items of `size` bytes, or false when it cannot be
// held in 32 bits or is more than the archive still holds.
bool FitsArchive(Archive& archive, uint64_t count, uint64_t size, uint64_t& bytes)
{
    bytes = count * size;
    return bytes <= std::numeric_limits<uint32_t>::max() && bytes <= ArchiveBytesLeft(archive);
}
} // namespace

uint64_t ArchiveBytesLeft(Archive& archive)
{
    if (auto* memory = dynamic_cast<MemoryArchive*>(&archive))
        return memory->Remaining();
    return std::numeric_limits<uint64_t>::max();
}

void RefuseResourceRead(Archive& archive, const std::string& why)
{
    errorTwoLines = false;
    GetErrorStream() << why << "\n";
    auto* memory = dynamic_cast<MemoryArchive*>(&archive);
    if (!memory)
        return;
    // Reading past the end is what marks the archive damaged: consume the rest
    // and one byte more.
    std::vector<uint8_t> sink(memory->Remaining() + 1);
    memory->Bytes(sink.data(), static_cast<uint32_t>(sink.size()));
}

// ---- Vertex declarations ----

void VertexDeclResource::Serialize(Archive& archive)
{
    VertexDeclData* data = GetPayload();
    if (!data)
        return;
    if (archive.IsReading()) {
        data->ClearVertexDecl();
        data->dirty = 1;
    }
    uint32_t count = static_cast<uint32_t>(data->elements.size());
    archive.U32(count);
    uint64_t bytes = 0;
    if (archive.IsReading() && (count > gfx::kMaxDeclElements || !FitsArchive(archive, count, 8, bytes))) {
        RefuseResourceRead(archive, "Vertex declaration of " + std::to_string(count) + " elements refused.");
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        gfx::VertexElement element = archive.IsReading() ? gfx::VertexElement{} : data->elements[i];
        archive.U16(element.stream);
        archive.U16(element.offset);
        archive.U8(element.type);
        archive.U8(element.method);
        archive.U8(element.usage);
        archive.U8(element.usageIndex);
        if (archive.IsReading()) {
            if (element.stream >= kVertexDeclStreams || gfx::DeclTypeSize(element.type) == 0) {
                RefuseResourceRead(archive, "Vertex declaration element " + std::to_string(i) + " refused.");
                return;
            }
            data->elements.push_back(element);
        }
    }
    uint32_t entries = static_cast<uint32_t>(data->usageOffsets.size());
    archive.U32(entries);
    if (archive.IsReading() && (entries > 256 || !FitsArchive(archive, entries, 8, bytes))) {
        RefuseResourceRead(archive, "Vertex declaration of " + std::to_string(entries) + " usages refused.");
        return;
    }
    if (archive.IsWriting()) {
        for (auto& [usage, offset] : data->usageOffsets) {
            uint32_t u = usage;
            archive.U32(u);
            archive.U32(offset);
        }
    } else {
        for (uint32_t i = 0; i < entries; ++i) {
            uint32_t usage = 0, offset = 0;
            archive.U32(usage);
            archive.U32(offset);
            data->usageOffsets[usage] = offset;
        }
    }
}

// ---- Vertex buffers ----

void VertexBufferResource::Serialize(Archive& archive)
{
    VertexBufferData* data = GetPayload();
    if (!data)
        return;
    uint32_t count = data->vertexCount;
    uint32_t stride = data->stride;
    archive.U32(count);
    archive.U32(stride);
    uint64_t bytes = 0;
    if (archive.IsReading()) {
        if (!FitsArchive(archive, count, stride, bytes)) {
            RefuseResourceRead(archive, "Vertex buffer of " + std::to_string(count) + " x " + std::to_string(stride) +
                                            " bytes refused.");
            return;
        }
        data->stride = stride;
        if (count != 0)
            data->AllocVertexBuffer(count, stride, gfx::kUsageWriteOnly);
        data->vertexCount = count;
    }
    bytes = uint64_t(count) * stride;
    if (count != 0) {
        lockPointer = data->LockVertexBuffer(0);
        TransferBytes(archive, lockPointer, bytes);
        data->UnlockVertexBuffer();
    }
}

// ---- Index buffers ----

void IndexBufferResource::Serialize(Archive& archive)
{
    IndexBufferData* data = GetPayload();
    if (!data)
        return;
    uint32_t count = data->indexCount;
    archive.U32(count);
    archive.U8(data->indicesPerPrimitive);
    archive.Float4(data->subsetValues);
    archive.Float(data->subsetScalar);
    if (archive.IsReading()) {
        const uint64_t indexSize = vertexCount <= kMaxVerticesFor16BitIndices ? 2 : 4;
        uint64_t bytes = 0;
        if (!FitsArchive(archive, count, indexSize, bytes)) {
            RefuseResourceRead(archive, "Index buffer of " + std::to_string(count) + " indices refused.");
            return;
        }
        if (count != 0) {
            data->AllocIndexBuffer(count, vertexCount, gfx::kUsageWriteOnly);
        } else {
            data->indexCount = 0;
            data->primitiveCount = 0;
        }
    }
    if (count != 0) {
        const uint32_t indexSize = data->indexSize;
        lockPointer = data->LockIndexBuffer(0);
        std::vector<uint8_t> copy;
        void* target = lockPointer;
        if (!target) {
            copy.resize(size_t(count) * indexSize);
            target = copy.data();
        }
        TransferBytes(archive, target, uint64_t(count) * indexSize);
        bool inRange = true;
        if (archive.IsReading()) {
            platform::ByteReader indices(target, size_t(count) * indexSize);
            for (uint32_t i = 0; i < count && inRange; ++i)
                inRange = (indexSize == 2 ? indices.U16() : indices.U32()) < vertexCount;
        }
        data->UnlockIndexBuffer();
        if (!inRange) {
            RefuseResourceRead(archive, "Index buffer refused: an index lies past the " +
                                            std::to_string(vertexCount) + " vertices.");
            return;
        }
    }
    if (formatVersion != 0) {
        std::string text;
        if (archive.IsWriting())
            text = IntToString(static_cast<int32_t>(material.GetId()));
        archive.String(text);
        // The same rule as every resource's id text: a number is the id the
        // material was written with.
        uint32_t id = 0;
        if (archive.IsReading() && ParseIdText(text, id))
            material.AttachById(id);
        else if (archive.IsReading() && !text.empty())
            material.LoadByName(text);
    }
}
